// The global error report: an exception that escapes a handler is logged,
// shown in a dialog whose text can be copied, and the program runs on.
// Runs under the program's own application object.
#include "ActivityIndicator.h"
#include "APIWazo.h"
#include "ErrorReport.h"
#include "ErrorReportDialog.h"
#include "FLarkspan.h"
#include "LarkspanApplication.h"
#include "LarkspanError.h"
#include "MainWindowFixture.h"
#include "ModalDriver.h"
#include "traces.h"

#include <QClipboard>
#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QToolButton>

#include <stdexcept>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

namespace {
// A widget whose own event handler fails, without any guard of ours.
class FailingWidget : public QWidget {
public:
  int presses = 0;

protected:
  void mousePressEvent(QMouseEvent *) override {
    ++presses;
    throw LarkspanError(QStringLiteral("press failed"));
  }
};

class ReportRecorder {
public:
  ReportRecorder() {
    previous = setErrorPresenter([this](const TErrorReport &r) { reports << r; });
  }
  ~ReportRecorder() { setErrorPresenter(previous); }
  QList<TErrorReport> reports;

private:
  TErrorPresenter previous;
};
} // namespace

class TestErrorReport : public QObject {
  Q_OBJECT
private slots:
  void describesTheException_data();
  void describesTheException();
  void guardedHandlerReportsAndGoesOn();
  void applicationCatchesWhatEscapesAnEvent();
  void dialogTextCanBeCopied();
  void reloadFailureReachesTheReport();
};

void TestErrorReport::describesTheException_data() {
  QTest::addColumn<int>("which");
  QTest::addColumn<QString>("kind");
  QTest::addColumn<QString>("message");
  QTest::newRow("program error") << 0 << "LarkspanError" << "Fichier non trouvé: Larkspan.ini";
  QTest::newRow("standard exception") << 1 << "std::out_of_range" << "index 7";
  QTest::newRow("anything else") << 2 << "int" << "";
}

void TestErrorReport::describesTheException() {
  QFETCH(int, which);
  QFETCH(QString, kind);
  QFETCH(QString, message);
  std::exception_ptr error;
  try {
    if (which == 0)
      throw LarkspanError(message);
    if (which == 1)
      throw std::out_of_range(message.toStdString());
    throw 42;
  } catch (...) {
    error = std::current_exception();
  }
  const TErrorReport report = errorReportFrom(error, QStringLiteral("BtnReloadClick"));
  QCOMPARE(report.kind, kind);
  QCOMPARE(report.message, message);
  const QString text = errorReportText(report);
  QVERIFY(text.contains(QStringLiteral("While running: BtnReloadClick")));
  QVERIFY(text.contains(QStringLiteral("Exception: ") + kind));
  QVERIFY(text.contains(QStringLiteral("Message: ") + message));
  QCOMPARE(errorReportTraceLine(report),
           QStringLiteral("Error report: %1 in BtnReloadClick: %2").arg(kind, message));
}

void TestErrorReport::guardedHandlerReportsAndGoesOn() {
  TempWorkDir dir;
  traceOpenFile(dir.filePath(QStringLiteral("report.log")));
  ReportRecorder recorder;
  QPushButton button;
  int runs = 0;
  QObject::connect(&button, &QPushButton::clicked, &button, guarded("ButtonClick", [&runs] {
                     ++runs;
                     throw LarkspanError(QStringLiteral("run %1 failed").arg(runs));
                   }));
  button.show();
  QTest::mouseClick(&button, Qt::LeftButton);
  QTest::mouseClick(&button, Qt::LeftButton);
  TraceClose();
  QCOMPARE(runs, 2);
  QCOMPARE(recorder.reports.size(), 2);
  QCOMPARE(recorder.reports.at(1).where, QStringLiteral("ButtonClick"));
  QCOMPARE(recorder.reports.at(1).message, QStringLiteral("run 2 failed"));
  const QString log = QString::fromLocal8Bit(readFileBytes(dir.filePath(QStringLiteral("report.log"))));
  QCOMPARE(log, QStringLiteral("Error report: LarkspanError in ButtonClick: run 1 failed\r\n"
                               "Error report: LarkspanError in ButtonClick: run 2 failed\r\n"));
}

void TestErrorReport::applicationCatchesWhatEscapesAnEvent() {
#if defined(__SANITIZE_ADDRESS__)
  // Qt's GUI libraries are built without exception support: an exception
  // that crosses them skips their clean-ups (the event's copies, the
  // receiver's guard), so what they hold then is never freed. Only this test
  // lets one cross them, on purpose; the leak checker ignores what it makes.
  __lsan::ScopedDisabler qtCleanUpsSkipped;
#endif
  QVERIFY(qobject_cast<TLarkspanApplication *>(qApp));
  ReportRecorder recorder;
  QWidget window;
  auto *failing = new FailingWidget;
  auto *after = new QPushButton(QStringLiteral("after"));
  int clicked = 0;
  connect(after, &QPushButton::clicked, [&clicked] { ++clicked; });
  auto *row = new QHBoxLayout(&window);
  row->addWidget(failing);
  row->addWidget(after);
  window.show();
  QVERIFY(QTest::qWaitForWindowExposed(&window));
  QTest::mouseClick(failing, Qt::LeftButton);
  QCOMPARE(failing->presses, 1);
  QCOMPARE(recorder.reports.size(), 1);
  QCOMPARE(recorder.reports.at(0).message, QStringLiteral("press failed"));
  QVERIFY2(recorder.reports.at(0).where.contains(QStringLiteral("MouseButtonPress")),
           qPrintable(recorder.reports.at(0).where));
  // The event loop and the other widgets go on.
  QTest::mouseClick(after, Qt::LeftButton);
  QCOMPARE(clicked, 1);
  QTest::mouseClick(failing, Qt::LeftButton);
  QCOMPARE(recorder.reports.size(), 2);
}

void TestErrorReport::dialogTextCanBeCopied() {
  const TErrorPresenter previous = setErrorPresenter({});
  installErrorReportDialog();
  QString shown;
  ModalDriver driver;
  driver.nextOf<TErrorReportDlg>([&](TErrorReportDlg *dialog) {
    auto *text = dialog->findChild<QPlainTextEdit *>(QStringLiteral("ErrorReportText"));
    shown = text->toPlainText();
    QVERIFY(text->isReadOnly());
    dialog->findChild<QPushButton *>(QStringLiteral("BtnCopyReport"))->click();
    dialog->findChild<QPushButton *>(QStringLiteral("BtnCloseReport"))->click();
  });
  guardedCall("CopyTest", [] { throw std::runtime_error("disk full"); });
  setErrorPresenter(previous);
  QCOMPARE(driver.fired(), 1);
  QVERIFY(shown.contains(QStringLiteral("Message: disk full")));
  QVERIFY(shown.contains(QStringLiteral("While running: CopyTest")));
  QCOMPARE(QApplication::clipboard()->text(), shown);
}

// A users list that is not JSON ends the reload in the report; the indicator
// goes away, the grid keeps its rows, and the next reload works.
void TestErrorReport::reloadFailureReachesTheReport() {
  MainWindowFixture f;
  QVERIFY(f.startFake(QStringLiteral("app/grid-users.json")));
  f.writeSettingsForFake();
  TFMainLarkspan *w = f.createWindows();
  QVERIFY(f.showAndWait());
  QCOMPARE(w->StringGrid->RowCount(), 8);

  QVERIFY(f.fake.respond(QStringLiteral("/api/confd/1.1/users"), 200, "application/json", "{\"items\": [",
                         QString(), 1));
  const TErrorPresenter previous = setErrorPresenter({});
  installErrorReportDialog();
  QString shown;
  bool indicatorHiddenAtReport = false;
  ModalDriver driver;
  driver.nextOf<TErrorReportDlg>([&](TErrorReportDlg *dialog) {
    shown = dialog->reportText();
    indicatorHiddenAtReport = w->ActivityCircle->isHidden();
    dialog->accept();
  });
  const int before = errorReportCount();
  QVERIFY(f.reloadAndWait());
  setErrorPresenter(previous);
  QCOMPARE(errorReportCount(), before + 1);
  QCOMPARE(driver.fired(), 1);
  QVERIFY2(shown.contains(QStringLiteral("While running: BtnReloadClick")), qPrintable(shown));
  QVERIFY(shown.contains(QStringLiteral("Exception: LarkspanError")));
  QVERIFY(indicatorHiddenAtReport);
  QVERIFY(f.traceText().contains(QStringLiteral("Error report: LarkspanError in BtnReloadClick")));
  QCOMPARE(w->StringGrid->RowCount(), 8);
  QCOMPARE(UserTable->rowCount(), 8);
  QVERIFY(!w->isBusy());
  QVERIFY(w->BtnReload->isEnabled());

  QVERIFY(f.reloadAndWait());
  QCOMPARE(w->StringGrid->RowCount(), 8);
  QCOMPARE(errorReportCount(), before + 1);
}

int main(int argc, char **argv) {
  TLarkspanApplication app(argc, argv);
  TestErrorReport test;
  QTEST_SET_MAIN_SOURCE_PATH
  return QTest::qExec(&test, argc, argv);
}

#include "test_errorreport.moc"
