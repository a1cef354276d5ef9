// Big and odd users lists on the reload and on the connection test: a
// 50 MB body, 20,000 users, nulls where lists are expected, numbers where
// objects are expected, nesting deeper than the JSON reader takes.
#include "APIWazo.h"
#include "FConfig.h"
#include "FLarkspan.h"
#include "MainWindowFixture.h"
#include "ModalDriver.h"
#include "ReliabilityMain.h"

#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QToolButton>

namespace {
const QString UsersPath = QStringLiteral("/api/confd/1.1/users");
constexpr int UsersAtStart = 30;
constexpr int UsersLater = 20;
constexpr int ManyUsers = 20000;
constexpr qint64 FiftyMegabytes = 50LL * 1024 * 1024;
} // namespace

class TestBigBodies : public QObject {
  Q_OBJECT
private slots:
  void fiftyMegabyteUsersBody();
  void oddUsersBodies_data();
  void oddUsersBodies();
  void connectionTestWithBigBodies_data();
  void connectionTestWithBigBodies();
};

// A users body padded to 50 MB by a member the program does not read: the
// users are shown, the body goes to the trace log whole.
void TestBigBodies::fiftyMegabyteUsersBody() {
  MainWindowFixture f;
  QVERIFY(f.startFakeWithUsers(UsersAtStart));
  f.writeSettingsForFake();
  TFMainLarkspan *w = f.createWindows();
  ReportWatch watch;
  QVERIFY(f.showAndWait());
  const QByteArray settings = fileSnapshot(f.settingsFile());
  const qint64 traceStart = fileSize(f.traceFile());

  QVERIFY(f.fake.loadUsers(UsersLater));
  QVERIFY(f.fake.hugeBody(UsersPath, FiftyMegabytes));
  QVERIFY(f.reloadAndWait());
  QCOMPARE(w->StringGrid->RowCount(), UsersLater);
  QVERIFY(watch.reports.isEmpty());
  QVERIFY(fileSize(f.traceFile()) - traceStart > FiftyMegabytes);
  QCOMPARE(fileSnapshot(f.settingsFile()), settings);

  QVERIFY(f.fake.clearFaults());
  QVERIFY(f.fake.loadUsers(UsersAtStart));
  QVERIFY(f.reloadAndWait());
  QCOMPARE(w->StringGrid->RowCount(), UsersAtStart);
}

void TestBigBodies::oddUsersBodies_data() {
  QTest::addColumn<int>("oddity");
  QTest::addColumn<int>("at");
  QTest::addColumn<int>("depth");
  QTest::addColumn<int>("rows");       // -1: the rows of the last good reload
  QTest::addColumn<QString>("traced"); // the load's own trace line; empty: none
  QTest::addColumn<bool>("reported");

  const auto odd = [](UsersOddity o) { return int(o); };
  QTest::newRow("20,000 users") << odd(UsersOddity::None) << 0 << 0 << ManyUsers << "" << false;
  QTest::newRow("members nested 500 deep") << odd(UsersOddity::DeepMembers) << 0 << 500 << ManyUsers << "" << false;
  QTest::newRow("nesting beyond the JSON reader") << odd(UsersOddity::DeepMembers) << 0 << 5000 << -1 << "" << true;
  QTest::newRow("null lines at user 12,001") << odd(UsersOddity::NullLines) << 12000 << 0 << 12001
                                             << "Erreur lecture users lecture: extensions , N°:" << false;
  QTest::newRow("null permissions at user 12,001") << odd(UsersOddity::NullPermissions) << 12000 << 0 << 12001
                                                   << "Erreur lecture users lecture: call_permissions , N°:" << false;
  QTest::newRow("number as a line at user 12,001") << odd(UsersOddity::NumberLine) << 12000 << 0 << 12001
                                                   << "Erreur lecture users lecture: extensions , N°:" << false;
  QTest::newRow("object as a first name at user 12,001") << odd(UsersOddity::ObjectName) << 12000 << 0 << 12001
                                                         << "Erreur lecture users lecture: firstname , N°:" << false;
  QTest::newRow("number as user 12,001") << odd(UsersOddity::NumberItem) << 12000 << 0 << 12000
                                         << "Erreur lecture users lecture: uuid , N°:" << false;
  QTest::newRow("number as the first user") << odd(UsersOddity::NumberItem) << 0 << 0 << 0 << "" << false;
  QTest::newRow("items null") << odd(UsersOddity::NullItems) << 0 << 0 << 0 << "" << false;
  QTest::newRow("items a number") << odd(UsersOddity::NumberItems) << 0 << 0 << 0 << "" << false;
  QTest::newRow("array at the top") << odd(UsersOddity::TopLevelArray) << 0 << 0 << -1 << "" << true;
}

void TestBigBodies::oddUsersBodies() {
  QFETCH(int, oddity);
  QFETCH(int, at);
  QFETCH(int, depth);
  QFETCH(int, rows);
  QFETCH(QString, traced);
  QFETCH(bool, reported);

  MainWindowFixture f;
  QVERIFY(f.startFakeWithUsers(UsersAtStart));
  f.writeSettingsForFake();
  TFMainLarkspan *w = f.createWindows();
  ReportWatch watch;
  QVERIFY(f.showAndWait());
  const QStringList goodRows = gridColumnTexts(*w, QStringLiteral("uuid"));
  const QByteArray settings = fileSnapshot(f.settingsFile());
  const qint64 traceStart = fileSize(f.traceFile());

  const QByteArray body = usersBody(ManyUsers, UsersOddity(oddity), at, depth);
  QVERIFY(f.fake.respond(UsersPath, 200, "application/json; charset=utf-8", body, QString(), 1));
  QVERIFY(f.reloadAndWait());

  QCOMPARE(watch.reports.size(), reported ? 1 : 0);
  if (rows < 0) {
    QCOMPARE(gridColumnTexts(*w, QStringLiteral("uuid")), goodRows);
  } else {
    QCOMPARE(UserTable->rowCount(), rows);
    QCOMPARE(w->StringGrid->RowCount(), rows);
  }
  if (rows > 0 && oddity != int(UsersOddity::NumberItem) && oddity != int(UsersOddity::None) &&
      oddity != int(UsersOddity::DeepMembers)) {
    // The user where reading stopped keeps the fields read before it.
    const QStringList firstNames = gridColumnTexts(*w, QStringLiteral("firstname"));
    const QString stopped = QStringLiteral("First%1").arg(at + 1);
    QCOMPARE(firstNames.contains(stopped), oddity != int(UsersOddity::ObjectName));
  }
  const QString trace = textAfter(f.traceFile(), traceStart);
  if (traced.isEmpty())
    QVERIFY(!trace.contains(QStringLiteral("Erreur lecture users")));
  else
    QVERIFY2(trace.contains(traced), qPrintable(trace.right(2000)));
  QCOMPARE(fileSnapshot(f.settingsFile()), settings);

  // The next reload reads the exchange's own list again.
  QVERIFY(f.reloadAndWait());
  QCOMPARE(w->StringGrid->RowCount(), UsersAtStart);
  QCOMPARE(watch.reports.size(), reported ? 1 : 0);
}

void TestBigBodies::connectionTestWithBigBodies_data() {
  QTest::addColumn<QString>("body");
  // One unbroken run of 50 MB: laid out by words, it held the dialog for
  // longer than the test's five minutes.
  QTest::newRow("50 MB users body") << "huge";
  QTest::newRow("20,000 users") << "many";
}

// The connection test shows each list's body in its memo, whatever its size,
// and the program goes on.
void TestBigBodies::connectionTestWithBigBodies() {
  QFETCH(QString, body);
  MainWindowFixture f;
  QVERIFY(f.startFakeWithUsers(UsersAtStart));
  f.writeSettingsForFake();
  TFMainLarkspan *w = f.createWindows();
  ReportWatch watch;
  QVERIFY(f.showAndWait());
  const QByteArray settings = fileSnapshot(f.settingsFile());
  if (body == QLatin1String("huge"))
    QVERIFY(f.fake.hugeBody(UsersPath, FiftyMegabytes));
  else
    QVERIFY(f.fake.respond(UsersPath, 200, "application/json", usersBody(ManyUsers)));

  MessageAnswerer messages;
  qsizetype memoLength = 0;
  ModalDriver driver;
  driver.nextOf<TFormConfig>([&](TFormConfig *dialog) {
    QTest::mouseClick(dialog->BtnStart, Qt::LeftButton);
    memoLength = dialog->Memo1->toPlainText().size();
    dialog->close();
  });
  QTest::mouseClick(w->BtnConfig, Qt::LeftButton);
  QCOMPARE(driver.fired(), 1);
  QCOMPARE(messages.seen.size(), 1);
  QCOMPARE(messages.seen.first().text, QStringLiteral("Test OK"));
  QVERIFY(memoLength > (body == QLatin1String("huge") ? FiftyMegabytes : qint64(ManyUsers) * 100));
  QVERIFY(watch.reports.isEmpty());
  QCOMPARE(fileSnapshot(f.settingsFile()), settings);
  QVERIFY(!w->isBusy());

  QVERIFY(f.fake.clearFaults());
  QVERIFY(f.reloadAndWait());
  QCOMPARE(w->StringGrid->RowCount(), UsersAtStart);
}

RELIABILITY_TEST_MAIN(TestBigBodies)
#include "test_big_bodies.moc"
