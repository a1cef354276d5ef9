#include "FuzzCommon.h"
#include "IniFile.h"
#include "OPortDesc.h"
#include "Settings.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstdlib>

// Any file content: loading must not crash, and what the program saves
// must read back to the same values.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  // On tmpfs where there is one: every save syncs its file to disk.
  static QTemporaryDir dir(QDir(QStringLiteral("/dev/shm")).exists() ? QStringLiteral("/dev/shm/larkspan-fuzz-XXXXXX")
                                                                      : QDir::tempPath() + QStringLiteral("/larkspan-fuzz-XXXXXX"));
  static const bool created = [] {
    createPortConfig();
    return true;
  }();
  (void)created;
  const QString path = dir.filePath(QStringLiteral("Larkspan.ini"));
  {
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
      return 0;
    f.write(reinterpret_cast<const char *>(data), qsizetype(size));
  }
  expectOnlyLarkspanError([&] { LoadSettings(path); });
  const QString user = PortConfig->PB_HTTP_USERNAME();
  const QString pass = PortConfig->PB_HTTP_PASSW();
  const QString url = PortConfig->PB_HTTP_BASE_URL();
  // Values that reach the file come from a one-line edit: no line breaks.
  if (user.contains(QLatin1Char('\n')) || user.contains(QLatin1Char('\r')) || user.size() > 2047)
    return 0;
  SaveSettings(path);
  PortConfig->SetPB_HTTP_USERNAME(QStringLiteral("x"));
  PortConfig->SetPB_HTTP_PASSW(QStringLiteral("x"));
  LoadSettings(path);
  if (PortConfig->PB_HTTP_USERNAME() != user || PortConfig->PB_HTTP_PASSW() != pass ||
      PortConfig->PB_HTTP_BASE_URL() != url)
    std::abort();
  return 0;
}
