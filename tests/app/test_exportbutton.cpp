// The export button: the save dialog's settings, the export of the table as
// shown, and the outcome in the message dialog.
#include "APIWazo.h"
#include "FLarkspan.h"
#include "MainWindowFixture.h"
#include "ModalDriver.h"

#include <QDialog>
#include <QRegularExpression>
#include <QStringDecoder>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QToolButton>

class TestExportButton : public QObject {
  Q_OBJECT
private slots:
  void init();
  void cleanup();
  void exportsTheShownRows();
  void cancelDoesNothing();
  void failureIsReported();

private:
  // Clicks Export, answers the save dialog with `answer`, and returns the
  // message shown (empty when none).
  QString exportAnswering(const QString &answer);

  std::unique_ptr<MainWindowFixture> f;
  TFMainLarkspan *w = nullptr;
  QStringList askedFilters;
  QString askedSuffix;
  int asked = 0;
  QString caption;
};

void TestExportButton::init() {
  f.reset(); // a failed init is not followed by cleanup
  f = std::make_unique<MainWindowFixture>();
  QVERIFY(f->startFake(QStringLiteral("app/grid-users.json")));
  f->writeSettingsForFake();
  w = f->createWindows();
  QVERIFY(f->showAndWait());
  asked = 0;
  caption.clear();
}

void TestExportButton::cleanup() {
  TSaveDialog::setAsker({});
  f.reset();
  w = nullptr;
}

QString TestExportButton::exportAnswering(const QString &answer) {
  TSaveDialog::setAsker([this, answer](QWidget *, const QStringList &filters, const QString &suffix) {
    ++asked;
    askedFilters = filters;
    askedSuffix = suffix;
    return answer;
  });
  QString message;
  ModalDriver driver;
  driver.nextNamed(QStringLiteral("messageDialog"), [&](QWidget *dialog) {
    message = dialog->findChild<QLabel *>(QStringLiteral("messageLabel"))->text();
    caption = dialog->windowTitle();
    dialog->findChild<QPushButton *>(QStringLiteral("button0"))->click();
  });
  QTest::mouseClick(w->BntExport, Qt::LeftButton);
  return message;
}

void TestExportButton::exportsTheShownRows() {
  QTest::keyClicks(w->EdFirstName, QStringLiteral("jo"));
  const QString path = f->dir.filePath(QStringLiteral("users.csv"));
  QCOMPARE(exportAnswering(path), QStringLiteral("Exported to ") + path);
  QCOMPARE(caption, QStringLiteral("Users list export"));
  QCOMPARE(asked, 1);
  QCOMPARE(askedFilters.size(), 7);
  QVERIFY(askedFilters.first().contains(QStringLiteral("*.xlsx")));
  QVERIFY(askedFilters.at(3).contains(QStringLiteral("*.csv")));
  QCOMPARE(askedSuffix, QStringLiteral("csv"));
  // The text's encoding is the writer's business; its byte-order mark says it.
  const QByteArray bytes = readFileBytes(path);
  QStringDecoder decode(QStringConverter::encodingForData(bytes).value_or(QStringConverter::Utf8));
  const QString text = decode(bytes);
  const QStringList lines = text.split(QRegularExpression(QStringLiteral("\r?\n")), Qt::SkipEmptyParts);
  QVERIFY2(lines.size() == 1 + 4, qPrintable(lines.join(QLatin1Char('\n')))); // header and the four rows the filter lets through
  QVERIFY(lines.first().contains(QStringLiteral("call permissions")));
  QVERIFY(!w->isBusy());
}

void TestExportButton::cancelDoesNothing() {
  const QStringList before = QDir(f->dir.path()).entryList(QDir::Files);
  QCOMPARE(exportAnswering(QString()), QString());
  QCOMPARE(asked, 1);
  QCOMPARE(QDir(f->dir.path()).entryList(QDir::Files), before);
}

void TestExportButton::failureIsReported() {
  const QString path = f->dir.filePath(QStringLiteral("no-such-folder/users.xlsx"));
  const QString message = exportAnswering(path);
  QVERIFY2(message.startsWith(QStringLiteral("Error: ")), qPrintable(message));
  QVERIFY(!QFile::exists(path));
}

QTEST_MAIN(TestExportButton)
#include "test_exportbutton.moc"
