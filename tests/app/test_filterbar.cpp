// The filter bar: the expression built from the three edits, the grid
// refilled at every keystroke, the clear buttons, opening and closing.
#include "APIWazo.h"
#include "FLarkspan.h"
#include "MainWindowFixture.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QVariantAnimation>

class TestFilterBar : public QObject {
  Q_OBJECT
private slots:
  void init();
  void cleanup();
  void expression_data();
  void expression();
  void everyKeystrokeRefills();
  void clearButtonsDropTheirCondition();
  void barOpensAndClosesKeepingTheFilter();
  void tabOrder();

private:
  QStringList shownFirstNames() const { return gridColumnTexts(*w, QStringLiteral("firstname")); }
  std::unique_ptr<MainWindowFixture> f;
  TFMainLarkspan *w = nullptr;
};

void TestFilterBar::init() {
  f.reset(); // a failed init is not followed by cleanup
  f = std::make_unique<MainWindowFixture>();
  QVERIFY(f->startFake(QStringLiteral("app/grid-users.json")));
  f->writeSettingsForFake();
  w = f->createWindows();
  QVERIFY(f->showAndWait());
  QTest::mouseClick(w->BtnFiltres, Qt::LeftButton);
  QVERIFY(w->LayoutFilters->isVisible());
}

void TestFilterBar::cleanup() {
  f.reset();
  w = nullptr;
}

void TestFilterBar::expression_data() {
  QTest::addColumn<QString>("first");
  QTest::addColumn<QString>("last");
  QTest::addColumn<QString>("extension");
  QTest::addColumn<QString>("expression");
  QTest::addColumn<QStringList>("shown"); // first names, in the table's order (extensions)

  const QStringList everyone{"Anna", "joan", "Pat", "Jonas", "Jane", "John", "Jo Ann", "Mary"};
  QTest::newRow("nothing typed") << "" << "" << "" << "" << everyone;
  QTest::newRow("one letter, any case") << "j" << "" << "" << "firstname LIKE 'j%'"
                                        << QStringList{"joan", "Jonas", "Jane", "John", "Jo Ann"};
  QTest::newRow("two letters") << "jo" << "" << "" << "firstname LIKE 'jo%'"
                               << QStringList{"joan", "Jonas", "John", "Jo Ann"};
  QTest::newRow("upper case typed") << "JO" << "" << "" << "firstname LIKE 'JO%'"
                                    << QStringList{"joan", "Jonas", "John", "Jo Ann"};
  QTest::newRow("trailing blank is part of the pattern")
      << "jo " << "" << "" << "firstname LIKE 'jo %'" << QStringList{"Jo Ann"};
  QTest::newRow("first name and extension, no blank before the second AND")
      << "jo" << "" << "1" << "firstname LIKE 'jo%'AND extensions LIKE '1%'" << QStringList{"joan", "Jonas"};
  QTest::newRow("all three") << "j" << "s" << "2"
                             << "firstname LIKE 'j%'AND lastname LIKE 's%'AND extensions LIKE '2%'"
                             << QStringList{"John"};
  QTest::newRow("leading star: contains") << "" << "*son" << "" << "lastname LIKE '%son%'"
                                          << QStringList{"joan", "Jonas", "Mary"};
  QTest::newRow("star inside") << "" << "" << "1*5" << "extensions LIKE '1%5%'" << QStringList{"Jonas", "Jane"};
  QTest::newRow("quote matched as itself") << "" << "O'B" << "" << "lastname LIKE 'O''B%'"
                                           << QStringList{"Jo Ann"};
  QTest::newRow("quote anywhere") << "" << "*'" << "" << "lastname LIKE '%''%'" << QStringList{"Pat", "Jo Ann"};
  QTest::newRow("underscore is one character") << "J_n" << "" << "" << "firstname LIKE 'J_n%'"
                                               << QStringList{"Jonas", "Jane"};
  QTest::newRow("percent typed is a wildcard") << "%n" << "" << "" << "firstname LIKE '%n%'"
                                               << QStringList{"Anna", "joan", "Jonas", "Jane", "John", "Jo Ann"};
  QTest::newRow("no match") << "x" << "" << "" << "firstname LIKE 'x%'" << QStringList{};
  QTest::newRow("empty last name never matches a letter") << "" << "a" << "" << "lastname LIKE 'a%'"
                                                          << QStringList{"Jonas"};
}

void TestFilterBar::expression() {
  QFETCH(QString, first);
  QFETCH(QString, last);
  QFETCH(QString, extension);
  QFETCH(QString, expression);
  QFETCH(QStringList, shown);
  QTest::keyClicks(w->EdFirstName, first);
  QTest::keyClicks(w->EdLastName, last);
  QTest::keyClicks(w->EdExtension, extension);
  QCOMPARE(UserTable->filter(), expression);
  QCOMPARE(UserTable->filtered(), !expression.isEmpty());
  QCOMPARE(shownFirstNames(), shown);
}

void TestFilterBar::everyKeystrokeRefills() {
  QTest::keyClick(w->EdFirstName, Qt::Key_J);
  QCOMPARE(shownFirstNames().size(), 5);
  QTest::keyClick(w->EdFirstName, Qt::Key_O);
  QCOMPARE(shownFirstNames().size(), 4);
  QTest::keyClick(w->EdFirstName, Qt::Key_H);
  QCOMPARE(shownFirstNames(), QStringList{QStringLiteral("John")});
  QTest::keyClick(w->EdFirstName, Qt::Key_Backspace);
  QCOMPARE(shownFirstNames().size(), 4);
  // Sorting keeps the filter: the same rows in the new order.
  w->StringGridHeaderClick(w->StringGrid->columnByName(QStringLiteral("firstname")));
  QCOMPARE(shownFirstNames(), (QStringList{"Jo Ann", "joan", "John", "Jonas"}));
}

void TestFilterBar::clearButtonsDropTheirCondition() {
  QTest::keyClicks(w->EdFirstName, QStringLiteral("jo"));
  QTest::keyClicks(w->EdLastName, QStringLiteral("*son"));
  QCOMPARE(shownFirstNames(), (QStringList{"joan", "Jonas"}));
  w->ClearEditButton1->trigger(); // last name
  QVERIFY(w->EdLastName->text().isEmpty());
  QCOMPARE(UserTable->filter(), QStringLiteral("firstname LIKE 'jo%'"));
  QCOMPARE(shownFirstNames().size(), 4);
  w->ClearEditButton2->trigger(); // first name
  QCOMPARE(UserTable->filter(), QString());
  QVERIFY(!UserTable->filtered());
  QCOMPARE(shownFirstNames().size(), 8);
  QTest::keyClicks(w->EdExtension, QStringLiteral("5"));
  QCOMPARE(shownFirstNames(), QStringList{QStringLiteral("Mary")});
  w->ClearEditButton3->trigger();
  QCOMPARE(shownFirstNames().size(), 8);
}

void TestFilterBar::barOpensAndClosesKeepingTheFilter() {
  // Opened in init(): it grows to 56 in 0.2 s.
  QCOMPARE(w->SizeAnimation->duration(), 200);
  QCOMPARE(w->SizeAnimation->startValue().toInt(), 0);
  QCOMPARE(w->SizeAnimation->endValue().toInt(), 56);
  QTRY_COMPARE(w->LayoutFilters->height(), 56);
  QTest::keyClicks(w->EdFirstName, QStringLiteral("jo"));

  QTest::mouseClick(w->BtnFiltres, Qt::LeftButton);
  QVERIFY(w->LayoutFilters->isHidden());
  QCOMPARE(w->BtnFiltres->text(), QStringLiteral("Filters V"));
  QCOMPARE(shownFirstNames().size(), 4); // still filtered
  QTRY_COMPARE(w->LayoutFilters->height(), 0);

  QTest::mouseClick(w->BtnFiltres, Qt::LeftButton);
  QVERIFY(w->LayoutFilters->isVisible());
  QCOMPARE(w->EdFirstName->text(), QStringLiteral("jo"));
  QTRY_COMPARE(w->LayoutFilters->height(), 56);
  QCOMPARE(shownFirstNames().size(), 4);
}

void TestFilterBar::tabOrder() {
  w->activateWindow();
  QVERIFY(QTest::qWaitForWindowActive(w));
  w->EdExtension->setFocus();
  QCOMPARE(QApplication::focusWidget(), static_cast<QWidget *>(w->EdExtension));
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
  QCOMPARE(QApplication::focusWidget(), static_cast<QWidget *>(w->EdFirstName));
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
  QCOMPARE(QApplication::focusWidget(), static_cast<QWidget *>(w->EdLastName));
  QCOMPARE(w->lblEdFirstName->text(), QStringLiteral("First name : "));
  QCOMPARE(w->Label1->text(), QStringLiteral("Last name : "));
  QCOMPARE(w->Label5->text(), QStringLiteral("Extension: "));
  QCOMPARE(w->EdFirstName->geometry(), QRect(120, 20, 169, 22));
  QCOMPARE(w->EdLastName->geometry(), QRect(432, 20, 206, 22));
  QCOMPARE(w->EdExtension->geometry(), QRect(752, 20, 169, 22));
}

QTEST_MAIN(TestFilterBar)
#include "test_filterbar.moc"
