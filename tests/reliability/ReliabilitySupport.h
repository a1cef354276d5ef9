#pragma once
// What the reliability tests share: the error report and the message dialog
// answered as they come (a test never blocks on a modal window), mounts of
// their own for read-only and full file systems, and odd users bodies.

#include "ErrorReport.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>

class FakeExchange;

// Every report goes through the program's own report dialog, which is
// shown and then answered with its Continue button.
class ReportWatch {
public:
  ReportWatch();
  ~ReportWatch();
  ReportWatch(const ReportWatch &) = delete;
  ReportWatch &operator=(const ReportWatch &) = delete;

  QList<TErrorReport> reports;
  QStringList dialogTexts; // as the dialog showed them
  // Runs while the dialog is up, before it is answered.
  std::function<void()> whileShown;

private:
  TErrorPresenter m_previous;
};

// Answers every message dialog (ShowMessageButtons) with its first button,
// and remembers what each one said.
class MessageAnswerer : public QObject {
public:
  MessageAnswerer();
  ~MessageAnswerer() override;

  struct Seen {
    QString title;
    QString text;
  };
  QList<Seen> seen;
  // Runs while the message is up, before it is answered.
  std::function<void(QWidget *dialog)> whileShown;

protected:
  bool eventFilter(QObject *watched, QEvent *event) override;
};

// Gives the test process a mount namespace of its own, so that what it
// mounts is seen by nobody else and goes away with the process. Call it
// first thing in main(), before any thread exists. False where the system
// does not allow it (not root, or a container without the capability).
bool enterPrivateMountNamespace();
bool privateMountsAvailable();

// A small tmpfs on a directory (created when missing), unmounted when the
// object goes.
class TmpfsMount {
public:
  TmpfsMount(const QString &dir, qint64 bytes);
  ~TmpfsMount();
  TmpfsMount(const TmpfsMount &) = delete;
  TmpfsMount &operator=(const TmpfsMount &) = delete;

  bool isMounted() const { return m_mounted; }
  QString errorString() const { return m_error; }
  QString path() const { return m_dir; }
  bool remountReadOnly();
  // Writes a filler file until the file system is full; its size.
  qint64 fill(const QString &name);

private:
  QString m_dir;
  QString m_error;
  bool m_mounted = false;
};

// Holds the process's file-size limit at `bytes` (SIGXFSZ ignored, so a
// write past it fails with EFBIG instead of ending the process) until the
// object goes.
class FileSizeLimit {
public:
  explicit FileSizeLimit(qint64 bytes);
  ~FileSizeLimit();
  FileSizeLimit(const FileSizeLimit &) = delete;
  FileSizeLimit &operator=(const FileSizeLimit &) = delete;
  bool isActive() const { return m_active; }

private:
  bool m_active = false;
  qint64 m_softBefore = 0;
  void *m_signalBefore = nullptr;
};

// Sets one fault of the fake exchange on `path`, by name: "hang", "reset",
// "status" (500), "html" (a proxy's page with 200), "truncate", "delay"
// (1.5 s), "expired" (every token refused by the configuration service),
// "token500" (the token service's own 500 with a reason), "proxy502" (an
// HTML error page with 502).
bool applyFault(FakeExchange &fake, const QString &fault, const QString &path);

// A users list body of `count` generated users, with one oddity at user
// `at` (or in every user, for the deep members).
enum class UsersOddity {
  None,
  DeepMembers,     // every 100th user carries an unknown member nested `depth` levels
  NullLines,       // "lines": null
  NullPermissions, // "call_permissions": null
  NumberLine,      // "lines": [7]
  NumberItem,      // the item itself is the number 7
  ObjectName,      // "firstname": {"first": "x"}
  NullItems,       // "items": null (no user at all)
  NumberItems,     // "items": 7
  TopLevelArray,   // the body is an array of the users
};
QByteArray usersBody(int count, UsersOddity oddity = UsersOddity::None, int at = 0, int depth = 0);

// The bytes of a file, or a marker when it does not exist: a comparison
// tells "unchanged" from "created" too.
QByteArray fileSnapshot(const QString &path);

// The part of a file past `from` bytes.
QString textAfter(const QString &path, qint64 from);
qint64 fileSize(const QString &path);
