// Closing the main window while a long operation runs (reload, connection
// test, user update, export), at every point where the operation lets input
// through: the close waits, the operation runs to its end with everything it
// uses still there, then the window closes and releases. Under the
// sanitizer build a use after release would end the test.
#include "APIWazo.h"
#include "FConfig.h"
#include "FLarkspan.h"
#include "FUser.h"
#include "MainWindowFixture.h"
#include "ModalDriver.h"
#include "OPortDesc.h"
#include "ReliabilityMain.h"
#include "SaveDialog.h"
#include "traces.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <functional>

namespace {
QString datasetPath() {
  return qEnvironmentVariable("LARKSPAN_SOURCE_DIR") + QStringLiteral("/tests/reliability/exchange-dataset.json");
}

const QString TokenUrlPath = QStringLiteral("/api/auth/0.1/token");

QPoint cellCentre(const TFMainLarkspan &w, int row, const QString &field) {
  const int c = w.StringGrid->columnIndex(w.StringGrid->columnByName(field, Qt::CaseSensitive));
  return w.StringGrid->visualRect(w.StringGrid->model()->index(row, c)).center();
}

bool everythingThere() {
  return UserTable && PortConfig && PermMap && DidMap && ExtMap && traceIsOpen();
}
} // namespace

class TestCloseDuring : public QObject {
  Q_OBJECT
private slots:
  void init();
  void cleanup();
  void closeDuring_data();
  void closeDuring();
  void configDialogClosedDuringItsTest();

private:
  // Closes the main window once, and notes what was still there.
  void closeNow();
  // Closes the main window as soon as the fake has received `method path`.
  void closeWhenReceived(const QString &method, const QString &path);

  std::unique_ptr<MainWindowFixture> f;
  TFMainLarkspan *w = nullptr;
  QTimer probe;
  bool closeTried = false;
  bool refused = false;
  bool thereAtClose = false;
};

void TestCloseDuring::init() {
  // A failed init is not followed by cleanup: the last row's fixture (and
  // the working directory it returns to) goes before the new one comes.
  f.reset();
  f = std::make_unique<MainWindowFixture>();
  QVERIFY(f->startFake(datasetPath()));
  f->writeSettingsForFake();
  w = f->createWindows();
  QVERIFY(f->showAndWait());
  QCOMPARE(w->StringGrid->RowCount(), 3);
  QVERIFY(f->fake.clearRequests());
  closeTried = refused = thereAtClose = false;
  probe.setInterval(0);
}

void TestCloseDuring::cleanup() {
  probe.stop();
  probe.disconnect();
  TSaveDialog::setAsker({});
  f.reset();
  w = nullptr;
}

void TestCloseDuring::closeNow() {
  if (closeTried)
    return;
  closeTried = true;
  thereAtClose = everythingThere();
  refused = !w->close();
}

void TestCloseDuring::closeWhenReceived(const QString &method, const QString &path) {
  connect(&probe, &QTimer::timeout, this, [this, method, path] {
    if (!closeTried && !f->fake.requests(method.toLatin1(), path.toLatin1()).isEmpty())
      closeNow();
  });
}

void TestCloseDuring::closeDuring_data() {
  QTest::addColumn<QString>("operation");
  QTest::addColumn<QString>("method"); // the request during which the window is closed...
  QTest::addColumn<QString>("path");   // ...or "dialog", "asker", "message", "report"

  QTest::newRow("reload, token") << "reload"
                                 << "POST" << TokenUrlPath;
  QTest::newRow("reload, permissions") << "reload"
                                       << "GET"
                                       << "/api/confd/1.1/callpermissions";
  QTest::newRow("reload, incalls") << "reload"
                                   << "GET"
                                   << "/api/confd/1.1/incalls";
  QTest::newRow("reload, extensions") << "reload"
                                      << "GET"
                                      << "/api/confd/1.1/extensions";
  QTest::newRow("reload, users") << "reload"
                                 << "GET"
                                 << "/api/confd/1.1/users";
  QTest::newRow("reload, its error report") << "reload"
                                            << ""
                                            << "report";
  QTest::newRow("connection test, token") << "test"
                                          << "POST" << TokenUrlPath;
  QTest::newRow("connection test, permissions") << "test"
                                                << "GET"
                                                << "/api/confd/1.1/callpermissions";
  QTest::newRow("connection test, lines") << "test"
                                          << "GET"
                                          << "/api/confd/1.1/lines";
  QTest::newRow("connection test, users") << "test"
                                          << "GET"
                                          << "/api/confd/1.1/users";
  QTest::newRow("connection test, its message") << "test"
                                                << ""
                                                << "message";
  QTest::newRow("update, dialog open") << "update"
                                       << ""
                                       << "dialog";
  QTest::newRow("update, token") << "update"
                                 << "POST" << TokenUrlPath;
  QTest::newRow("update, user record") << "update"
                                       << "PUT"
                                       << "/api/confd/1.1/users/12";
  QTest::newRow("update, permission removal") << "update"
                                              << "DELETE"
                                              << "/api/confd/1.1/users/12/callpermissions/2";
  QTest::newRow("update, incall routing") << "update"
                                          << "PUT"
                                          << "/api/confd/1.1/incalls/2";
  QTest::newRow("update, the reload after it") << "update"
                                               << "GET"
                                               << "/api/confd/1.1/users";
  QTest::newRow("export, file dialog") << "export"
                                       << ""
                                       << "asker";
  QTest::newRow("export, its message") << "export"
                                       << ""
                                       << "message";
}

void TestCloseDuring::closeDuring() {
  QFETCH(QString, operation);
  QFETCH(QString, method);
  QFETCH(QString, path);

  ReportWatch watch;
  MessageAnswerer messages;
  if (!method.isEmpty()) {
    // Held back long enough for the close to come while it is awaited (the
    // token's own limit is one second).
    QVERIFY(f->fake.delay(path, path == TokenUrlPath ? 400 : 300, method));
    closeWhenReceived(method, path);
  } else if (path == QLatin1String("report")) {
    QVERIFY(f->fake.htmlPage(QStringLiteral("/api/confd/1.1/users"), QString(), 1));
    watch.whileShown = [this] { closeNow(); };
  } else if (path == QLatin1String("message")) {
    messages.whileShown = [this](QWidget *) { closeNow(); };
  }
  QSignalSpy reloads(w, &TFMainLarkspan::reloadFinished);
  ModalDriver driver;
  const QString exported = f->dir.filePath(QStringLiteral("users.xlsx"));
  probe.start();

  if (operation == QLatin1String("reload")) {
    QTest::mouseClick(w->BtnReload, Qt::LeftButton);
    QCOMPARE(reloads.count(), 1);
    QCOMPARE(f->fake.requests("GET", "/api/confd/1.1/users").size(), 1); // ran to its end
  } else if (operation == QLatin1String("test")) {
    driver.nextOf<TFormConfig>([](TFormConfig *d) {
      QTest::mouseClick(d->BtnStart, Qt::LeftButton);
      d->close();
    });
    QTest::mouseClick(w->BtnConfig, Qt::LeftButton);
    QCOMPARE(driver.fired(), 1);
    QCOMPARE(messages.seen.size(), 1);
    QCOMPARE(messages.seen.first().text, QStringLiteral("Test OK"));
  } else if (operation == QLatin1String("update")) {
    const int row = int(gridColumnTexts(*w, QStringLiteral("firstname")).indexOf(QStringLiteral("Alice")));
    QVERIFY(row >= 0);
    driver.nextOf<TFFormUser>([this, path](TFFormUser *d) {
      if (path == QLatin1String("dialog"))
        closeNow();
      d->EdEmail->setText(QStringLiteral("alice@new.example"));
      d->CBBPermission->setCurrentIndex(d->CBBPermission->findText(QStringLiteral("National")));
      d->CBBDid->setCurrentIndex(d->CBBDid->findText(QStringLiteral("0123456790")));
      d->close();
    });
    QTest::mouseClick(w->StringGrid->viewport(), Qt::LeftButton, Qt::NoModifier,
                      cellCentre(*w, row, QStringLiteral("email")));
    QCOMPARE(driver.fired(), 1);
    QCOMPARE(f->fake.requests("PUT").size(), 4);
    QCOMPARE(f->fake.requests("DELETE").size(), 1);
    QCOMPARE(reloads.count(), 1); // the reload after the change ran, too
    QCOMPARE(f->fake.requests("GET", "/api/confd/1.1/users").size(), 1);
  } else {
    TSaveDialog::setAsker([this, path, exported](QWidget *, const QStringList &, const QString &) {
      if (path == QLatin1String("asker"))
        closeNow();
      return exported;
    });
    QTest::mouseClick(w->BntExport, Qt::LeftButton);
    QCOMPARE(messages.seen.size(), 1);
    QCOMPARE(messages.seen.first().text, QStringLiteral("Exported to ") + exported);
    QVERIFY(readFileBytes(exported).startsWith("PK")); // a whole workbook
  }
  probe.stop();

  QVERIFY(closeTried);
  QVERIFY(thereAtClose);
  if (path == QLatin1String("report")) {
    // The reload had ended: the close is taken at once, under the report.
    QCOMPARE(watch.reports.size(), 1);
    QVERIFY(!refused);
  } else {
    QVERIFY(refused); // not while the operation runs...
    QVERIFY(watch.reports.isEmpty());
  }
  // ...but as soon as it has ended.
  QTRY_VERIFY(w->isReleased());
  QVERIFY(!w->isVisible());
  QVERIFY(!UserTable && !PortConfig && !PermMap && !traceIsOpen());
}

// The configuration dialog closed while its own test runs: the test ends,
// its message shows, and the main window goes on.
void TestCloseDuring::configDialogClosedDuringItsTest() {
  MessageAnswerer messages;
  QVERIFY(f->fake.delay(QStringLiteral("/api/confd/1.1/lines"), 300));
  ModalDriver driver;
  bool hiddenDuringTest = false;
  driver.nextOf<TFormConfig>([&](TFormConfig *d) {
    connect(&probe, &QTimer::timeout, d, [&, d] {
      if (!hiddenDuringTest && !f->fake.requests("GET", "/api/confd/1.1/lines").isEmpty()) {
        hiddenDuringTest = true;
        d->close();
      }
    });
    probe.start();
    QTest::mouseClick(d->BtnStart, Qt::LeftButton);
    probe.stop();
  });
  QTest::mouseClick(w->BtnConfig, Qt::LeftButton);
  QCOMPARE(driver.fired(), 1);
  QVERIFY(hiddenDuringTest);
  QCOMPARE(messages.seen.size(), 1);
  QCOMPARE(messages.seen.first().text, QStringLiteral("Test OK"));
  QVERIFY(!FormConfig->isVisible());
  QVERIFY(!w->isBusy());
  QVERIFY(f->reloadAndWait());
  QCOMPARE(w->StringGrid->RowCount(), 3);
}

RELIABILITY_TEST_MAIN(TestCloseDuring)
#include "test_close_during.moc"
