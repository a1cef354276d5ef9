// Runs every file of the given directories through the fuzz entry point:
// the seed corpus and past findings stay part of the ordinary test suite.

#include <QDir>
#include <QFile>

#include <cstdint>
#include <cstdio>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

int main(int argc, char **argv) {
  int files = 0;
  for (int i = 1; i < argc; ++i) {
    const QDir dir(QString::fromLocal8Bit(argv[i]));
    for (const QString &name : dir.entryList(QDir::Files, QDir::Name)) {
      QFile f(dir.filePath(name));
      if (!f.open(QIODevice::ReadOnly))
        continue;
      const QByteArray bytes = f.readAll();
      LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t *>(bytes.constData()), size_t(bytes.size()));
      ++files;
    }
  }
  std::printf("%d inputs replayed\n", files);
  return files > 0 ? 0 : 1;
}
