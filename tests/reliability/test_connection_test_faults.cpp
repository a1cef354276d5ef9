// Faults of the exchange met by the configuration dialog's connection test,
// opened from the main window: the test ends with its message (or, for a
// body that is not JSON where JSON is read, in the error report), the
// controls come back, nothing is saved, the trace log tells what happened,
// and a second test in the same dialog works.
#include "APIWazo.h"
#include "FConfig.h"
#include "FLarkspan.h"
#include "MainWindowFixture.h"
#include "ModalDriver.h"
#include "ReliabilityMain.h"

#include <QFrame>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>

namespace {
const QString TokenUrlPath = QStringLiteral("/api/auth/0.1/token");
const QString PermissionsPath = QStringLiteral("/api/confd/1.1/callpermissions");
const QString LinesPath = QStringLiteral("/api/confd/1.1/lines");
const QString DevicesPath = QStringLiteral("/api/confd/1.1/devices/unallocated");
const QString UsersPath = QStringLiteral("/api/confd/1.1/users");
} // namespace

class TestConnectionTestFaults : public QObject {
  Q_OBJECT
private slots:
  void faults_data();
  void faults();
};

void TestConnectionTestFaults::faults_data() {
  QTest::addColumn<QString>("path");
  QTest::addColumn<QString>("fault");
  QTest::addColumn<QString>("message"); // start of the "Test results" text; empty: the report instead
  QTest::addColumn<QString>("memo");    // found in the memo and in the trace log
  QTest::addColumn<int>("lists");       // list requests sent

  QTest::newRow("token: no answer") << TokenUrlPath << "hang"
                                    << "Erreur HTTP Token E:No answer within 1000 ms"
                                    << "(TimeoutError)" << 0;
  QTest::newRow("token: connection reset") << TokenUrlPath << "reset"
                                           << "Erreur HTTP Token E:"
                                           << "res: 375" << 0;
  QTest::newRow("token: 500 with a reason") << TokenUrlPath << "token500"
                                            << "HTTP Wazo; err. Status POST E: [\"Internal Server Error\"]"
                                            << "E: [\"Internal Server Error\"]" << 0;
  QTest::newRow("token: proxy error page") << TokenUrlPath << "proxy502"
                                           << ""
                                           << "" << 0;
  QTest::newRow("token: HTML page with 200") << TokenUrlPath << "html"
                                             << ""
                                             << "" << 0;
  QTest::newRow("token: truncated JSON") << TokenUrlPath << "truncate"
                                         << ""
                                         << "" << 0;
  QTest::newRow("token expired before the lists") << UsersPath << "expired"
                                                  << "HTTP : err. GET "
                                                  << "/api/confd/1.1/users) :401" << 4;

  QTest::newRow("permissions: reset") << PermissionsPath << "reset"
                                      << "Test OK"
                                      << "/api/confd/1.1/callpermissions:365" << 4;
  QTest::newRow("permissions: 500") << PermissionsPath << "status"
                                    << "Test OK"
                                    << "/api/confd/1.1/callpermissions) :500" << 4;
  QTest::newRow("permissions: HTML page with 200") << PermissionsPath << "html"
                                                   << ""
                                                   << "502 Bad Gateway" << 1;
  QTest::newRow("permissions: truncated JSON") << PermissionsPath << "truncate"
                                               << ""
                                               << "\"items\"" << 1;
  QTest::newRow("lines: reset") << LinesPath << "reset"
                                << "Test OK"
                                << "/api/confd/1.1/lines:365" << 4;
  QTest::newRow("lines: HTML page with 200") << LinesPath << "html"
                                             << "Test OK"
                                             << "502 Bad Gateway" << 4;
  QTest::newRow("devices: 500") << DevicesPath << "status"
                                << "Test OK"
                                << "/api/confd/1.1/devices/unallocated) :500" << 4;
  QTest::newRow("devices: truncated JSON") << DevicesPath << "truncate"
                                           << "Test OK"
                                           << "\"items\"" << 4;
  QTest::newRow("users: reset") << UsersPath << "reset"
                                << "Err. SslContext HTTP Err GET : "
                                << "/api/confd/1.1/users:365" << 4;
  QTest::newRow("users: 500") << UsersPath << "status"
                              << "HTTP : err. GET "
                              << "/api/confd/1.1/users) :500" << 4;
  QTest::newRow("users: HTML page with 200") << UsersPath << "html"
                                             << "Test OK"
                                             << "502 Bad Gateway" << 4;
  QTest::newRow("users: truncated JSON") << UsersPath << "truncate"
                                         << "Test OK"
                                         << "\"items\"" << 4;
}

void TestConnectionTestFaults::faults() {
  QFETCH(QString, path);
  QFETCH(QString, fault);
  QFETCH(QString, message);
  QFETCH(QString, memo);
  QFETCH(int, lists);

  MainWindowFixture f;
  QVERIFY(f.startFakeWithUsers(30));
  f.writeSettingsForFake();
  TFMainLarkspan *w = f.createWindows();
  ReportWatch watch;
  QVERIFY(f.showAndWait());
  const QStringList rows = gridColumnTexts(*w, QStringLiteral("uuid"));
  const QStringList permissions = PermMap->keys();
  const QByteArray settings = fileSnapshot(f.settingsFile());
  const qint64 traceStart = fileSize(f.traceFile());
  QVERIFY(f.fake.clearRequests());
  QVERIFY2(applyFault(f.fake, fault, path), qPrintable(f.fake.errorString()));

  MessageAnswerer messages;
  QString memoText;
  bool controlsBack = false;
  QList<MessageAnswerer::Seen> second;
  ModalDriver driver;
  driver.nextOf<TFormConfig>([&](TFormConfig *dialog) {
    QTest::mouseClick(dialog->BtnStart, Qt::LeftButton);
    memoText = dialog->Memo1->toPlainText();
    controlsBack = dialog->BtnStart->isEnabled() && dialog->PanelCrit->isEnabled();
    // A second test in the same dialog, with the exchange mended.
    QVERIFY(f.fake.clearFaults());
    const qsizetype before = messages.seen.size();
    QTest::mouseClick(dialog->BtnStart, Qt::LeftButton);
    second = messages.seen.mid(before);
    dialog->close();
  });
  QSignalSpy reloads(w, &TFMainLarkspan::reloadFinished);
  QTest::mouseClick(w->BtnConfig, Qt::LeftButton);
  QCOMPARE(driver.fired(), 1);
  QVERIFY(controlsBack);

  int listRequests = 0;
  for (const FakeRequest &r : f.fake.requests("GET"))
    listRequests += r.path.startsWith("/api/confd/") ? 1 : 0;
  // The second test asked for all four. Qt's HTTP client sends a GET once
  // more on a fresh connection when the connection dropped before any
  // answer; nothing else is sent twice.
  if (fault == QLatin1String("reset") && lists > 0)
    QVERIFY(listRequests > lists + 4);
  else
    QCOMPARE(listRequests, lists + 4);

  if (message.isEmpty()) {
    // The body that is not JSON ended the first test in the report.
    QCOMPARE(watch.reports.size(), 1);
    QCOMPARE(watch.reports.first().where, QStringLiteral("BtnStartClick"));
    QVERIFY(watch.reports.first().message.contains(QStringLiteral("JSON")));
    QCOMPARE(messages.seen.size(), 1);      // only the second test's message
    QCOMPARE(PermMap->keys(), permissions); // not touched
    QVERIFY(
        textAfter(f.traceFile(), traceStart).contains(QStringLiteral("Error report: LarkspanError in BtnStartClick")));
  } else {
    QVERIFY(watch.reports.isEmpty());
    QCOMPARE(messages.seen.size(), 2);
    QCOMPARE(messages.seen.first().title, QStringLiteral("Test results"));
    QVERIFY2(messages.seen.first().text.startsWith(message), qPrintable(messages.seen.first().text));
  }
  if (!memo.isEmpty()) {
    QVERIFY2(memoText.contains(memo), qPrintable(memoText.left(4000)));
    QVERIFY(textAfter(f.traceFile(), traceStart).contains(memo));
  }
  QCOMPARE(second.size(), 1);
  QCOMPARE(second.first().text, QStringLiteral("Test OK"));

  // Nothing changed: no reload, nothing saved, the grid as it was.
  QCOMPARE(reloads.count(), 0);
  QCOMPARE(fileSnapshot(f.settingsFile()), settings);
  QCOMPARE(gridColumnTexts(*w, QStringLiteral("uuid")), rows);
  QVERIFY(!w->isBusy());
  QVERIFY(f.reloadAndWait());
  QCOMPARE(w->StringGrid->RowCount(), 30);
}

RELIABILITY_TEST_MAIN(TestConnectionTestFaults)
#include "test_connection_test_faults.moc"
