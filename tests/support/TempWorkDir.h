#pragma once
// Runs a test in a fresh temporary working directory and returns to the
// previous one afterwards. The program resolves its settings file and trace
// log against the working directory, so each test gets its own.

#include <QString>
#include <QTemporaryDir>

class TempWorkDir {
public:
  TempWorkDir();
  ~TempWorkDir();
  TempWorkDir(const TempWorkDir &) = delete;
  TempWorkDir &operator=(const TempWorkDir &) = delete;

  QString path() const { return m_dir.path(); }
  QString filePath(const QString &name) const { return m_dir.filePath(name); }
  bool isValid() const { return m_dir.isValid(); }

private:
  QString m_previous;
  QTemporaryDir m_dir;
};

// Whole file as bytes; empty when missing.
QByteArray readFileBytes(const QString &path);
// Permission bits of a file (st_mode & 07777); -1 when missing.
int unixMode(const QString &path);
// Writes bytes, creating or replacing the file; false on failure.
bool writeFileBytes(const QString &path, const QByteArray &bytes);
