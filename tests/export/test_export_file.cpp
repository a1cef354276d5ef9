// A failed export leaves the file it would have replaced as it was, and
// says which file and why; a successful one replaces it whole.

#include "ExportFile.h"
#include "ExportTestSupport.h"
#include "LarkspanError.h"
#include "TempWorkDir.h"

#include <QDir>
#include <QFile>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

namespace {

QStringList filesIn(const QString &dir) {
  return QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
}

int modeOf(const QString &path) {
  struct stat st {};
  return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? int(st.st_mode & 07777) : -1;
}

// Writes half a file, then fails, as a writer does when the disk fills up.
class TBrokenWriter final : public TExportWriter {
public:
  void write(const TExportSnapshot &, const QString &path) const override {
    QFile f(path);
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
      f.write("partial");
    throw LarkspanError("No space left on device");
  }
};

TExportSnapshot oneColumn(const QString &value, int rows = 1) {
  TExportSnapshot s;
  s.columns = {{"h", 10}};
  for (int i = 0; i < rows; ++i)
    s.rows.append({value});
  return s;
}

}  // namespace

class TestExportFile : public QObject {
  Q_OBJECT
private slots:
  void failedWriterKeepsExistingFile();
  void failures_data();
  void failures();
  void replacesExistingFileKeepingItsMode();
  void newFileFollowsUmask();
  void writesThroughSymbolicLink();
  void emptyNameIsAnError();
};

void TestExportFile::failedWriterKeepsExistingFile() {
  TempWorkDir dir;
  const QString path = dir.filePath("users.csv");
  QVERIFY(writeFileBytes(path, "precious"));
  try {
    writeExportFile(TBrokenWriter(), fixtureSnapshot(), path);
    QFAIL("no error");
  } catch (const LarkspanError &e) {
    QCOMPARE(e.message(), QString("Cannot write \"%1\": No space left on device").arg(path));
  }
  QCOMPARE(readFileBytes(path), QByteArray("precious"));
  QCOMPARE(filesIn(dir.path()), QStringList{"users.csv"});
}

void TestExportFile::failures_data() {
  QTest::addColumn<QString>("name");           // relative to the test directory
  QTest::addColumn<bool>("existing");          // an older file stands at the target
  QTest::addColumn<int>("rows");
  QTest::addColumn<int>("valueLength");
  QTest::addColumn<QString>("cause");          // start of the cause after "Cannot write ...: "
  QTest::newRow("missing directory") << "nowhere/users.xlsx" << false << 1 << 4
                                     << "No such file or directory";
  QTest::newRow("target is a directory") << "users.csv" << false << 1 << 4 << "Is a directory";
  QTest::newRow("value too long for xlsx") << "users.xlsx" << true << 1 << 40000 << "String exceeds";
  QTest::newRow("value too long for xls") << "users.xls" << true << 1 << 40000 << "a value of 40000";
  QTest::newRow("too many rows for xls") << "users.XLS" << true << 65536 << 1 << "65536 rows";
  if (::geteuid() != 0) {  // root writes wherever it likes
    QTest::newRow("read-only directory") << "ro/users.json" << false << 1 << 4 << "Permission denied";
    QTest::newRow("read-only file") << "users.html" << true << 1 << 4 << "Permission denied";
  }
}

void TestExportFile::failures() {
  QFETCH(QString, name);
  QFETCH(bool, existing);
  QFETCH(int, rows);
  QFETCH(int, valueLength);
  QFETCH(QString, cause);
  TempWorkDir dir;
  const QString path = dir.filePath(name);
  if (QTest::currentDataTag() == QLatin1String("target is a directory"))
    QVERIFY(QDir(dir.path()).mkdir(name));
  if (name.startsWith("ro/")) {
    QVERIFY(QDir(dir.path()).mkdir("ro"));
    QVERIFY(::chmod(QFile::encodeName(dir.filePath("ro")).constData(), 0555) == 0);
  }
  if (existing)
    QVERIFY(writeFileBytes(path, "precious"));
  if (QTest::currentDataTag() == QLatin1String("read-only file"))
    QVERIFY(::chmod(QFile::encodeName(path).constData(), 0444) == 0);
  const QStringList before = filesIn(dir.path());

  const QString result = exportSnapshot(oneColumn(QString(valueLength, 'x'), rows), path);
  const QString prefix = QString("@Cannot write \"%1\": ").arg(path);
  QVERIFY2(result.startsWith(prefix + cause), qPrintable(result));
  if (existing)
    QCOMPARE(readFileBytes(path), QByteArray("precious"));
  QCOMPARE(filesIn(dir.path()), before);  // no temporary left behind
  if (name.startsWith("ro/"))
    ::chmod(QFile::encodeName(dir.filePath("ro")).constData(), 0755);
}

void TestExportFile::replacesExistingFileKeepingItsMode() {
  TempWorkDir dir;
  const QString path = dir.filePath("users.json");
  QVERIFY(writeFileBytes(path, QByteArray(100000, 'o')));  // longer than the new file
  QVERIFY(::chmod(QFile::encodeName(path).constData(), 0640) == 0);
  QCOMPARE(exportSnapshot(oneColumn("v"), path), path);
  QCOMPARE(readFileBytes(path), QByteArray("[\n  {\"h\": \"v\"}\n]\n"));
  QCOMPARE(modeOf(path), 0640);
  QCOMPARE(filesIn(dir.path()), QStringList{"users.json"});
}

void TestExportFile::newFileFollowsUmask() {
  TempWorkDir dir;
  const mode_t old = ::umask(027);
  const QString path = dir.filePath("users.xlsx");
  const QString result = exportSnapshot(oneColumn("v"), path);
  ::umask(old);
  QCOMPARE(result, path);
  QCOMPARE(modeOf(path), 0640);
}

void TestExportFile::writesThroughSymbolicLink() {
  TempWorkDir dir;
  const QString target = dir.filePath("real.csv");
  const QString link = dir.filePath("link.csv");
  QVERIFY(writeFileBytes(target, "old"));
  QVERIFY(QFile::link(target, link));
  QCOMPARE(exportSnapshot(oneColumn("v"), link), link);
  QVERIFY(QFileInfo(link).isSymLink());
  QCOMPARE(readFileBytes(target).left(2), QByteArray("\xFF\xFE"));
}

void TestExportFile::emptyNameIsAnError() {
  QCOMPARE(exportSnapshot(oneColumn("v"), QString()), QString("@No file name given"));
}

QTEST_GUILESS_MAIN(TestExportFile)
#include "test_export_file.moc"
