#include "ExportFile.h"

#include "LarkspanError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

TExportFormat exportFormatFor(const QString &fileName) {
  const QString name = QFileInfo(fileName).fileName();
  const int dot = name.lastIndexOf(QLatin1Char('.'));
  const QString ext = dot < 0 ? QString() : name.mid(dot).toUpper();
  if (ext == QLatin1String(".XLSX"))
    return TExportFormat::Xlsx;
  if (ext == QLatin1String(".XLS"))
    return TExportFormat::Xls;
  if (ext == QLatin1String(".ODS"))
    return TExportFormat::Ods;
  if (ext == QLatin1String(".CSV"))
    return TExportFormat::Csv;
  if (ext == QLatin1String(".HTML"))
    return TExportFormat::Html;
  if (ext == QLatin1String(".JSON"))
    return TExportFormat::Json;
  if (ext == QLatin1String(".PDF"))
    return TExportFormat::Pdf;
  if (ext == QLatin1String(".CLP"))
    return TExportFormat::Clipboard;
  return TExportFormat::TabText;
}

std::unique_ptr<TExportWriter> exportWriterFor(TExportFormat format) {
  switch (format) {
  case TExportFormat::Xlsx:
    return makeXlsxExportWriter();
  case TExportFormat::Xls:
    return makeXlsExportWriter();
  case TExportFormat::Ods:
    return makeOdsExportWriter();
  case TExportFormat::Csv:
    return makeCsvExportWriter();
  case TExportFormat::Html:
    return makeHtmlExportWriter();
  case TExportFormat::Json:
    return makeJsonExportWriter();
  case TExportFormat::Pdf:
    return makePdfExportWriter();
  case TExportFormat::Clipboard:
    return makeClipboardExportWriter();
  case TExportFormat::TabText:
    break;
  }
  return makeTabTextExportWriter();
}

namespace {

QString cannotWrite(const QString &fileName, const QString &cause) {
  return QStringLiteral("Cannot write \"%1\": %2").arg(QDir::toNativeSeparators(fileName), cause);
}

// The mode the new file gets: the replaced file's, or what a plain create
// would give. The temporary file starts owner-only.
mode_t finalMode(const QByteArray &target) {
  struct stat st;
  if (::stat(target.constData(), &st) == 0 && S_ISREG(st.st_mode))
    return st.st_mode & 07777;
  const mode_t mask = ::umask(0);
  ::umask(mask);
  return 0666 & ~mask;
}

}  // namespace

void writeExportFile(const TExportWriter &writer, const TExportSnapshot &snapshot,
                     const QString &fileName) {
  if (fileName.isEmpty())
    throw LarkspanError(QStringLiteral("No file name given"));
  if (!writer.writesFile()) {
    try {
      writer.write(snapshot, fileName);
    } catch (const LarkspanError &e) {
      throw LarkspanError(QStringLiteral("Cannot copy to the clipboard: %1").arg(e.message()));
    }
    return;
  }

  // Replacing a symbolic link would cut it; replace what it points to.
  QString target = fileName;
  const QFileInfo info(fileName);
  if (info.isSymLink())
    target = info.symLinkTarget();
  const QFileInfo targetInfo(target);
  // A file its owner made read-only stays as it is, although the directory
  // would let us rename over it.
  if (targetInfo.exists() && ::access(QFile::encodeName(target).constData(), W_OK) != 0)
    throw LarkspanError(cannotWrite(fileName, QString::fromLocal8Bit(std::strerror(errno))));

  QTemporaryFile temp(targetInfo.dir().filePath(
      QStringLiteral(".%1.XXXXXX").arg(targetInfo.fileName())));
  if (!temp.open())
    throw LarkspanError(cannotWrite(fileName, temp.errorString()));
  const QString tempPath = temp.fileName();
  temp.close();  // the writer opens the path itself; the file stays ours until renamed

  try {
    writer.write(snapshot, tempPath);
  } catch (const LarkspanError &e) {
    throw LarkspanError(cannotWrite(fileName, e.message()));
  }

  const QByteArray tempName = QFile::encodeName(tempPath);
  const QByteArray targetName = QFile::encodeName(target);
  if (::chmod(tempName.constData(), finalMode(targetName)) != 0 ||
      std::rename(tempName.constData(), targetName.constData()) != 0)
    throw LarkspanError(cannotWrite(fileName, QString::fromLocal8Bit(std::strerror(errno))));
  temp.setAutoRemove(false);
}

QString exportSnapshot(const TExportSnapshot &snapshot, const QString &fileName) {
  try {
    const auto writer = exportWriterFor(exportFormatFor(fileName));
    writeExportFile(*writer, snapshot, fileName);
    return fileName;
  } catch (const LarkspanError &e) {
    return QLatin1Char('@') + e.message();
  } catch (const std::bad_alloc &) {
    return QLatin1Char('@') +
           QStringLiteral("Cannot write \"%1\": out of memory").arg(QDir::toNativeSeparators(fileName));
  }
}
