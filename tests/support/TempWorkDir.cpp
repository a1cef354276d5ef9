#include "TempWorkDir.h"

#include <QDir>
#include <QFile>

#include <sys/stat.h>

TempWorkDir::TempWorkDir() : m_previous(QDir::currentPath()) {
  if (m_dir.isValid())
    QDir::setCurrent(m_dir.path());
}

TempWorkDir::~TempWorkDir() { QDir::setCurrent(m_previous); }

QByteArray readFileBytes(const QString &path) {
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly))
    return {};
  return f.readAll();
}

bool writeFileBytes(const QString &path, const QByteArray &bytes) {
  QFile f(path);
  if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
    return false;
  return f.write(bytes) == bytes.size();
}

int unixMode(const QString &path) {
  struct stat st {};
  if (::stat(QFile::encodeName(path).constData(), &st) != 0)
    return -1;
  return int(st.st_mode & 07777);
}
