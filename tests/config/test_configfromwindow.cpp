// The configuration dialog as the main window opens it: at the first start
// without settings, and from the Configuration button.
#include "FConfig.h"
#include "FLarkspan.h"
#include "MainWindowFixture.h"
#include "ModalDriver.h"
#include "OPortDesc.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QFileInfo>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>

namespace {
// Types a text and leaves the field with Tab, as a user does.
void typeInto(QLineEdit *edit, const QString &text) {
  edit->setFocus();
  edit->selectAll();
  QTest::keyClicks(edit, text);
  QTest::keyClick(edit, Qt::Key_Tab);
}
} // namespace

class TestConfigFromWindow : public QObject {
  Q_OBJECT
private slots:
  void firstStartWithoutSettings_data();
  void firstStartWithoutSettings();
  void configButtonReloadsOnlyOnSummaryChange();
};

void TestConfigFromWindow::firstStartWithoutSettings_data() {
  QTest::addColumn<QString>("what");
  QTest::addColumn<bool>("reloads");
  QTest::addColumn<bool>("saved");
  QTest::newRow("closed untouched") << "nothing" << false << false;
  QTest::newRow("only the permission switch") << "switch" << false << true;
  QTest::newRow("connection typed in") << "connection" << true << true;
}

void TestConfigFromWindow::firstStartWithoutSettings() {
  QFETCH(QString, what);
  QFETCH(bool, reloads);
  QFETCH(bool, saved);
  MainWindowFixture f;
  QVERIFY(f.startFake(QStringLiteral("app/grid-users.json")));
  TFMainLarkspan *w = f.createWindows();
  ModalDriver driver;
  int requestsWhileOpen = -1;
  driver.nextOf<TFormConfig>([&](TFormConfig *dialog) {
    requestsWhileOpen = int(f.fake.requests().size());
    if (what == "switch") {
      QTest::mouseClick(dialog->SwPerm, Qt::LeftButton);
    } else if (what == "connection") {
      typeInto(dialog->EdURL, f.fake.baseUrl());
      typeInto(dialog->EdLogin, f.fake.login());
      typeInto(dialog->EdPassword, f.fake.password());
    }
    dialog->close();
  });
  QSignalSpy reloadsDone(w, &TFMainLarkspan::reloadFinished);
  QVERIFY(f.showAndWait());
  QCOMPARE(driver.fired(), 1);
  QCOMPARE(requestsWhileOpen, 0); // the dialog comes before any request
  QCOMPARE(QFileInfo::exists(f.settingsFile()), saved);
  QCOMPARE(reloadsDone.count(), reloads ? 1 : 0);
  if (reloads) {
    QVERIFY(f.requestLines().contains("GET /api/confd/1.1/callpermissions"));
    QVERIFY(w->StringGrid->RowCount() > 0);
  } else {
    QCOMPARE(f.fake.requests().size(), 0);
    QCOMPARE(w->StringGrid->RowCount(), 0);
  }
}

void TestConfigFromWindow::configButtonReloadsOnlyOnSummaryChange() {
  MainWindowFixture f;
  QVERIFY(f.startFake(QStringLiteral("app/grid-users.json")));
  f.writeSettingsForFake();
  TFMainLarkspan *w = f.createWindows();
  QVERIFY(f.showAndWait());
  const int rows = w->StringGrid->RowCount();
  QVERIFY(rows > 0);
  QSignalSpy reloadsDone(w, &TFMainLarkspan::reloadFinished);

  // Only the Deny permission: saved, no reload.
  ModalDriver driver;
  QVERIFY(f.fake.clearRequests());
  driver.nextOf<TFormConfig>([](TFormConfig *dialog) {
    dialog->CBBDeny->setFocus();
    QTest::keyClick(dialog->CBBDeny, Qt::Key_Down);
    dialog->close();
  });
  QTest::mouseClick(w->BtnConfig, Qt::LeftButton);
  QCOMPARE(driver.fired(), 1);
  QCOMPARE(reloadsDone.count(), 0);
  QVERIFY(f.fake.requests().isEmpty());
  QVERIFY(!PortConfig->PB_CLOSE().isEmpty());
  QVERIFY(readFileBytes(f.settingsFile()).contains("DenyPermission=" + PortConfig->PB_CLOSE().toUtf8() + "\r\n"));

  // A new password: the summary changed, the list is read again with it.
  QVERIFY(f.fake.setCredentials(f.fake.login(), "changed"));
  driver.nextOf<TFormConfig>([](TFormConfig *dialog) {
    typeInto(dialog->EdPassword, "changed");
    dialog->close();
  });
  QTest::mouseClick(w->BtnConfig, Qt::LeftButton);
  QCOMPARE(driver.fired(), 2);
  QCOMPARE(reloadsDone.count(), 1);
  QCOMPARE(f.fake.requests("GET", "/api/confd/1.1/users").size(), 1);
  QCOMPARE(w->StringGrid->RowCount(), rows);
}

QTEST_MAIN(TestConfigFromWindow)
#include "test_configfromwindow.moc"
