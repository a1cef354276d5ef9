#include "ReliabilitySupport.h"

#include "ErrorReportDialog.h"
#include "FakeExchange.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QTimer>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <unistd.h>

ReportWatch::ReportWatch() {
  m_previous = setErrorPresenter([this](const TErrorReport &report) {
    reports << report;
    QWidget *owner = QApplication::activeModalWidget();
    if (!owner)
      owner = QApplication::activeWindow();
    TErrorReportDlg dialog(report, owner);
    QPointer<TErrorReportDlg> shown(&dialog);
    // Answered once its own loop runs, as a user would.
    QTimer::singleShot(0, &dialog, [this, shown] {
      if (!shown)
        return;
      dialogTexts << shown->reportText();
      if (whileShown)
        whileShown();
      if (!shown)
        return;
      if (auto *button = shown->findChild<QPushButton *>(QStringLiteral("BtnCloseReport")))
        button->click();
      else
        shown->accept();
    });
    dialog.exec();
  });
}

ReportWatch::~ReportWatch() {
  setErrorPresenter(m_previous);
}

MessageAnswerer::MessageAnswerer() {
  qApp->installEventFilter(this);
}

MessageAnswerer::~MessageAnswerer() {
  qApp->removeEventFilter(this);
}

bool MessageAnswerer::eventFilter(QObject *watched, QEvent *event) {
  if (event->type() != QEvent::Show || !watched->isWidgetType() ||
      watched->objectName() != QLatin1String("messageDialog"))
    return false;
  QPointer<QWidget> dialog(static_cast<QWidget *>(watched));
  if (!dialog->isWindow())
    return false;
  QTimer::singleShot(0, this, [this, dialog] {
    if (!dialog)
      return;
    Seen s;
    s.title = dialog->windowTitle();
    if (auto *label = dialog->findChild<QLabel *>(QStringLiteral("messageLabel")))
      s.text = label->text();
    seen << s;
    if (whileShown)
      whileShown(dialog);
    if (!dialog)
      return;
    if (auto *button = dialog->findChild<QPushButton *>(QStringLiteral("button0")))
      button->click();
    else
      dialog->close();
  });
  return false;
}

namespace {
bool mountNamespace = false;
} // namespace

bool enterPrivateMountNamespace() {
  if (::unshare(CLONE_NEWNS) != 0)
    return false;
  // Mounts made from now on do not travel back to the parent namespace.
  if (::mount("none", "/", "none", MS_REC | MS_PRIVATE, nullptr) != 0)
    return false;
  mountNamespace = true;
  return true;
}

bool privateMountsAvailable() {
  return mountNamespace;
}

TmpfsMount::TmpfsMount(const QString &dir, qint64 bytes) : m_dir(QFileInfo(dir).absoluteFilePath()) {
  if (!mountNamespace) {
    m_error = QStringLiteral("no mount namespace of our own (needs root and CAP_SYS_ADMIN)");
    return;
  }
  QDir().mkpath(m_dir);
  const QByteArray options = "size=" + QByteArray::number(bytes) + ",mode=0755";
  if (::mount("tmpfs", QFile::encodeName(m_dir).constData(), "tmpfs", 0, options.constData()) != 0) {
    m_error = QStringLiteral("mount tmpfs on %1: %2").arg(m_dir, QString::fromLocal8Bit(std::strerror(errno)));
    return;
  }
  m_mounted = true;
}

TmpfsMount::~TmpfsMount() {
  if (m_mounted)
    ::umount2(QFile::encodeName(m_dir).constData(), MNT_DETACH);
}

bool TmpfsMount::remountReadOnly() {
  if (!m_mounted)
    return false;
  if (::mount("tmpfs", QFile::encodeName(m_dir).constData(), "tmpfs", MS_REMOUNT | MS_RDONLY, nullptr) != 0) {
    m_error = QStringLiteral("remount %1 read-only: %2").arg(m_dir, QString::fromLocal8Bit(std::strerror(errno)));
    return false;
  }
  return true;
}

qint64 TmpfsMount::fill(const QString &name) {
  const QByteArray path = QFile::encodeName(QDir(m_dir).filePath(name));
  const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0)
    return -1;
  const QByteArray block(4096, 'f');
  qint64 total = 0;
  for (;;) {
    const ssize_t n = ::write(fd, block.constData(), size_t(block.size()));
    if (n <= 0)
      break;
    total += n;
  }
  // Whatever room is left is smaller than a block: take it byte by byte.
  while (::write(fd, "f", 1) == 1)
    ++total;
  ::close(fd);
  return total;
}

FileSizeLimit::FileSizeLimit(qint64 bytes) {
  struct rlimit limit {};
  if (::getrlimit(RLIMIT_FSIZE, &limit) != 0)
    return;
  m_softBefore = qint64(limit.rlim_cur);
  m_signalBefore = reinterpret_cast<void *>(std::signal(SIGXFSZ, SIG_IGN));
  limit.rlim_cur = rlim_t(bytes);
  m_active = ::setrlimit(RLIMIT_FSIZE, &limit) == 0;
}

FileSizeLimit::~FileSizeLimit() {
  struct rlimit limit {};
  if (::getrlimit(RLIMIT_FSIZE, &limit) == 0) {
    limit.rlim_cur = rlim_t(m_softBefore);
    ::setrlimit(RLIMIT_FSIZE, &limit);
  }
  std::signal(SIGXFSZ, reinterpret_cast<void (*)(int)>(m_signalBefore));
}

bool applyFault(FakeExchange &fake, const QString &fault, const QString &path) {
  if (fault == QLatin1String("hang"))
    return fake.hang(path);
  if (fault == QLatin1String("reset"))
    return fake.resetConnection(path);
  if (fault == QLatin1String("status"))
    return fake.failWith(path, 500);
  if (fault == QLatin1String("html"))
    return fake.htmlPage(path);
  if (fault == QLatin1String("truncate"))
    return fake.truncateBody(path);
  if (fault == QLatin1String("delay"))
    return fake.delay(path, 1500);
  if (fault == QLatin1String("expired"))
    return fake.expireTokens(true);
  if (fault == QLatin1String("token500"))
    return fake.respond(path, 500, "application/json",
                        "{\"reason\": [\"Internal Server Error\"], \"timestamp\": [1733912345.123], "
                        "\"status_code\": 500}");
  if (fault == QLatin1String("proxy502"))
    return fake.respond(path, 502, "text/html",
                        "<html>\r\n<head><title>502 Bad Gateway</title></head>\r\n<body>\r\n"
                        "<center><h1>502 Bad Gateway</h1></center>\r\n</body>\r\n</html>\r\n");
  return false;
}

namespace {
QByteArray userItem(int i, UsersOddity oddity, bool odd, int depth) {
  const QByteArray n = QByteArray::number(i + 1);
  QByteArray firstname = "\"First" + n + "\"";
  QByteArray lines = "[{\"id\": " + n + ", \"name\": \"line" + n + "\", \"extensions\": [{\"id\": " + n +
                     ", \"exten\": \"" + QByteArray::number(10000 + i) + "\", \"context\": \"default\"}]}]";
  QByteArray permissions = "[{\"id\": 2, \"name\": \"Internal\"}]";
  QByteArray extra;
  if (odd) {
    switch (oddity) {
    case UsersOddity::NumberItem:
      return "7";
    case UsersOddity::NullLines:
      lines = "null";
      break;
    case UsersOddity::NullPermissions:
      permissions = "null";
      break;
    case UsersOddity::NumberLine:
      lines = "[7]";
      break;
    case UsersOddity::ObjectName:
      firstname = "{\"first\": \"x\"}";
      break;
    default:
      break;
    }
  }
  if (oddity == UsersOddity::DeepMembers && i % 100 == 0)
    extra = ", \"extra\": " + QByteArray(depth, '[') + "1" + QByteArray(depth, ']');
  QByteArray uuid = QByteArray::number(i + 1).rightJustified(12, '0');
  return "{\"id\": " + n + ", \"uuid\": \"00000000-0000-4000-8000-" + uuid + "\", \"firstname\": " + firstname +
         ", \"lastname\": \"Last" + n + "\", \"email\": \"user" + n + "@example.com\", \"caller_id\": \"\\\"First" + n +
         " Last" + n + "\\\"\", \"outgoing_caller_id\": null, \"lines\": " + lines +
         ", \"call_permissions\": " + permissions + extra + "}";
}
} // namespace

QByteArray usersBody(int count, UsersOddity oddity, int at, int depth) {
  QByteArray items;
  items.reserve(qsizetype(count) * 420);
  items += '[';
  for (int i = 0; i < count; ++i) {
    if (i > 0)
      items += ", ";
    items += userItem(i, oddity, i == at, depth);
  }
  items += ']';
  if (oddity == UsersOddity::TopLevelArray)
    return items;
  if (oddity == UsersOddity::NullItems)
    items = "null";
  else if (oddity == UsersOddity::NumberItems)
    items = "7";
  return "{\"total\": " + QByteArray::number(count) + ", \"items\": " + items + "}";
}

QByteArray fileSnapshot(const QString &path) {
  QFile file(path);
  if (!file.exists())
    return QByteArrayLiteral("<no file>");
  if (QFileInfo(path).isDir())
    return QByteArrayLiteral("<directory>");
  if (!file.open(QIODevice::ReadOnly))
    return QByteArrayLiteral("<unreadable>");
  return file.readAll();
}

qint64 fileSize(const QString &path) {
  return QFileInfo(path).size();
}

QString textAfter(const QString &path, qint64 from) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly))
    return {};
  file.seek(from);
  return QString::fromLocal8Bit(file.readAll());
}
