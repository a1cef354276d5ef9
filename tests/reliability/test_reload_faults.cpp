// Faults of the exchange met by the main window's reload, one request of
// the reload at a time: the program does not crash, the grid keeps its last
// good rows or shows what the reload could read, the settings file is not
// touched, the trace log tells what happened, and the next reload works.
#include "ActivityIndicator.h"
#include "APIWazo.h"
#include "FLarkspan.h"
#include "MainWindowFixture.h"
#include "ReliabilityMain.h"

#include <QElapsedTimer>
#include <QTest>
#include <QToolButton>

#include <algorithm>

namespace {
const QString TokenUrlPath = QStringLiteral("/api/auth/0.1/token");
const QString PermissionsPath = QStringLiteral("/api/confd/1.1/callpermissions");
const QString IncallsPath = QStringLiteral("/api/confd/1.1/incalls");
const QString ExtensionsPath = QStringLiteral("/api/confd/1.1/extensions");
const QString UsersPath = QStringLiteral("/api/confd/1.1/users");

constexpr int UsersAtStart = 30;
constexpr int UsersLater = 20; // what a reload that reads the users list shows
} // namespace

class TestReloadFaults : public QObject {
  Q_OBJECT
private slots:
  void faults_data();
  void faults();
  void tokenWithoutAnswerFailsOnItsOwnTimeOut();
};

void TestReloadFaults::faults_data() {
  QTest::addColumn<QString>("path");
  QTest::addColumn<QString>("fault");
  // "kept": the rows of the last good reload; "refreshed": the new users
  // list, with DIDs; "refreshed, no DID": the new users without DIDs.
  QTest::addColumn<QString>("grid");
  QTest::addColumn<bool>("reported"); // ends in the global error report
  QTest::addColumn<QString>("traced");

  QTest::newRow("token: no answer") << TokenUrlPath << "hang"
                                    << "kept" << false << "(TimeoutError)";
  QTest::newRow("token: connection reset") << TokenUrlPath << "reset"
                                           << "kept" << false << "res: 375";
  QTest::newRow("token: 500 with a reason") << TokenUrlPath << "token500"
                                            << "kept" << false << "E: [\"Internal Server Error\"]";
  QTest::newRow("token: proxy error page")
      << TokenUrlPath << "proxy502"
      << "kept" << true << "Error report: LarkspanError in BtnReloadClick: JSON parse error";
  QTest::newRow("token: HTML page with 200") << TokenUrlPath << "html"
                                             << "kept" << true << "OK\r\nError report: LarkspanError in BtnReloadClick";
  QTest::newRow("token: truncated JSON") << TokenUrlPath << "truncate"
                                         << "kept" << true << "OK\r\nError report: LarkspanError in BtnReloadClick";
  QTest::newRow("token expired before the lists") << UsersPath << "expired"
                                                  << "kept" << false << "/api/confd/1.1/users) :401";

  QTest::newRow("permissions: reset") << PermissionsPath << "reset"
                                      << "refreshed" << false << "/api/confd/1.1/callpermissions:365";
  QTest::newRow("permissions: 500") << PermissionsPath << "status"
                                    << "refreshed" << false << "/api/confd/1.1/callpermissions) :500";
  QTest::newRow("permissions: HTML page with 200") << PermissionsPath << "html"
                                                   << "kept" << true << "<title>502 Bad Gateway</title>";
  QTest::newRow("permissions: truncated JSON") << PermissionsPath << "truncate"
                                               << "kept" << true << "Error report: LarkspanError in BtnReloadClick: ";

  QTest::newRow("incalls: reset") << IncallsPath << "reset"
                                  << "refreshed, no DID" << false << "/api/confd/1.1/incalls:365";
  QTest::newRow("incalls: 500") << IncallsPath << "status"
                                << "refreshed, no DID" << false << "/api/confd/1.1/incalls) :500";
  QTest::newRow("incalls: HTML page with 200") << IncallsPath << "html"
                                               << "kept" << true << "<title>502 Bad Gateway</title>";
  QTest::newRow("incalls: truncated JSON") << IncallsPath << "truncate"
                                           << "kept" << true << "Error report: LarkspanError in BtnReloadClick: ";

  QTest::newRow("extensions: reset") << ExtensionsPath << "reset"
                                     << "refreshed" << false << "/api/confd/1.1/extensions:365";
  QTest::newRow("extensions: 500") << ExtensionsPath << "status"
                                   << "refreshed" << false << "/api/confd/1.1/extensions) :500";
  QTest::newRow("extensions: HTML page with 200") << ExtensionsPath << "html"
                                                  << "kept" << true << "<title>502 Bad Gateway</title>";
  QTest::newRow("extensions: truncated JSON") << ExtensionsPath << "truncate"
                                              << "kept" << true << "Error report: LarkspanError in BtnReloadClick: ";

  QTest::newRow("users: reset") << UsersPath << "reset"
                                << "kept" << false << "/api/confd/1.1/users:365";
  QTest::newRow("users: 500") << UsersPath << "status"
                              << "kept" << false << "/api/confd/1.1/users) :500";
  QTest::newRow("users: HTML page with 200") << UsersPath << "html"
                                             << "kept" << true << "<title>502 Bad Gateway</title>";
  QTest::newRow("users: truncated JSON") << UsersPath << "truncate"
                                         << "kept" << true << "Error report: LarkspanError in BtnReloadClick: ";
  // Only the token has the short time-out: a slow list is waited for.
  QTest::newRow("users: slow answer") << UsersPath << "delay"
                                      << "refreshed" << false << "/api/confd/1.1/users) :200";
}

void TestReloadFaults::faults() {
  QFETCH(QString, path);
  QFETCH(QString, fault);
  QFETCH(QString, grid);
  QFETCH(bool, reported);
  QFETCH(QString, traced);

  MainWindowFixture f;
  QVERIFY(f.startFakeWithUsers(UsersAtStart));
  f.writeSettingsForFake();
  TFMainLarkspan *w = f.createWindows();
  ReportWatch watch;
  QVERIFY(f.showAndWait());
  QCOMPARE(w->StringGrid->RowCount(), UsersAtStart);
  const QStringList goodRows = gridColumnTexts(*w, QStringLiteral("uuid"));
  const qsizetype permissionsBefore = PermMap->size();
  QVERIFY(permissionsBefore > 0);
  QVERIFY(!DidMap->isEmpty());
  const QByteArray settings = fileSnapshot(f.settingsFile());
  const qint64 traceStart = fileSize(f.traceFile());

  QVERIFY(f.fake.loadUsers(UsersLater));
  QVERIFY2(applyFault(f.fake, fault, path), qPrintable(f.fake.errorString()));
  QVERIFY(f.reloadAndWait());

  // The window is back to rest, whatever the fault.
  QVERIFY(w->ActivityCircle->isHidden());
  QVERIFY(!w->isBusy());
  QVERIFY(w->BtnReload->isEnabled());
  QCOMPARE(watch.reports.size(), reported ? 1 : 0);
  if (reported) {
    QCOMPARE(watch.reports.first().where, QStringLiteral("BtnReloadClick"));
    QCOMPARE(watch.dialogTexts.size(), 1); // the report dialog was shown, and answered
  }
  if (grid == QLatin1String("kept")) {
    QCOMPARE(gridColumnTexts(*w, QStringLiteral("uuid")), goodRows);
    QCOMPARE(UserTable->rowCount(), UsersAtStart);
  } else {
    QCOMPARE(w->StringGrid->RowCount(), UsersLater);
    const QStringList dids = gridColumnTexts(*w, QStringLiteral("did"));
    const bool anyDid = std::any_of(dids.cbegin(), dids.cend(), [](const QString &d) { return !d.isEmpty(); });
    QCOMPARE(anyDid, grid == QLatin1String("refreshed"));
  }
  // A failed permissions list keeps the permissions last read.
  if (path == PermissionsPath)
    QCOMPARE(PermMap->size(), permissionsBefore);
  const QString trace = textAfter(f.traceFile(), traceStart);
  QVERIFY2(trace.contains(traced), qPrintable(trace.left(4000)));
  QCOMPARE(fileSnapshot(f.settingsFile()), settings);

  // The next reload, with the exchange mended, reads everything.
  QVERIFY(f.fake.clearFaults());
  QVERIFY(f.reloadAndWait());
  QCOMPARE(w->StringGrid->RowCount(), UsersLater);
  QCOMPARE(watch.reports.size(), reported ? 1 : 0);
  QCOMPARE(fileSnapshot(f.settingsFile()), settings);
}

// The token request gives up after its own one-second limit, not after the
// 60 seconds the list requests wait: the trace line names the limit.
void TestReloadFaults::tokenWithoutAnswerFailsOnItsOwnTimeOut() {
  MainWindowFixture f;
  QVERIFY(f.startFakeWithUsers(UsersAtStart));
  f.writeSettingsForFake();
  QVERIFY(f.fake.hang(TokenUrlPath));
  TFMainLarkspan *w = f.createWindows();
  QElapsedTimer clock;
  clock.start();
  QVERIFY(f.showAndWait());
  qInfo("reload with an unanswered token request ended after %lld ms", clock.elapsed());
  const QStringList lines = f.traceText().split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
  QCOMPARE(lines.size(), 1); // the token's one line, no list requested
  QVERIFY2(lines.first().startsWith(QStringLiteral("E:No answer within 1000 ms(TimeoutError), (") + f.fake.baseUrl() +
                                    TokenUrlPath + QStringLiteral("), res: 375")),
           qPrintable(lines.first()));
  QCOMPARE(w->StringGrid->RowCount(), 0);
  QVERIFY(w->BtnReload->isEnabled());
}

RELIABILITY_TEST_MAIN(TestReloadFaults)
#include "test_reload_faults.moc"
