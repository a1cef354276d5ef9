#include "LarkspanError.h"
#include "TempWorkDir.h"
#include "traces.h"

#include <QFileInfo>
#include <QTest>

class TestTraces : public QObject {
  Q_OBJECT
private slots:
  void errorTextBeforeOpen();
  void errorText_data();
  void errorText();
  void catalogueSplitting();
  void commaInsideAnItemIsRefused();
  void logAppendsAcrossOpens();
  void logNameFollowsProgram();
  void unopenableLogIsSilent();
};

void TestTraces::errorTextBeforeOpen() {
  QVERIFY(!traceIsOpen());
  QCOMPARE(ErrorText(375, "x"), QString("Message Err. : 375"));
  QCOMPARE(ErrorText(-5, "x"), QString("Message Err. : -5"));
}

void TestTraces::errorText_data() {
  QTest::addColumn<int>("number");
  QTest::addColumn<QString>("detail");
  QTest::addColumn<QString>("expected");
  QTest::newRow("success is the detail") << 0 << "Test OK" << "Test OK";
  QTest::newRow("375") << 375 << "d" << "Erreur HTTP Token d";
  QTest::newRow("sign ignored") << -364 << "d" << "Err. HTTP d";
  QTest::newRow("detail dropped") << 360 << "anything" << "No HTTP server";
  QTest::newRow("unknown") << 999 << "d" << "Message ??? : 999";
  QTest::newRow("unknown negative") << -999 << "d" << "Message ??? : -999";
  QTest::newRow("lowest int") << int(INT32_MIN) << "d" << "Message ??? : -2147483648";
  QTest::newRow("first %s only") << 367 << "a %s b" << "HTTP Wazo; err. Status POST a %s b";
}

void TestTraces::errorText() {
  QFETCH(int, number);
  QFETCH(QString, detail);
  QFETCH(QString, expected);
  TempWorkDir dir;
  TraceOpen();
  QCOMPARE(ErrorText(number, detail), expected);
  TResExtract res{number, detail};
  QCOMPARE(ResultText(res), expected);
  TraceClose();
}

void TestTraces::catalogueSplitting() {
  QCOMPARE(splitCatalogueItems(" \"1=a\" , \"2=b c\",").size(), 3);
  QCOMPARE(splitCatalogueItems(" \"1=a\" , \"2=b c\",").at(1), QString("2=b c"));
  QCOMPARE(splitCatalogueItems(" \"1=a\" , \"2=b c\",").last(), QString());
  QMap<qint32, QString> map;
  buildMessageMap(QString::fromLatin1(MessageCatalogue), map);
  QCOMPARE(map.size(), 9);
  QCOMPARE(map.value(363), QString("HTTP : err. GET %s"));
  map.clear();
  buildMessageMap("\"x=skip\",\"=none\",\"7=seven=7\",", map);
  QCOMPARE(map.size(), 1);
  QCOMPARE(map.value(7), QString("seven=7"));
}

void TestTraces::commaInsideAnItemIsRefused() {
  QMap<qint32, QString> map;
  try {
    buildMessageMap("\"400=a,b\",", map);
    QFAIL("no error");
  } catch (const LarkspanError &e) {
    QCOMPARE(e.message(), QString::fromUtf8("Attention présence du car \",\" dans le texte suivant: 400=a,b"));
  }
}

void TestTraces::logAppendsAcrossOpens() {
  TempWorkDir dir;
  const QString log = dir.filePath("trace.log");
  traceOpenFile(log);
  TraceLine("first");
  TraceLine("two\nlines");
  TraceClose();
  traceOpenFile(log);
  TraceLine(QString::fromUtf8("Zoé Ærø"));
  TraceClose();
  TraceLine("after close is dropped");
  QCOMPARE(readFileBytes(log), QByteArray("first\r\ntwo\nlines\r\nZo\xC3\xA9 \xC3\x86r\xC3\xB8\r\n"));
  QCOMPARE(unixMode(log), 0600);
}

void TestTraces::logNameFollowsProgram() {
  QCOMPARE(ProgramFileName(".log"), QString("test_traces.log"));
  TempWorkDir dir;
  TraceOpen();
  TraceLine("x");
  TraceClose();
  QVERIFY(QFileInfo::exists(dir.filePath("test_traces.log")));
}

void TestTraces::unopenableLogIsSilent() {
  TempWorkDir dir;
  traceOpenFile(dir.filePath("missing/dir/trace.log"));
  TraceLine("lost");
  QCOMPARE(ErrorText(0, "ok"), QString("ok")); // the catalogue still works
  TraceClose();
}

QTEST_GUILESS_MAIN(TestTraces)
#include "test_traces.moc"
