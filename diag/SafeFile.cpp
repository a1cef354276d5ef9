#include "SafeFile.h"

#include "LarkspanError.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
[[noreturn]] void fail(const QString &what, const QString &target, int err) {
  throw LarkspanError(QStringLiteral("Cannot write %1 %2: %3").arg(what, target, QString::fromLocal8Bit(std::strerror(err))));
}
} // namespace

TempBeside createTempBeside(const QString &target, const QString &what) {
  const QString absolute = QFileInfo(target).absoluteFilePath();
  QByteArray pattern = QFile::encodeName(absolute) + ".XXXXXX";
  const int fd = ::mkostemp(pattern.data(), O_CLOEXEC); // mode 0600
  if (fd < 0)
    fail(what, absolute, errno);
  return {QFile::decodeName(pattern), fd};
}

int writeFully(int fd, const QByteArray &bytes) {
  const char *p = bytes.constData();
  qsizetype left = bytes.size();
  while (left > 0) {
    const ssize_t n = ::write(fd, p, size_t(left));
    if (n < 0 && errno == EINTR)
      continue;
    if (n < 0)
      return errno;
    if (n == 0)
      return ENOSPC;
    p += n;
    left -= n;
  }
  return 0;
}

void writeAllOrThrow(int fd, const QByteArray &bytes, const QString &target, const QString &what) {
  if (const int err = writeFully(fd, bytes))
    fail(what, target, err);
}

void commitTemp(const QString &temp, const QString &target, unsigned newMode, const QString &what) {
  const QString absolute = QFileInfo(target).absoluteFilePath();
  const QByteArray tmp = QFile::encodeName(temp);
  const QByteArray dst = QFile::encodeName(absolute);
  struct stat st {};
  const mode_t mode = ::stat(dst.constData(), &st) == 0 ? (st.st_mode & 07777) : mode_t(newMode);
  if (::chmod(tmp.constData(), mode) != 0 || ::rename(tmp.constData(), dst.constData()) != 0) {
    const int err = errno;
    ::unlink(tmp.constData());
    fail(what, absolute, err);
  }
}

void writeFileAtomically(const QString &target, const QByteArray &bytes, unsigned newMode, const QString &what) {
  const QString absolute = QFileInfo(target).absoluteFilePath();
  const TempBeside temp = createTempBeside(absolute, what);
  const QByteArray tmp = QFile::encodeName(temp.path);
  try {
    writeAllOrThrow(temp.fd, bytes, absolute, what);
    if (::fsync(temp.fd) != 0)
      fail(what, absolute, errno);
  } catch (...) {
    ::close(temp.fd);
    ::unlink(tmp.constData());
    throw;
  }
  if (::close(temp.fd) != 0) {
    const int err = errno;
    ::unlink(tmp.constData());
    fail(what, absolute, err);
  }
  commitTemp(temp.path, absolute, newMode, what);
}
