#include "ExportTestSupport.h"

#include <QFile>
#include <QJsonDocument>
#include <QProcess>

namespace {
const char *const python = "/usr/bin/python3";  // Debian's own, which sees Debian's modules
}

QJsonObject fixtureJson() {
  QFile f(QStringLiteral(LARKSPAN_TEST_DATA_DIR "/export/users.json"));
  if (!f.open(QIODevice::ReadOnly))
    qFatal("fixture users.json missing");
  return QJsonDocument::fromJson(f.readAll()).object();
}

TExportSnapshot fixtureSnapshot() {
  const QJsonObject fixture = fixtureJson();
  TExportSnapshot s;
  for (const QJsonValue field : fixture.value("fields").toArray()) {
    const QJsonObject f = field.toObject();
    s.columns.append({f.value("label").toString(), qMin(f.value("size").toInt(), 30)});
  }
  for (const QJsonValue row : fixture.value("rows").toArray()) {
    TExportRow r;
    for (const QJsonValue v : row.toArray())
      r.append(v.isNull() ? TExportValue() : TExportValue(v.toString()));
    s.rows.append(r);
  }
  return s;
}

bool readExport(const QString &format, const QString &path, QJsonObject &result, QString &error) {
  QProcess p;
  p.start(QString::fromLatin1(python),
          {QStringLiteral(EXPORT_TEST_DIR "/read_export.py"), format, path});
  if (!p.waitForStarted(30000)) {
    error = QStringLiteral("cannot start %1: %2").arg(python, p.errorString());
    return false;
  }
  p.waitForFinished(120000);
  const QByteArray out = p.readAllStandardOutput();
  if (p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
    error = QStringLiteral("reader for %1 failed (exit %2): %3")
                .arg(format)
                .arg(p.exitCode())
                .arg(QString::fromUtf8(p.readAllStandardError()));
    return false;
  }
  QJsonParseError parse;
  result = QJsonDocument::fromJson(out, &parse).object();
  if (parse.error != QJsonParseError::NoError) {
    error = QStringLiteral("reader output is not JSON: ") + parse.errorString();
    return false;
  }
  return true;
}

QJsonArray rowsAsRead(const QVector<TExportRow> &rows, bool keepNulls) {
  QJsonArray out;
  for (const TExportRow &row : rows) {
    QJsonArray r;
    for (const TExportValue &v : row)
      r.append(v ? QJsonValue(*v) : keepNulls ? QJsonValue(QJsonValue::Null) : QJsonValue(""));
    out.append(r);
  }
  return out;
}

QJsonArray headersOf(const TExportSnapshot &snapshot) {
  QJsonArray out;
  for (const TExportColumn &c : snapshot.columns)
    out.append(c.header);
  return out;
}

int lineWithValues(const QStringList &lines, int from, const QStringList &values) {
  for (int i = qMax(0, from); i < lines.size(); ++i) {
    qsizetype at = 0;
    bool all = true;
    for (const QString &v : values) {
      at = lines[i].indexOf(v, at);
      if (at < 0) {
        all = false;
        break;
      }
      at += v.size();
    }
    if (all)
      return i;
  }
  return -1;
}
