// Faults of the exchange met by a user update, from a click on a grid row
// through the user dialog to UpdateUser and the reload that follows: no
// crash, no message, the grid shows what the exchange holds afterwards (or
// keeps its rows when the reload fails too), the settings file is not
// touched, the trace log tells what happened, and the next update works.
#include "APIWazo.h"
#include "FLarkspan.h"
#include "FUser.h"
#include "MainWindowFixture.h"
#include "ModalDriver.h"
#include "ReliabilityMain.h"

#include <QComboBox>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <functional>

namespace {
QString datasetPath() {
  return qEnvironmentVariable("LARKSPAN_SOURCE_DIR") + QStringLiteral("/tests/reliability/exchange-dataset.json");
}

const QString TokenUrlPath = QStringLiteral("/api/auth/0.1/token");
const QString OldEmail = QStringLiteral("alice.martin@example.com");
const QString NewEmail = QStringLiteral("alice@new.example");

// Every change the dialog can send, in the order UpdateUser sends them.
const QStringList AllChanges{
    QStringLiteral("PUT /api/confd/1.1/users/12"), QStringLiteral("DELETE /api/confd/1.1/users/12/callpermissions/2"),
    QStringLiteral("PUT /api/confd/1.1/users/12/callpermissions/3"), QStringLiteral("PUT /api/confd/1.1/incalls/1"),
    QStringLiteral("PUT /api/confd/1.1/incalls/2")};

QPoint cellCentre(const TFMainLarkspan &w, int row, const QString &field) {
  const int c = w.StringGrid->columnIndex(w.StringGrid->columnByName(field, Qt::CaseSensitive));
  return w.StringGrid->visualRect(w.StringGrid->model()->index(row, c)).center();
}

int rowOf(const TFMainLarkspan &w, const QString &firstname) {
  return int(gridColumnTexts(w, QStringLiteral("firstname")).indexOf(firstname));
}

QString cellOf(const TFMainLarkspan &w, const QString &firstname, const QString &field) {
  const int row = rowOf(w, firstname);
  return row < 0 ? QStringLiteral("<no row>") : gridColumnTexts(w, field).value(row);
}

// The writes the fake received, as "METHOD path".
QStringList writes(const FakeExchange &fake) {
  QStringList lines;
  for (const FakeRequest &r : fake.requests())
    if (r.method == "PUT" || r.method == "DELETE")
      lines << QString::fromLatin1(r.method + ' ' + r.path);
  return lines;
}

// Clicks Alice's row and, in the dialog, makes the edits; `beforeClose`
// runs just before the dialog closes (the update starts then).
bool editAlice(MainWindowFixture &f, const std::function<void(TFFormUser *)> &edit,
               const std::function<void()> &beforeClose = {}) {
  TFMainLarkspan *w = f.window();
  const int row = rowOf(*w, QStringLiteral("Alice"));
  if (row < 0)
    return false;
  ModalDriver driver;
  driver.nextOf<TFFormUser>([&](TFFormUser *dialog) {
    edit(dialog);
    if (beforeClose)
      beforeClose();
    dialog->close();
  });
  QTest::mouseClick(w->StringGrid->viewport(), Qt::LeftButton, Qt::NoModifier,
                    cellCentre(*w, row, QStringLiteral("email")));
  return driver.fired() == 1;
}

void setText(QLineEdit *edit, const QString &text) {
  edit->setFocus();
  edit->selectAll();
  QTest::keyClicks(edit, text);
}

void changeEverything(TFFormUser *dialog) {
  setText(dialog->EdLastName, QStringLiteral("Martin-Durand"));
  setText(dialog->EdEmail, NewEmail);
  dialog->CBBPermission->setCurrentIndex(dialog->CBBPermission->findText(QStringLiteral("National")));
  dialog->CBBDid->setCurrentIndex(dialog->CBBDid->findText(QStringLiteral("0123456790")));
}
} // namespace

class TestUpdateFaults : public QObject {
  Q_OBJECT
private slots:
  void faults_data();
  void faults();
};

void TestUpdateFaults::faults_data() {
  QTest::addColumn<QString>("path");
  QTest::addColumn<QString>("method");
  QTest::addColumn<QString>("fault");
  QTest::addColumn<bool>("sent");     // all changes went out (and a reload followed)
  QTest::addColumn<QString>("email"); // Alice's e-mail in the grid afterwards
  QTest::addColumn<QString>("traced");

  QTest::newRow("token: no answer") << TokenUrlPath << ""
                                    << "hang" << false << OldEmail << "(TimeoutError)";
  QTest::newRow("token: 500 with a reason") << TokenUrlPath << ""
                                            << "token500" << false << OldEmail << "E: [\"Internal Server Error\"]";
  QTest::newRow("token: HTML page with 200")
      << TokenUrlPath << ""
      << "html" << false << OldEmail << "Erreur Modif user:  , N°:JSON parse error";
  QTest::newRow("user: 500") << "/api/confd/1.1/users/12"
                             << "PUT"
                             << "status" << true << OldEmail << "/api/confd/1.1/users/12) :500";
  QTest::newRow("user: connection reset") << "/api/confd/1.1/users/12"
                                          << "PUT"
                                          << "reset" << true << OldEmail << "/api/confd/1.1/users/12): 365";
  QTest::newRow("permission removal: 500") << "/api/confd/1.1/users/12/callpermissions/2"
                                           << "DELETE"
                                           << "status" << true << NewEmail << "/callpermissions/2) :500";
  QTest::newRow("incall release: HTML page with 200") << "/api/confd/1.1/incalls/1"
                                                      << "PUT"
                                                      << "html" << true << NewEmail << "/api/confd/1.1/incalls/1) :200";
  // The token expires once the user record is written: the other changes
  // and the reload's lists are refused; the grid keeps what it showed.
  QTest::newRow("token expires during the update")
      << "/api/confd/1.1/users/12"
      << "PUT"
      << "expire-after" << true << OldEmail << "/api/confd/1.1/incalls/2) :401";
}

void TestUpdateFaults::faults() {
  QFETCH(QString, path);
  QFETCH(QString, method);
  QFETCH(QString, fault);
  QFETCH(bool, sent);
  QFETCH(QString, email);
  QFETCH(QString, traced);

  MainWindowFixture f;
  QVERIFY(f.startFake(datasetPath()));
  f.writeSettingsForFake();
  TFMainLarkspan *w = f.createWindows();
  ReportWatch watch;
  MessageAnswerer messages;
  QVERIFY(f.showAndWait());
  QCOMPARE(cellOf(*w, QStringLiteral("Alice"), QStringLiteral("email")), OldEmail);
  const QByteArray settings = fileSnapshot(f.settingsFile());
  const qint64 traceStart = fileSize(f.traceFile());
  QVERIFY(f.fake.clearRequests());

  // Flips the exchange's tokens to expired as soon as the user record has
  // been written; runs while the update waits and traces.
  QTimer probe;
  probe.setInterval(0);
  bool expired = false;
  connect(&probe, &QTimer::timeout, &probe, [&] {
    if (!expired && f.fake.requests("PUT", path.toLatin1()).size() == 1) {
      expired = true;
      f.fake.expireTokens(true);
    }
  });
  if (fault != QLatin1String("expire-after")) {
    if (method.isEmpty())
      QVERIFY(applyFault(f.fake, fault, path));
    else if (fault == QLatin1String("status"))
      QVERIFY(f.fake.failWith(path, 500, method));
    else if (fault == QLatin1String("reset"))
      QVERIFY(f.fake.resetConnection(path, method));
    else if (fault == QLatin1String("html"))
      QVERIFY(f.fake.htmlPage(path, method));
  }

  QSignalSpy reloads(w, &TFMainLarkspan::reloadFinished);
  QVERIFY(editAlice(f, changeEverything, [&] {
    if (fault == QLatin1String("expire-after"))
      probe.start();
  }));
  probe.stop();
  if (fault == QLatin1String("expire-after"))
    QVERIFY(expired);

  QStringList written = writes(f.fake);
  // Qt's HTTP client sends a PUT or DELETE again, on a fresh connection,
  // when the connection dropped before any answer (both are idempotent);
  // nothing else is ever sent twice.
  if (fault == QLatin1String("reset"))
    written.removeDuplicates();
  QCOMPARE(written, sent ? AllChanges : QStringList());
  // The login and password go to the token service only.
  for (const FakeRequest &r : f.fake.requests())
    QVERIFY2(r.path == TokenUrlPath.toLatin1() || !r.hasHeader("Authorization"), r.path.constData());
  QCOMPARE(reloads.count(), sent ? 1 : 0);
  QCOMPARE(cellOf(*w, QStringLiteral("Alice"), QStringLiteral("email")), email);
  const QString trace = textAfter(f.traceFile(), traceStart);
  QVERIFY2(trace.contains(traced), qPrintable(trace.left(4000)));
  // The update tells nobody: no message, no report.
  QVERIFY(messages.seen.isEmpty());
  QVERIFY(watch.reports.isEmpty());
  QCOMPARE(fileSnapshot(f.settingsFile()), settings);
  QVERIFY(!w->isBusy());

  // The exchange mended, the next update goes through and shows.
  QVERIFY(f.fake.clearFaults());
  QVERIFY(f.reloadAndWait());
  QVERIFY(f.fake.clearRequests());
  const QString third = QStringLiteral("alice@third.example");
  QVERIFY(editAlice(f, [&](TFFormUser *dialog) { setText(dialog->EdEmail, third); }));
  QCOMPARE(writes(f.fake), QStringList{QStringLiteral("PUT /api/confd/1.1/users/12")});
  QCOMPARE(cellOf(*w, QStringLiteral("Alice"), QStringLiteral("email")), third);
  QVERIFY(watch.reports.isEmpty());
  QCOMPARE(fileSnapshot(f.settingsFile()), settings);
}

RELIABILITY_TEST_MAIN(TestUpdateFaults)
#include "test_update_faults.moc"
