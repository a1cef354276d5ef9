#include "IniFile.h"
#include "LarkspanError.h"
#include "OPortDesc.h"
#include "Settings.h"
#include "TempWorkDir.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTest>

#include <csignal>
#include <sys/resource.h>
#include <unistd.h>

class TestSettings : public QObject {
  Q_OBJECT
private slots:
  void init() { createPortConfig(); }
  void cleanup() { releasePortConfig(); }
  void noFileGivesDefaults();
  void oldSectionIsAdopted();
  void emptyValueIsNotMissing();
  void readingRules_data();
  void readingRules();
  void saveKeepsOtherLines();
  void newFileLayoutAndPermissions();
  void saveKeepsExistingPermissions();
  void awkwardValuesReadBack_data();
  void awkwardValuesReadBack();
  void failedSaveLeavesFileAlone();
  void unreadableFileStopsLoading();
};

void TestSettings::noFileGivesDefaults() {
  TempWorkDir dir;
  LoadSettings("Larkspan.ini");
  QCOMPARE(PortConfig->PB_TYPEPORT(), 9);
  QCOMPARE(PortConfig->PB_HTTP_USERNAME(), QString("zjfagtbtba"));
  QCOMPARE(PortConfig->PB_HTTP_PASSW(), QString("kiwiplum"));
  QCOMPARE(PortConfig->PB_HTTP_NUMPORT(), QString("443"));
  QCOMPARE(PortConfig->PB_HTTP_DATA(), QString("{\"expiration\": 6}"));
  QCOMPARE(PortConfig->PB_HTTP_BASE_URL(), QString::fromLatin1(DefaultBaseUrl));
  QVERIFY(PortConfig->PB_HTTP_BASE_URL().startsWith("https://"));
  QVERIFY(!PortConfig->PB_HTTP_BASE_URL().endsWith("/"));
  QCOMPARE(PortConfig->PB_USEPERM(), QString("1"));
  QCOMPARE(PortConfig->PB_OPEN(), QString());
  QVERIFY(!QFileInfo::exists(dir.filePath("Larkspan.ini")));
}

void TestSettings::oldSectionIsAdopted() {
  TempWorkDir dir;
  writeFileBytes("Larkspan.ini", "; note\n[Api]\nUSERNAME=bob\n[other]\nk=v");
  LoadSettings("Larkspan.ini");
  QCOMPARE(PortConfig->PB_HTTP_USERNAME(), QString("bob"));
  QCOMPARE(readFileBytes("Larkspan.ini"), QByteArray("; note\r\n[API_1]\r\nUSERNAME=bob\r\n[other]\r\nk=v\r\n"));
}

void TestSettings::emptyValueIsNotMissing() {
  TempWorkDir dir;
  writeFileBytes("Larkspan.ini", "[API_1]\r\nPASSW=\r\n");
  LoadSettings("Larkspan.ini");
  QCOMPARE(PortConfig->PB_HTTP_PASSW(), QString(""));
  writeFileBytes("Larkspan.ini", "[API_1]\r\nUSERNAME=x\r\n");
  LoadSettings("Larkspan.ini");
  QCOMPARE(PortConfig->PB_HTTP_PASSW(), QString("kiwiplum"));
}

void TestSettings::readingRules_data() {
  QTest::addColumn<QByteArray>("file");
  QTest::addColumn<QString>("value");
  QTest::newRow("names ignore case") << QByteArray("[api_1]\nusername=a") << "a";
  QTest::newRow("trimmed") << QByteArray("[API_1]\n  USERNAME =  a b  \n") << "a b";
  QTest::newRow("double quotes") << QByteArray("[API_1]\nUSERNAME=\" a \"") << " a ";
  QTest::newRow("single quotes") << QByteArray("[API_1]\nUSERNAME='a'") << "a";
  QTest::newRow("first equals sign") << QByteArray("[API_1]\nUSERNAME=a=b") << "a=b";
  QTest::newRow("utf8 with bom") << QByteArray("\xEF\xBB\xBF[API_1]\nUSERNAME=Zo\xC3\xA9") << QString::fromUtf8("Zoé");
  QTest::newRow("latin1 file") << QByteArray("[API_1]\nUSERNAME=Zo\xE9") << QString::fromUtf8("Zoé");
  QTest::newRow("other section ignored") << QByteArray("[X]\nUSERNAME=no\n[API_1]\nPASSW=p") << "zjfagtbtba";
  QTest::newRow("long value cut") << QByteArray("[API_1]\nUSERNAME=" + QByteArray(3000, 'x')) << QString(2047, 'x');
  QTest::newRow("comment is no key") << QByteArray("[API_1]\n;USERNAME=no") << "zjfagtbtba";
}

void TestSettings::readingRules() {
  QFETCH(QByteArray, file);
  QFETCH(QString, value);
  TempWorkDir dir;
  writeFileBytes("Larkspan.ini", file);
  LoadSettings("Larkspan.ini");
  QCOMPARE(PortConfig->PB_HTTP_USERNAME(), value);
}

void TestSettings::saveKeepsOtherLines() {
  TempWorkDir dir;
  const QByteArray before = "; my comment\n\n[Other]\nkey = kept \n\n[API_1]\nusername=old\n; inside\nExtra=1\n\n[Last]\nz=9";
  writeFileBytes("Larkspan.ini", before);
  LoadSettings("Larkspan.ini");
  PortConfig->SetPB_HTTP_USERNAME("new");
  SaveSettings("Larkspan.ini");
  QCOMPARE(readFileBytes("Larkspan.ini"),
           QByteArray("; my comment\n\n[Other]\nkey = kept \n\n[API_1]\nusername=new\n; inside\nExtra=1\n"
                      "PASSW=kiwiplum\r\nNUMPORT=443\r\nDATA={\"expiration\": 6}\r\nBASE_URL=https://api.wazo.community\r\n"
                      "AllowPermission=\r\nDenyPermission=\r\nUsePermission=1\r\n\n[Last]\nz=9"));
}

void TestSettings::newFileLayoutAndPermissions() {
  TempWorkDir dir;
  LoadSettings("Larkspan.ini");
  PortConfig->SetPB_HTTP_PASSW("s3cret");
  PortConfig->SetPB_OPEN("Internal");
  SaveSettings("Larkspan.ini");
  QCOMPARE(readFileBytes("Larkspan.ini"),
           QByteArray("[API_1]\r\nUSERNAME=zjfagtbtba\r\nPASSW=s3cret\r\nNUMPORT=443\r\nDATA={\"expiration\": 6}\r\n"
                      "BASE_URL=https://api.wazo.community\r\nAllowPermission=Internal\r\nDenyPermission=\r\n"
                      "UsePermission=1\r\n"));
  QCOMPARE(unixMode("Larkspan.ini"), 0600);
}

void TestSettings::saveKeepsExistingPermissions() {
  TempWorkDir dir;
  writeFileBytes("Larkspan.ini", "[API_1]\r\n");
  QFile::setPermissions("Larkspan.ini", QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadUser |
                                            QFileDevice::WriteUser | QFileDevice::ReadGroup);
  LoadSettings("Larkspan.ini");
  PortConfig->SetPB_HTTP_USERNAME("other");
  SaveSettings("Larkspan.ini");
  QCOMPARE(unixMode("Larkspan.ini"), 0640);
}

void TestSettings::awkwardValuesReadBack_data() {
  QTest::addColumn<QString>("value");
  QTest::newRow("outer blanks") << "  pass word  ";
  QTest::newRow("quoted") << "\"quoted\"";
  QTest::newRow("single quoted") << "'x'";
  QTest::newRow("equals and semicolon") << "a=b;c";
  QTest::newRow("accents") << QString::fromUtf8("mötley crüe");
  QTest::newRow("empty") << "";
}

void TestSettings::awkwardValuesReadBack() {
  QFETCH(QString, value);
  TempWorkDir dir;
  LoadSettings("Larkspan.ini");
  PortConfig->SetPB_HTTP_PASSW(value);
  SaveSettings("Larkspan.ini");
  PortConfig->SetPB_HTTP_PASSW("changed");
  LoadSettings("Larkspan.ini");
  QCOMPARE(PortConfig->PB_HTTP_PASSW(), value);
}

void TestSettings::failedSaveLeavesFileAlone() {
  TempWorkDir dir;
  const QByteArray before = "[API_1]\r\nUSERNAME=keep\r\n";
  writeFileBytes("Larkspan.ini", before);
  LoadSettings("Larkspan.ini");
  PortConfig->SetPB_HTTP_USERNAME("lost");
  {
    // A full disk: writes past a few bytes fail, for root too.
    signal(SIGXFSZ, SIG_IGN);
    rlimit old{};
    getrlimit(RLIMIT_FSIZE, &old);
    rlimit small = old;
    small.rlim_cur = 16;
    setrlimit(RLIMIT_FSIZE, &small);
    bool failed = false;
    try {
      SaveSettings("Larkspan.ini");
    } catch (const LarkspanError &e) {
      failed = e.message().startsWith("Cannot write settings file " + dir.filePath("Larkspan.ini"));
    }
    setrlimit(RLIMIT_FSIZE, &old);
    QVERIFY(failed);
  }
  QCOMPARE(readFileBytes("Larkspan.ini"), before);

  if (::geteuid() != 0) {
    QFile::setPermissions(dir.path(), QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    QVERIFY_THROWS_EXCEPTION(LarkspanError, SaveSettings("Larkspan.ini"));
    QFile::setPermissions(dir.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    QCOMPARE(readFileBytes("Larkspan.ini"), before);
  }
  // A directory nobody can write into, root included.
  try {
    SaveSettings("/proc/Larkspan.ini");
    QFAIL("no error");
  } catch (const LarkspanError &e) {
    QVERIFY2(e.message().startsWith("Cannot write settings file /proc/Larkspan.ini"), qPrintable(e.message()));
  }
}

void TestSettings::unreadableFileStopsLoading() {
  TempWorkDir dir;
  // A directory in place of the file exists but cannot be read as one.
  QVERIFY(QDir().mkdir("Larkspan.ini"));
  QVERIFY_THROWS_EXCEPTION(LarkspanError, LoadSettings("Larkspan.ini"));
}

QTEST_GUILESS_MAIN(TestSettings)
#include "test_settings.moc"
