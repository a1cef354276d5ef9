#include "ModalDriver.h"
#include "SimpleMessDlg.h"

#include <QDialog>
#include <QLabel>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>

// Collected from the message window while it is shown.
struct SeenDialog {
  QString title;
  QString text;
  QSize size;
  QRect geometry;
  QList<TMyButton *> buttons; // left to right; valid only while shown
  QStringList captions;       // left to right
  QList<QRect> buttonRects;   // within the row, left to right
  QList<int> tags;
  QRect rowRect;
};

static SeenDialog inspect(QWidget *form) {
  SeenDialog seen;
  seen.title = form->windowTitle();
  seen.size = form->size();
  seen.geometry = form->geometry();
  if (auto *label = form->findChild<QLabel *>("messageLabel"))
    seen.text = label->text();
  if (auto *row = form->findChild<QWidget *>("buttonRow"))
    seen.rowRect = row->geometry();
  seen.buttons = form->findChildren<TMyButton *>();
  std::sort(seen.buttons.begin(), seen.buttons.end(), [](TMyButton *a, TMyButton *b) {
    return a->mapTo(a->window(), QPoint()).x() < b->mapTo(b->window(), QPoint()).x();
  });
  for (TMyButton *b : seen.buttons) {
    seen.captions << b->text();
    seen.buttonRects << b->geometry();
    seen.tags << b->Tag;
  }
  return seen;
}

class TestMessageDialog : public QObject {
  Q_OBJECT
private slots:
  void initTestCase();
  void cleanupTestCase();
  void oneCaption();
  void threeCaptionsReadRightToLeft_data();
  void threeCaptionsReadRightToLeft();
  void noCaptionsOnlyClose();
  void closingReturnsMinusOne_data();
  void closingReturnsMinusOne();
  void enterAnswersFirstCaption();
  void longMessageKeepsSize();
  void secondCallStartsAfresh();
  void centredOnOwnerAndReleased();

private:
  QWidget *m_owner = nullptr;
};

void TestMessageDialog::initTestCase() {
  m_owner = new QWidget;
  m_owner->setWindowTitle("owner");
  m_owner->setGeometry(200, 150, 900, 600);
  m_owner->show();
  QVERIFY(QTest::qWaitForWindowExposed(m_owner));
}

void TestMessageDialog::cleanupTestCase() {
  delete m_owner;
}

void TestMessageDialog::oneCaption() {
  ModalDriver driver;
  SeenDialog seen;
  driver.nextNamed("messageDialog", [&](QWidget *w) {
    seen = inspect(w);
    QTest::mouseClick(seen.buttons.value(0), Qt::LeftButton);
  });
  QCOMPARE(ShowMessageButtons(m_owner, "Test results", "All is well", {"OK"}), 0);
  QCOMPARE(driver.fired(), 1);
  QCOMPARE(seen.title, QString("Test results"));
  QCOMPARE(seen.text, QString("All is well"));
  QCOMPARE(seen.size, QSize(400, 120));
  QCOMPARE(seen.rowRect, QRect(0, 80, 400, 40));
  QCOMPARE(seen.captions, QStringList({"OK"}));
  QCOMPARE(seen.tags, QList<int>({0}));
  QCOMPARE(seen.buttonRects.first().width(), 80);
  // The only column spans the whole row: the button stands in its middle.
  QVERIFY(qAbs(seen.buttonRects.first().center().x() - 200) <= 1);
}

void TestMessageDialog::threeCaptionsReadRightToLeft_data() {
  QTest::addColumn<int>("pressedFromLeft");
  QTest::addColumn<int>("expected");
  QTest::newRow("leftmost is the last caption") << 0 << 2;
  QTest::newRow("middle") << 1 << 1;
  QTest::newRow("rightmost is the first caption") << 2 << 0;
}

void TestMessageDialog::threeCaptionsReadRightToLeft() {
  QFETCH(int, pressedFromLeft);
  QFETCH(int, expected);
  ModalDriver driver;
  SeenDialog seen;
  driver.nextNamed("messageDialog", [&](QWidget *w) {
    seen = inspect(w);
    QTest::mouseClick(seen.buttons.value(pressedFromLeft), Qt::LeftButton);
  });
  QCOMPARE(ShowMessageButtons(m_owner, "Choose", "Which one?", {"A", "B", "C"}), expected);
  QCOMPARE(seen.captions, QStringList({"C", "B", "A"}));
  QCOMPARE(seen.tags, QList<int>({2, 1, 0}));
  // A third of the row each, every button centred in its own third.
  for (int col = 0; col < 3; ++col) {
    const QRect r = seen.buttonRects.at(col);
    QCOMPARE(r.width(), 80);
    const double third = 400.0 / 3;
    QVERIFY2(qAbs(r.center().x() - (col + 0.5) * third) <= 2.0,
             qPrintable(QString("column %1 at %2").arg(col).arg(r.center().x())));
  }
}

void TestMessageDialog::noCaptionsOnlyClose() {
  ModalDriver driver;
  SeenDialog seen;
  driver.nextNamed("messageDialog", [&](QWidget *w) {
    seen = inspect(w);
    w->close();
  });
  QCOMPARE(ShowMessageButtons(m_owner, "Note", "Nothing to press", {}), -1);
  QCOMPARE(driver.fired(), 1);
  QVERIFY(seen.captions.isEmpty());
  QCOMPARE(seen.size, QSize(400, 120));
}

void TestMessageDialog::closingReturnsMinusOne_data() {
  QTest::addColumn<bool>("byEscape");
  QTest::newRow("close command") << false;
  QTest::newRow("escape key") << true;
}

void TestMessageDialog::closingReturnsMinusOne() {
  QFETCH(bool, byEscape);
  ModalDriver driver;
  driver.nextNamed("messageDialog", [&](QWidget *w) {
    if (byEscape)
      QTest::keyClick(w, Qt::Key_Escape);
    else
      w->close();
  });
  QCOMPARE(ShowMessageButtons(m_owner, "Export", "Done", {"OK"}), -1);
  QCOMPARE(driver.fired(), 1);
}

void TestMessageDialog::enterAnswersFirstCaption() {
  ModalDriver driver;
  driver.nextNamed("messageDialog",
                   [](QWidget *w) { QTest::keyClick(w->focusWidget() ? w->focusWidget() : w, Qt::Key_Return); });
  QCOMPARE(ShowMessageButtons(m_owner, "Choose", "Which one?", {"A", "B", "C"}), 0);
  QCOMPARE(driver.fired(), 1);
}

void TestMessageDialog::longMessageKeepsSize() {
  const QString longText = QString("A rather long line of text that goes on. ").repeated(60);
  ModalDriver driver;
  SeenDialog seen;
  int scrollRange = -1;
  driver.nextNamed("messageDialog", [&](QWidget *w) {
    seen = inspect(w);
    if (auto *area = w->findChild<QScrollArea *>())
      scrollRange = area->verticalScrollBar()->maximum();
    w->close();
  });
  ShowMessageButtons(m_owner, "Long", longText, {"OK"});
  QCOMPARE(seen.size, QSize(400, 120));
  QCOMPARE(seen.text, longText);
  QCOMPARE(seen.rowRect, QRect(0, 80, 400, 40));
  QVERIFY(scrollRange > 0); // the rest of the message is a scroll away

  driver.nextNamed("messageDialog", [&](QWidget *w) {
    scrollRange = w->findChild<QScrollArea *>()->verticalScrollBar()->maximum();
    w->close();
  });
  ShowMessageButtons(m_owner, "Short", "Fits", {"OK"});
  QCOMPARE(scrollRange, 0);
}

void TestMessageDialog::secondCallStartsAfresh() {
  ModalDriver driver;
  driver.nextNamed("messageDialog",
                   [](QWidget *w) { QTest::mouseClick(w->findChildren<TMyButton *>().value(0), Qt::LeftButton); });
  QCOMPARE(ShowMessageButtons(m_owner, "One", "first", {"Yes", "No"}), 1); // created first: "No"
  driver.nextNamed("messageDialog", [](QWidget *w) { w->close(); });
  QCOMPARE(ShowMessageButtons(m_owner, "Two", "second", {"Yes", "No"}), -1);
  QCOMPARE(driver.fired(), 2);
}

void TestMessageDialog::centredOnOwnerAndReleased() {
  ModalDriver driver;
  QPointer<QWidget> form;
  QRect geometry;
  driver.nextNamed("messageDialog", [&](QWidget *w) {
    form = w;
    geometry = w->geometry();
    QCOMPARE(w->parentWidget(), m_owner);
    QVERIFY(w->isModal());
    w->close();
  });
  ShowMessageButtons(m_owner, "Where", "here", {"OK"});
  QVERIFY(form.isNull()); // released before returning
  QVERIFY2(qAbs(geometry.center().x() - m_owner->geometry().center().x()) <= 1 &&
               qAbs(geometry.center().y() - m_owner->geometry().center().y()) <= 1,
           qPrintable(QString("dialog centre %1,%2").arg(geometry.center().x()).arg(geometry.center().y())));
}

QTEST_MAIN(TestMessageDialog)
#include "test_messagedialog.moc"
