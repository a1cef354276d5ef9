// The settings file and the trace log under bad conditions, on the
// program's own path (main window, configuration dialog, export): a file
// of binary garbage, a line of 100 KB, a file that cannot be read, a
// working directory where nothing can be written, a disk that fills up
// during a save. The program runs on, says what failed through the error
// report, and never loses the settings it had.
#include "APIWazo.h"
#include "FConfig.h"
#include "FLarkspan.h"
#include "IniFile.h"
#include "MainWindowFixture.h"
#include "ModalDriver.h"
#include "OPortDesc.h"
#include "ReliabilityMain.h"
#include "SaveDialog.h"
#include "Settings.h"
#include "traces.h"

#include <QAbstractButton>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>

#include <functional>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace {
// Types a text and leaves the field, as a user does.
void typeInto(QLineEdit *edit, const QString &text) {
  edit->setFocus();
  edit->selectAll();
  QTest::keyClicks(edit, text);
  // As when the field loses the focus; on the offscreen platform the focus
  // does not always follow a modal window that just closed.
  emit edit->editingFinished();
}

// Runs `act` in the configuration dialog the next time it shows, then
// closes it.
void whenConfigShows(ModalDriver &driver, const std::function<void(TFormConfig *)> &act) {
  driver.nextOf<TFormConfig>([act](TFormConfig *dialog) {
    act(dialog);
    dialog->close();
  });
}

bool inConfigDialog(TFMainLarkspan *w, const std::function<void(TFormConfig *)> &act) {
  ModalDriver driver;
  whenConfigShows(driver, act);
  QTest::mouseClick(w->BtnConfig, Qt::LeftButton);
  return driver.fired() == 1;
}

void typeConnection(TFormConfig *dialog, const FakeExchange &fake) {
  typeInto(dialog->EdURL, fake.baseUrl());
  typeInto(dialog->EdLogin, fake.login());
  typeInto(dialog->EdPassword, fake.password());
}

QString settingsText(const FakeExchange &fake, const QByteArray &extraLines = {}) {
  return QStringLiteral("[API_1]\r\nUSERNAME=%1\r\nPASSW=%2\r\nNUMPORT=443\r\nBASE_URL=%3\r\n")
             .arg(fake.login(), fake.password(), fake.baseUrl()) +
         QString::fromLatin1(extraLines);
}

QByteArray garbage(int size, quint32 seed) {
  QRandomGenerator random(seed);
  QByteArray bytes(size, '\0');
  for (char &c : bytes)
    c = char(random.bounded(256));
  // No accidental section header among the noise.
  bytes.replace('[', '{');
  return bytes;
}

// Exports the table through the Export button to `path`; the message shown.
QString exportTo(TFMainLarkspan *w, const QString &path) {
  TSaveDialog::setAsker([path](QWidget *, const QStringList &, const QString &) { return path; });
  MessageAnswerer messages;
  QTest::mouseClick(w->BntExport, Qt::LeftButton);
  TSaveDialog::setAsker({});
  return messages.seen.isEmpty() ? QString() : messages.seen.first().text;
}

// Files in a directory other than the expected ones: leftovers of a failed
// save.
QStringList strayFiles(const QString &dir, const QStringList &expected) {
  QStringList stray = QDir(dir).entryList(QDir::Files | QDir::Hidden);
  for (const QString &name : expected)
    stray.removeAll(name);
  return stray;
}
} // namespace

class TestSettingsFiles : public QObject {
  Q_OBJECT
private slots:
  void binaryGarbageFile();
  void binaryGarbageAroundTheSection();
  void hundredKilobyteLines();
  void fileThatCannotBeRead();
  void workingDirectoryWithoutWrites_data();
  void workingDirectoryWithoutWrites();
  void diskFullDuringSave_data();
  void diskFullDuringSave();
  void filesCreatedForTheOwnerOnly();
};

// Nothing but noise: every setting takes its default, the file is not
// touched by loading, and a save keeps the noise and adds the section.
void TestSettingsFiles::binaryGarbageFile() {
  TempWorkDir dir;
  const QString name = ProgramFileName(QStringLiteral(".ini"));
  const QByteArray noise = garbage(4096, 8);
  QVERIFY(writeFileBytes(name, noise));
  createPortConfig();
  LoadSettings(name);
  QCOMPARE(PortConfig->PB_HTTP_USERNAME(), QStringLiteral("zjfagtbtba"));
  QCOMPARE(PortConfig->PB_HTTP_PASSW(), QStringLiteral("kiwiplum"));
  QCOMPARE(PortConfig->PB_HTTP_BASE_URL(), QString::fromLatin1(DefaultBaseUrl));
  QCOMPARE(PortConfig->PB_USEPERM(), QStringLiteral("1"));
  QCOMPARE(fileSnapshot(name), noise);

  PortConfig->SetPB_HTTP_PASSW(QStringLiteral("pässwörd"));
  SaveSettings(name);
  const QByteArray saved = fileSnapshot(name);
  QVERIFY(saved.startsWith(noise));
  LoadSettings(name);
  QCOMPARE(PortConfig->PB_HTTP_PASSW(), QStringLiteral("pässwörd"));
  releasePortConfig();
}

// Noise before and after a good section: the program reads its settings,
// reloads, and a change through the dialog keeps every byte of the noise.
void TestSettingsFiles::binaryGarbageAroundTheSection() {
  MainWindowFixture f;
  QVERIFY(f.startFakeWithUsers(30));
  const QByteArray before = garbage(3000, 1) + "\r\n";
  const QByteArray after = "\r\n[Other]\r\n" + garbage(3000, 2);
  QVERIFY(writeFileBytes(f.settingsFile(), before + settingsText(f.fake).toLatin1() + after));
  TFMainLarkspan *w = f.createWindows();
  ReportWatch watch;
  QVERIFY(f.showAndWait());
  QCOMPARE(w->StringGrid->RowCount(), 30);

  // A password with a letter of no 8-bit code page: still read back whole.
  const QString password = QStringLiteral("dé€jà-vu");
  QVERIFY(f.fake.setCredentials(f.fake.login(), password));
  // Pasted (no key of the test's keyboard types it), committed as the
  // dialog closes.
  QVERIFY(inConfigDialog(w, [&](TFormConfig *d) {
    d->EdPassword->setText(password);
    d->EdPassword->setModified(true);
  }));
  QVERIFY(watch.reports.isEmpty());
  QCOMPARE(w->StringGrid->RowCount(), 30); // the changed summary reloaded with it

  const QByteArray saved = fileSnapshot(f.settingsFile());
  const IniFile reread(f.settingsFile()); // as the next start reads it
  QCOMPARE(reread.readString(QStringLiteral("API_1"), QStringLiteral("PASSW"), QString()), password);
  QCOMPARE(reread.readString(QStringLiteral("API_1"), QStringLiteral("BASE_URL"), QString()), f.fake.baseUrl());
  // The noise is still there, character for character.
  const bool utf8 = QString::fromUtf8(saved).toUtf8() == saved;
  const QString text = utf8 ? QString::fromUtf8(saved) : QString::fromLatin1(saved);
  QVERIFY(text.contains(QString::fromLatin1(before)));
  QVERIFY(text.contains(QString::fromLatin1(after.mid(2))));
}

// 100 KB lines: a comment, a key the program does not know, and a value
// the program reads (cut to 2047 characters, as every value read).
void TestSettingsFiles::hundredKilobyteLines() {
  MainWindowFixture f;
  QVERIFY(f.startFakeWithUsers(30));
  const QByteArray comment = "; " + QByteArray(100 * 1024, 'c') + "\r\n";
  const QByteArray unknown = "NOTES=" + QByteArray(100 * 1024, 'n') + "\r\n";
  const QByteArray data = "DATA=" + QByteArray(100 * 1024, 'd') + "\r\n";
  QVERIFY(writeFileBytes(f.settingsFile(), comment + settingsText(f.fake).toLatin1() + unknown + data));
  TFMainLarkspan *w = f.createWindows();
  ReportWatch watch;
  QVERIFY(f.showAndWait());
  QCOMPARE(w->StringGrid->RowCount(), 30);
  QCOMPARE(PortConfig->PB_HTTP_DATA(), QString(2047, QLatin1Char('d')));

  QVERIFY(inConfigDialog(w, [](TFormConfig *d) { QTest::mouseClick(d->SwPerm, Qt::LeftButton); }));
  QVERIFY(watch.reports.isEmpty());
  const QByteArray saved = fileSnapshot(f.settingsFile());
  QVERIFY(saved.startsWith(comment));
  QVERIFY(saved.contains("\r\n" + unknown));
  QVERIFY(saved.contains("\r\nDATA=" + QByteArray(2047, 'd') + "\r\n"));
  QVERIFY(saved.contains("\r\nUsePermission=0\r\n"));
  QVERIFY(f.reloadAndWait());
  QCOMPARE(w->StringGrid->RowCount(), 30);
}

// A directory where the settings file should be: the start reports it and
// goes on with the defaults; every save reports it; the connection typed in
// the dialog still serves the reload.
void TestSettingsFiles::fileThatCannotBeRead() {
  MainWindowFixture f;
  QVERIFY(f.startFakeWithUsers(30));
  QVERIFY(QDir().mkdir(f.settingsFile()));
  ReportWatch watch;
  TFMainLarkspan *w = f.createWindows();
  QCOMPARE(watch.reports.size(), 1);
  QCOMPARE(watch.reports.first().where, QStringLiteral("FormCreate"));
  QVERIFY2(watch.reports.first().message.startsWith(QStringLiteral("Cannot read settings file")),
           qPrintable(watch.reports.first().message));
  QVERIFY(PortConfig && UserTable && traceIsOpen());

  // The file "exists", so the first show tries the exchange, with nothing
  // to go on: the token fails at once.
  QVERIFY(f.showAndWait());
  QCOMPARE(w->StringGrid->RowCount(), 0);
  QVERIFY(f.traceText().contains(QStringLiteral("res: 375")));
  QVERIFY(f.fake.requests().isEmpty());

  QVERIFY(inConfigDialog(w, [&](TFormConfig *d) { typeConnection(d, f.fake); }));
  QCOMPARE(watch.reports.size(), 4); // one per saved field
  QCOMPARE(watch.reports.last().where, QStringLiteral("Change"));
  QCOMPARE(w->StringGrid->RowCount(), 30);
  QVERIFY(QFileInfo(f.settingsFile()).isDir());

  // A text still pending when the dialog closes is committed then; its
  // failed save is reported the same way, and the reload still follows.
  QVERIFY(f.fake.setCredentials(f.fake.login(), QStringLiteral("changed")));
  QSignalSpy reloads(w, &TFMainLarkspan::reloadFinished);
  QVERIFY(inConfigDialog(w, [](TFormConfig *d) {
    d->EdPassword->setText(QStringLiteral("changed"));
    d->EdPassword->setModified(true);
  }));
  QCOMPARE(watch.reports.size(), 5);
  QCOMPARE(watch.reports.last().where, QStringLiteral("Change"));
  QCOMPARE(reloads.count(), 1);
  QCOMPARE(PortConfig->PB_HTTP_PASSW(), QStringLiteral("changed"));
  QCOMPARE(w->StringGrid->RowCount(), 30);
  QCOMPARE(exportTo(w, f.dir.filePath(QStringLiteral("users.csv"))),
           QStringLiteral("Exported to ") + f.dir.filePath(QStringLiteral("users.csv")));
}

void TestSettingsFiles::workingDirectoryWithoutWrites_data() {
  QTest::addColumn<QString>("kind");
  QTest::addColumn<bool>("withSettings");
  QTest::newRow("read-only file system, settings present") << "read-only" << true;
  QTest::newRow("read-only file system, no settings") << "read-only" << false;
  QTest::newRow("working directory removed") << "removed" << false;
}

// Nowhere to write: no trace log, no settings saved, yet the program
// starts, reloads with what it could read, reports each failed save, and
// exports elsewhere.
void TestSettingsFiles::workingDirectoryWithoutWrites() {
  QFETCH(QString, kind);
  QFETCH(bool, withSettings);
  MainWindowFixture f;
  QVERIFY(f.startFakeWithUsers(30));
  const QString work = f.dir.filePath(QStringLiteral("work"));
  std::unique_ptr<TmpfsMount> mount;
  bool chmodOnly = false;
  if (kind == QLatin1String("read-only")) {
    mount = std::make_unique<TmpfsMount>(work, 1024 * 1024);
    if (!mount->isMounted()) {
      if (::geteuid() == 0)
        QSKIP(qPrintable(QStringLiteral("no read-only file system to be had: ") + mount->errorString()));
      chmodOnly = true; // not root: the permission bits hold
      QDir().mkpath(work);
    }
  } else {
    QDir().mkpath(work);
  }
  const QString settingsName = ProgramFileName(QStringLiteral(".ini"));
  const QString settingsPath = QDir(work).filePath(settingsName);
  if (withSettings)
    QVERIFY(writeFileBytes(settingsPath, settingsText(f.fake).toLatin1()));
  const QByteArray settings = fileSnapshot(settingsPath);
  if (mount && mount->isMounted())
    QVERIFY2(mount->remountReadOnly(), qPrintable(mount->errorString()));
  if (chmodOnly)
    QVERIFY(::chmod(QFile::encodeName(work).constData(), 0555) == 0);
  QVERIFY(QDir::setCurrent(work));
  if (kind == QLatin1String("removed"))
    QVERIFY(::rmdir(QFile::encodeName(work).constData()) == 0);

  ReportWatch watch;
  TFMainLarkspan *w = f.createWindows();
  QVERIFY(watch.reports.isEmpty()); // a missing log is no error
  ModalDriver driver;
  if (!withSettings) // the first start asks for the connection
    whenConfigShows(driver, [&](TFormConfig *d) { typeConnection(d, f.fake); });
  QVERIFY(f.showAndWait());
  QCOMPARE(driver.fired(), withSettings ? 0 : 1);
  QCOMPARE(w->StringGrid->RowCount(), 30);
  if (!withSettings) {
    QCOMPARE(watch.reports.size(), 3); // one per saved field
    for (const TErrorReport &r : watch.reports)
      QVERIFY2(r.message.startsWith(QStringLiteral("Cannot write settings file")), qPrintable(r.message));
  }

  // A change that only the file would keep: reported, nothing written.
  const qsizetype reports = watch.reports.size();
  QVERIFY(inConfigDialog(w, [](TFormConfig *d) { QTest::mouseClick(d->SwPerm, Qt::LeftButton); }));
  QCOMPARE(watch.reports.size(), reports + 1);
  QCOMPARE(watch.reports.last().where, QStringLiteral("Change"));
  QVERIFY(f.reloadAndWait());
  QCOMPARE(w->StringGrid->RowCount(), 30);

  // The export cannot write here, and says so; elsewhere it can.
  QVERIFY(exportTo(w, QDir(work).filePath(QStringLiteral("users.csv"))).startsWith(QStringLiteral("Error: ")));
  const QString elsewhere = f.dir.filePath(QStringLiteral("users.csv"));
  QCOMPARE(exportTo(w, elsewhere), QStringLiteral("Exported to ") + elsewhere);

  QVERIFY(QDir::setCurrent(f.dir.path()));
  QCOMPARE(fileSnapshot(settingsPath), kind == QLatin1String("removed") ? QByteArray("<no file>") : settings);
  QVERIFY(!QFileInfo::exists(QDir(work).filePath(ProgramFileName(QStringLiteral(".log")))));
  // Nothing went anywhere else either: not beside the test, not at the root.
  QVERIFY(!QFileInfo::exists(f.settingsFile()));
  QVERIFY(!QFileInfo::exists(f.traceFile()));
  QVERIFY(!QFileInfo::exists(QStringLiteral("/") + settingsName));
  if (chmodOnly)
    ::chmod(QFile::encodeName(work).constData(), 0755);
}

void TestSettingsFiles::diskFullDuringSave_data() {
  QTest::addColumn<QString>("how");
  QTest::newRow("file-size limit") << "limit";
  QTest::newRow("full file system") << "tmpfs";
}

// A save that runs out of room fails as a whole: the old file stays as it
// was, no half-written file is left behind, and once there is room again
// the next change is saved.
void TestSettingsFiles::diskFullDuringSave() {
  QFETCH(QString, how);
  MainWindowFixture f;
  QVERIFY(f.startFakeWithUsers(30));
  std::unique_ptr<TmpfsMount> mount;
  const QString work = f.dir.filePath(QStringLiteral("work"));
  if (how == QLatin1String("tmpfs")) {
    mount = std::make_unique<TmpfsMount>(work, 1024 * 1024); // room for the log of a reload
    if (!mount->isMounted())
      QSKIP(qPrintable(QStringLiteral("no small file system to be had: ") + mount->errorString()));
  } else {
    QDir().mkpath(work);
  }
  QVERIFY(QDir::setCurrent(work));
  const QString settingsName = ProgramFileName(QStringLiteral(".ini"));
  const QString logName = ProgramFileName(QStringLiteral(".log"));
  QVERIFY(writeFileBytes(settingsName, settingsText(f.fake).toLatin1()));
  const QByteArray settings = fileSnapshot(settingsName);

  ReportWatch watch;
  TFMainLarkspan *w = f.createWindows();
  QVERIFY(f.showAndWait());
  QCOMPARE(w->StringGrid->RowCount(), 30);

  {
    std::unique_ptr<FileSizeLimit> limit;
    if (mount) {
      QVERIFY(mount->fill(QStringLiteral("filler")) > 0);
    } else {
      limit = std::make_unique<FileSizeLimit>(16);
      QVERIFY(limit->isActive());
    }
    QVERIFY(inConfigDialog(w, [](TFormConfig *d) { QTest::mouseClick(d->SwPerm, Qt::LeftButton); }));
  }
  QCOMPARE(watch.reports.size(), 1);
  QVERIFY2(watch.reports.first().message.startsWith(QStringLiteral("Cannot write settings file")),
           qPrintable(watch.reports.first().message));
  QCOMPARE(fileSnapshot(settingsName), settings);
  QCOMPARE(strayFiles(work, {settingsName, logName, QStringLiteral("filler")}), QStringList());

  // Room again: the next change saves, both changes are in.
  if (mount)
    QVERIFY(QFile::remove(QStringLiteral("filler")));
  QVERIFY(inConfigDialog(w, [](TFormConfig *d) { typeInto(d->EdLogin, QStringLiteral("someone")); }));
  QCOMPARE(watch.reports.size(), 1);
  const QByteArray saved = fileSnapshot(settingsName);
  QVERIFY(saved.contains("USERNAME=someone\r\n"));
  QVERIFY(saved.contains("UsePermission=0\r\n"));
  QVERIFY(QDir::setCurrent(f.dir.path()));
}

// What the program creates holds secrets (the password, response bodies):
// owner only, whatever the umask; a file that exists keeps its own mode.
void TestSettingsFiles::filesCreatedForTheOwnerOnly() {
  const mode_t umaskBefore = ::umask(0);
  MainWindowFixture f;
  QVERIFY(f.startFakeWithUsers(30));
  TFMainLarkspan *w = f.createWindows();
  ModalDriver driver;
  whenConfigShows(driver, [&](TFormConfig *d) { typeConnection(d, f.fake); });
  QVERIFY(f.showAndWait());
  QCOMPARE(driver.fired(), 1);
  QCOMPARE(w->StringGrid->RowCount(), 30);
  QCOMPARE(unixMode(f.settingsFile()), 0600);
  QCOMPARE(unixMode(f.traceFile()), 0600);

  QVERIFY(::chmod(QFile::encodeName(f.settingsFile()).constData(), 0640) == 0);
  QVERIFY(inConfigDialog(w, [](TFormConfig *d) { QTest::mouseClick(d->SwPerm, Qt::LeftButton); }));
  QVERIFY(fileSnapshot(f.settingsFile()).contains("UsePermission=0\r\n"));
  QCOMPARE(unixMode(f.settingsFile()), 0640);
  ::umask(umaskBefore);
}

RELIABILITY_TEST_MAIN(TestSettingsFiles)
#include "test_settings_files.moc"
