#include "traces.h"

#include "LarkspanError.h"
#include "SafeFile.h"

#include <QCoreApplication>
#include <QFileInfo>

#include <fcntl.h>
#include <unistd.h>

const char *const MessageCatalogue =
    "\"0=%s\","
    "\"360=No HTTP server\","
    "\"361=HTTP : Login / password not OK %s\","
    "\"362=HTTP : err. POST %s\","
    "\"363=HTTP : err. GET %s\","
    "\"364=Err. HTTP %s\","
    "\"365=Err. SslContext HTTP %s\","
    "\"367=HTTP Wazo; err. Status POST %s\","
    "\"375=Erreur HTTP Token %s\",";

QMap<qint32, QString> *MessageMap = nullptr;

namespace {
// Raw descriptor: every line goes straight to the file, so nothing waits in
// a buffer when the program ends abruptly.
int traceFd = -1;

QString programFilePath() {
  if (QCoreApplication::instance())
    return QCoreApplication::applicationFilePath();
  QFileInfo self(QStringLiteral("/proc/self/exe"));
  return self.symLinkTarget();
}

} // namespace

QString ProgramFileName(const QString &extension) {
  const QFileInfo info(programFilePath());
  const QString name = info.fileName();
  const int dot = name.lastIndexOf(QLatin1Char('.'));
  const QString base = dot > 0 ? name.left(dot) : name;
  return base + extension;
}

QStringList splitCatalogueItems(const QString &text) {
  QStringList items;
  QString current;
  bool inQuotes = false;
  bool sawAnything = false;
  for (qsizetype i = 0; i < text.size(); ++i) {
    const QChar c = text.at(i);
    if (inQuotes) {
      if (c == QLatin1Char('"')) {
        if (i + 1 < text.size() && text.at(i + 1) == QLatin1Char('"')) {
          current += c; // doubled quote inside an item
          ++i;
        } else {
          inQuotes = false;
        }
      } else {
        current += c;
      }
    } else if (c == QLatin1Char('"')) {
      inQuotes = true;
      sawAnything = true;
    } else if (c == QLatin1Char(',')) {
      items << current;
      current.clear();
      sawAnything = true;
    } else if (c.unicode() > 32) {
      current += c;
      sawAnything = true;
    } // blanks outside quotes are skipped
  }
  if (sawAnything)
    items << current; // the comma ending the list yields a last, empty item
  return items;
}

void buildMessageMap(const QString &catalogue, QMap<qint32, QString> &map) {
  for (const QString &item : splitCatalogueItems(catalogue)) {
    const qsizetype eq = item.indexOf(QLatin1Char('='));
    const QString number = eq < 0 ? item : item.left(eq);
    bool ok = false;
    const qint32 n = number.trimmed().toInt(&ok);
    if (ok && eq >= 0)
      map.insert(n, item.mid(eq + 1));
    if (item.contains(QLatin1Char(',')))
      throw LarkspanError(QStringLiteral("Attention présence du car \",\" dans le texte suivant: ") + item);
  }
}

void traceOpenFile(const QString &fileName) {
  if (traceFd < 0) {
    // Holds response bodies with personal data: owner only.
    traceFd = ::open(QFile::encodeName(fileName).constData(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
  }
  delete MessageMap;
  MessageMap = new QMap<qint32, QString>;
  buildMessageMap(QString::fromLatin1(MessageCatalogue), *MessageMap);
}

void TraceOpen() { traceOpenFile(ProgramFileName(QStringLiteral(".log"))); }

bool traceIsOpen() { return MessageMap != nullptr; }

void TraceClose() {
  delete MessageMap;
  MessageMap = nullptr;
  if (traceFd >= 0) {
    ::close(traceFd); // errors on close are ignored: closing never blocks the end
    traceFd = -1;
  }
}

void TraceLine(const QString &text) {
  if (traceFd >= 0) {
    QByteArray bytes = text.toLocal8Bit();
    bytes.append("\r\n");
    (void)writeFully(traceFd, bytes); // a failed write is not reported
  }
  if (QCoreApplication::instance())
    QCoreApplication::processEvents();
}

QString ErrorText(qint32 number, const QString &detail) {
  const QString decimal = QString::number(number);
  if (!MessageMap)
    return QStringLiteral("Message Err. : ") + decimal;
  try {
    const qint64 key = qAbs(qint64(number)); // the sign is ignored for the lookup
    const auto it = key > INT32_MAX ? MessageMap->constEnd() : MessageMap->constFind(qint32(key));
    if (it == MessageMap->constEnd())
      return QStringLiteral("Message ??? : ") + decimal;
    QString pattern = it.value();
    const qsizetype at = pattern.indexOf(QStringLiteral("%s"));
    if (at >= 0)
      pattern.replace(at, 2, detail);
    return pattern;
  } catch (...) {
    return QStringLiteral("Message Err. : ???? ") + decimal;
  }
}

QString ResultText(const TResExtract &res) { return ErrorText(res.iRes, res.sRes); }
