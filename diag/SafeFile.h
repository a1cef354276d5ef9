#pragma once
// Replacing a file without ever leaving it half written: the new content
// goes to a temporary file in the same directory, is checked to be complete
// on disk, and is renamed over the target. A failure leaves the target as
// it was and throws LarkspanError naming the file and the cause.
//
// Written with plain POSIX calls: Qt 6.4's QSaveFile commits a truncated
// file as success when the disk fills during its final flush.

#include <QByteArray>
#include <QString>

// A fresh, exclusive temporary file beside `target`, created with mode 0600.
// Returns its path and an open descriptor; throws on failure.
struct TempBeside {
  QString path;
  int fd = -1;
};
TempBeside createTempBeside(const QString &target, const QString &what);

// Writes every byte, retrying on EINTR; 0 on success, else the errno.
int writeFully(int fd, const QByteArray &bytes);
// Writes every byte or throws.
void writeAllOrThrow(int fd, const QByteArray &bytes, const QString &target, const QString &what);

// Moves `temp` over `target`. The target keeps its permission bits when it
// exists; a new file gets `newMode`. Throws (and removes temp) on failure.
void commitTemp(const QString &temp, const QString &target, unsigned newMode, const QString &what);

// The whole sequence for content already in memory.
void writeFileAtomically(const QString &target, const QByteArray &bytes, unsigned newMode, const QString &what);
