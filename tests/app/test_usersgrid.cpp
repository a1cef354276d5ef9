// The users grid: sort by header, bold header, moved columns, the pointer
// selection and the row click that opens the user dialog.
#include "APIWazo.h"
#include "FLarkspan.h"
#include "FUser.h"
#include "MainWindowFixture.h"
#include "ModalDriver.h"

#include <QComboBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>

#include <functional>

namespace {
QFont headerFont(const TFMainLarkspan &w, const QString &field) {
  const int c = w.StringGrid->columnIndex(w.StringGrid->columnByName(field));
  return w.StringGrid->model()->headerData(c, Qt::Horizontal, Qt::FontRole).value<QFont>();
}

void clickHeader(TFMainLarkspan &w, const QString &field) {
  QHeaderView *header = w.StringGrid->horizontalHeader();
  const int logical = w.StringGrid->columnIndex(w.StringGrid->columnByName(field));
  w.StringGrid->scrollTo(w.StringGrid->model()->index(0, logical));
  const int x = header->sectionViewportPosition(logical) + header->sectionSize(logical) / 2;
  QTest::mouseClick(header->viewport(), Qt::LeftButton, Qt::NoModifier, QPoint(x, header->height() / 2));
}

QPoint cellCentre(const TFMainLarkspan &w, int row, const QString &field) {
  const int c = w.StringGrid->columnIndex(w.StringGrid->columnByName(field));
  return w.StringGrid->visualRect(w.StringGrid->model()->index(row, c)).center();
}
} // namespace

class TestUsersGrid : public QObject {
  Q_OBJECT
private slots:
  void init();
  void cleanup();
  void sortByHeader_data();
  void sortByHeader();
  void boldHeaderFollowsLastSort();
  void sortAndFilterSurviveReload();
  void movedColumnKeepsItsField();
  void columnSetupRunsOnce();
  void selectionFollowsPointer();
  void rowClickOpensUser_data();
  void rowClickOpensUser();
  void rowWithoutUuidOpensNothing();
  void changeSentReloads();

private:
  std::unique_ptr<MainWindowFixture> f;
  TFMainLarkspan *w = nullptr;
};

void TestUsersGrid::init() {
  f.reset(); // a failed init is not followed by cleanup
  f = std::make_unique<MainWindowFixture>();
  QVERIFY(f->startFake(QStringLiteral("app/grid-users.json")));
  f->writeSettingsForFake();
  w = f->createWindows();
  QVERIFY(f->showAndWait());
  QCOMPARE(w->StringGrid->RowCount(), 8);
}

void TestUsersGrid::cleanup() {
  f.reset();
  w = nullptr;
}

void TestUsersGrid::sortByHeader_data() {
  QTest::addColumn<QStringList>("clicks");
  QTest::addColumn<QString>("spec");
  QTest::addColumn<QString>("field");
  QTest::addColumn<QStringList>("texts");
  // The table starts sorted by extensions, so its first click turns it round.
  QTest::newRow("extensions, first click descending")
      << QStringList{"extensions"} << "extensions:D" << "extensions"
      << QStringList{"51", "3", "20", "150", "125", "1000", "100", ""};
  QTest::newRow("extensions twice, ascending as text")
      << QStringList{"extensions", "extensions"} << "extensions" << "extensions"
      << QStringList{"", "100", "1000", "125", "150", "20", "3", "51"};
  QTest::newRow("firstname once, ascending, case ignored")
      << QStringList{"firstname"} << "firstname" << "firstname"
      << QStringList{"Anna", "Jane", "Jo Ann", "joan", "John", "Jonas", "Mary", "Pat"};
  QTest::newRow("firstname twice, descending")
      << QStringList{"firstname", "firstname"} << "firstname:D" << "firstname"
      << QStringList{"Pat", "Mary", "Jonas", "John", "joan", "Jo Ann", "Jane", "Anna"};
  QTest::newRow("firstname three times, ascending again")
      << QStringList{"firstname", "firstname", "firstname"} << "firstname" << "firstname"
      << QStringList{"Anna", "Jane", "Jo Ann", "joan", "John", "Jonas", "Mary", "Pat"};
  QTest::newRow("lastname, email, lastname: ascending")
      << QStringList{"lastname", "email", "lastname"} << "lastname" << "lastname"
      << QStringList{"", "Anderson", "D'Arcy", "Doe", "Johnson", "O'Brien", "Smith", "Sonnier"};
  QTest::newRow("lastname then email")
      << QStringList{"lastname", "email"} << "email" << "email"
      << QStringList{"", "ann@example.com", "bj@example.com", "joan@example.com", "jonas@example.com",
                     "mary@example.com", "pat@example.com", "zz.john@example.com"};
}

void TestUsersGrid::sortByHeader() {
  QFETCH(QStringList, clicks);
  QFETCH(QString, spec);
  QFETCH(QString, field);
  QFETCH(QStringList, texts);
  for (const QString &click : clicks)
    clickHeader(*w, click);
  QCOMPARE(UserTable->indexFieldNames(), spec);
  QCOMPARE(gridColumnTexts(*w, field), texts);
  // Every column still shows its own field, row by row.
  const QStringList uuids = gridColumnTexts(*w, QStringLiteral("uuid"));
  const QStringList firsts = gridColumnTexts(*w, QStringLiteral("firstname"));
  for (int r = 0; r < uuids.size(); ++r)
    if (firsts[r] == QLatin1String("John"))
      QCOMPARE(uuids[r], QStringLiteral("c1a9f3d0-0001-4000-8000-000000000001"));
}

void TestUsersGrid::boldHeaderFollowsLastSort() {
  for (TGridColumn *column : w->StringGrid->Columns())
    QVERIFY2(!headerFont(*w, column->objectName()).bold(), qPrintable(column->objectName()));
  clickHeader(*w, QStringLiteral("lastname"));
  QVERIFY(headerFont(*w, QStringLiteral("lastname")).bold());
  clickHeader(*w, QStringLiteral("email"));
  QVERIFY(headerFont(*w, QStringLiteral("email")).bold());
  int bold = 0;
  for (TGridColumn *column : w->StringGrid->Columns())
    bold += headerFont(*w, column->objectName()).bold() ? 1 : 0;
  QCOMPARE(bold, 1);
  // Descending shows the same mark.
  clickHeader(*w, QStringLiteral("email"));
  QVERIFY(headerFont(*w, QStringLiteral("email")).bold());
}

void TestUsersGrid::sortAndFilterSurviveReload() {
  clickHeader(*w, QStringLiteral("firstname"));
  clickHeader(*w, QStringLiteral("firstname"));
  w->BtnFiltresClick(nullptr);
  QTest::keyClicks(w->EdFirstName, QStringLiteral("jo"));
  const QStringList shown{"Jonas", "John", "joan", "Jo Ann"};
  QCOMPARE(gridColumnTexts(*w, QStringLiteral("firstname")), shown);
  QVERIFY(f->reloadAndWait());
  QCOMPARE(UserTable->indexFieldNames(), QStringLiteral("firstname:D"));
  QVERIFY(UserTable->filtered());
  QCOMPARE(gridColumnTexts(*w, QStringLiteral("firstname")), shown);
  QVERIFY(headerFont(*w, QStringLiteral("firstname")).bold());
}

void TestUsersGrid::movedColumnKeepsItsField() {
  QHeaderView *header = w->StringGrid->horizontalHeader();
  const int email = w->StringGrid->columnIndex(w->StringGrid->columnByName(QStringLiteral("email")));
  const int before = gridColumnTexts(*w, QStringLiteral("email")).size();
  header->moveSection(header->visualIndex(email), 1); // first visible place
  QCOMPARE(header->logicalIndex(1), email);
  clickHeader(*w, QStringLiteral("lastname")); // a refill
  QCOMPARE(header->logicalIndex(1), email);
  const QStringList emails = gridColumnTexts(*w, QStringLiteral("email"));
  QCOMPARE(emails.size(), before);
  for (const QString &text : emails)
    QVERIFY(text.isEmpty() || text.contains(QLatin1Char('@')));
  // What the user sees at that place is the e-mail of the row.
  const QModelIndex shownFirst = w->StringGrid->model()->index(1, header->logicalIndex(1));
  QCOMPARE(shownFirst.data().toString(), QStringLiteral("jonas@example.com")); // Anderson, after the empty name
}

void TestUsersGrid::columnSetupRunsOnce() {
  QCOMPARE(w->StringGrid->ColumnCount(), 11);
  w->FormShow(nullptr); // a second set-up (and reload) adds no column
  QCOMPARE(w->StringGrid->ColumnCount(), 11);
  QCOMPARE(w->StringGrid->RowCount(), 8);
}

void TestUsersGrid::selectionFollowsPointer() {
  QTest::mouseMove(w->StringGrid->viewport(), cellCentre(*w, 3, QStringLiteral("lastname")));
  QTRY_COMPARE(w->StringGrid->currentIndex().row(), 3);
  QVERIFY(w->StringGrid->selectionModel()->isRowSelected(3, QModelIndex()));
  QTest::mouseMove(w->StringGrid->viewport(), cellCentre(*w, 5, QStringLiteral("lastname")));
  QTRY_COMPARE(w->StringGrid->currentIndex().row(), 5);
  QVERIFY(!w->StringGrid->selectionModel()->isRowSelected(3, QModelIndex()));
}

void TestUsersGrid::rowClickOpensUser_data() {
  QTest::addColumn<bool>("doubleClick");
  QTest::newRow("click") << false;
  QTest::newRow("double click") << true;
}

void TestUsersGrid::rowClickOpensUser() {
  QFETCH(bool, doubleClick);
  const QStringList firsts = gridColumnTexts(*w, QStringLiteral("firstname"));
  const int row = int(firsts.indexOf(QStringLiteral("John")));
  QVERIFY(f->fake.clearRequests());
  ModalDriver driver;
  QString first, last, email, did, permission, extension;
  int opened = 0;
  std::function<void(TFFormUser *)> readAndClose = [&](TFFormUser *dialog) {
    ++opened;
    driver.nextOf<TFFormUser>(readAndClose); // a double click may open it again
    first = dialog->EdFirstName->text();
    last = dialog->EdLastName->text();
    email = dialog->EdEmail->text();
    did = dialog->CBBDid->currentText();
    permission = dialog->CBBPermission->currentText();
    extension = dialog->CBBExtension->currentText();
    dialog->close();
  };
  driver.nextOf<TFFormUser>(readAndClose);
  if (doubleClick) {
    // The second press of a double click, then the double click itself.
    const QPoint at = cellCentre(*w, row, QStringLiteral("email"));
    QTest::mousePress(w->StringGrid->viewport(), Qt::LeftButton, Qt::NoModifier, at);
    QTest::mouseDClick(w->StringGrid->viewport(), Qt::LeftButton, Qt::NoModifier, at);
    QTest::mouseRelease(w->StringGrid->viewport(), Qt::LeftButton, Qt::NoModifier, at);
  } else {
    QTest::mouseClick(w->StringGrid->viewport(), Qt::LeftButton, Qt::NoModifier,
                      cellCentre(*w, row, QStringLiteral("email")));
  }
  QVERIFY(opened >= 1);
  QVERIFY(!FFormUser->isVisible());
  QCOMPARE(first, QStringLiteral("John"));
  QCOMPARE(last, QStringLiteral("Smith"));
  QCOMPARE(email, QStringLiteral("zz.john@example.com"));
  QCOMPARE(did, QStringLiteral("0123456789"));
  QCOMPARE(permission, QStringLiteral("Internal"));
  QCOMPARE(extension, QStringLiteral("20"));
  // Closed without a change: nothing sent, no reload.
  QCOMPARE(f->fake.requests("PUT").size(), 0);
  QCOMPARE(f->fake.requests("GET").size(), 0);
}

void TestUsersGrid::rowWithoutUuidOpensNothing() {
  const int row = int(gridColumnTexts(*w, QStringLiteral("firstname")).indexOf(QStringLiteral("Pat")));
  QVERIFY(row >= 0);
  QVERIFY(gridColumnTexts(*w, QStringLiteral("uuid")).at(row).isEmpty());
  ModalDriver driver;
  driver.next([](QWidget *) { return true; }, [](QWidget *window) { window->close(); });
  QTest::mouseClick(w->StringGrid->viewport(), Qt::LeftButton, Qt::NoModifier,
                    cellCentre(*w, row, QStringLiteral("firstname")));
  QCoreApplication::processEvents();
  QCOMPARE(driver.fired(), 0);
  QVERIFY(!FFormUser->isVisible());
}

void TestUsersGrid::changeSentReloads() {
  const int row = int(gridColumnTexts(*w, QStringLiteral("firstname")).indexOf(QStringLiteral("Jane")));
  QVERIFY(f->fake.clearRequests());
  ModalDriver driver;
  driver.nextOf<TFFormUser>([](TFFormUser *dialog) {
    dialog->EdFirstName->setText(QStringLiteral("Janet"));
    dialog->close();
  });
  QSignalSpy reloads(w, &TFMainLarkspan::reloadFinished);
  QTest::mouseClick(w->StringGrid->viewport(), Qt::LeftButton, Qt::NoModifier,
                    cellCentre(*w, row, QStringLiteral("lastname")));
  QCOMPARE(driver.fired(), 1);
  QCOMPARE(reloads.count(), 1);
  QCOMPARE(f->fake.requests("PUT", "/api/confd/1.1/users/5").size(), 1);
  QCOMPARE(f->fake.requests("GET", "/api/confd/1.1/users").size(), 1);
  QVERIFY(gridColumnTexts(*w, QStringLiteral("firstname")).contains(QStringLiteral("Janet")));
}

QTEST_MAIN(TestUsersGrid)
#include "test_usersgrid.moc"
