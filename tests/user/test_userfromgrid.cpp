// The user dialog as a click on a grid row opens it, and the reload that
// follows a change.
#include "FLarkspan.h"
#include "FUser.h"
#include "MainWindowFixture.h"
#include "ModalDriver.h"

#include <QComboBox>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>

namespace {
QString datasetPath() {
  return qEnvironmentVariable("LARKSPAN_SOURCE_DIR") + QStringLiteral("/tests/user/dialog-dataset.json");
}

QPoint cellCentre(const TFMainLarkspan &w, int row, const QString &field) {
  const int c = w.StringGrid->columnIndex(w.StringGrid->columnByName(field, Qt::CaseSensitive));
  return w.StringGrid->visualRect(w.StringGrid->model()->index(row, c)).center();
}
} // namespace

class TestUserFromGrid : public QObject {
  Q_OBJECT
private slots:
  void rowClick_data();
  void rowClick();
};

void TestUserFromGrid::rowClick_data() {
  QTest::addColumn<QString>("newEmail"); // empty: closed untouched
  QTest::newRow("closed untouched") << "";
  QTest::newRow("e-mail changed") << "alice@new.example";
}

void TestUserFromGrid::rowClick() {
  QFETCH(QString, newEmail);
  MainWindowFixture f;
  QVERIFY(f.startFake(datasetPath()));
  f.writeSettingsForFake();
  TFMainLarkspan *w = f.createWindows();
  QVERIFY(f.showAndWait());
  const int row = int(gridColumnTexts(*w, "firstname").indexOf("Alice"));
  QVERIFY(row >= 0);
  QVERIFY(f.fake.clearRequests());

  ModalDriver driver;
  QStringList shown;
  driver.nextOf<TFFormUser>([&](TFFormUser *dialog) {
    shown << dialog->EdFirstName->text() << dialog->EdLastName->text() << dialog->EdEmail->text()
          << dialog->CBBDid->currentText() << dialog->CBBPermission->currentText()
          << dialog->CBBExtension->currentText();
    if (!newEmail.isEmpty()) {
      dialog->EdEmail->setFocus();
      dialog->EdEmail->selectAll();
      QTest::keyClicks(dialog->EdEmail, newEmail);
    }
    dialog->close();
  });
  QSignalSpy reloads(w, &TFMainLarkspan::reloadFinished);
  // Clicked on the e-mail cell; the whole row is read, by column name.
  QTest::mouseClick(w->StringGrid->viewport(), Qt::LeftButton, Qt::NoModifier, cellCentre(*w, row, "email"));
  QCOMPARE(driver.fired(), 1);
  QCOMPARE(shown, QStringList({"Alice", "Martin", "alice.martin@example.com", "0123456789", "Internal", "1001"}));

  if (newEmail.isEmpty()) {
    QVERIFY(f.fake.requests().isEmpty());
    QCOMPARE(reloads.count(), 0);
    return;
  }
  // The change goes out first, then the whole list is read again.
  QStringList confd;
  for (const QString &line : f.requestLines())
    if (!line.startsWith("POST"))
      confd << line;
  QCOMPARE(confd,
           QStringList({"PUT /api/confd/1.1/users/12", "GET /api/confd/1.1/callpermissions",
                        "GET /api/confd/1.1/incalls", "GET /api/confd/1.1/extensions", "GET /api/confd/1.1/users"}));
  QCOMPARE(reloads.count(), 1);
  QVERIFY(gridColumnTexts(*w, "email").contains(newEmail));
}

QTEST_MAIN(TestUserFromGrid)
#include "test_userfromgrid.moc"
