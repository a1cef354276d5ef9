// A whole session (first start, connection tests, reloads, an update, an
// export, an error report, close) leaves neither the password nor any token
// in the trace log; the settings file and the log are the owner's alone.
#include "APIWazo.h"
#include "FConfig.h"
#include "FLarkspan.h"
#include "FUser.h"
#include "MainWindowFixture.h"
#include "ModalDriver.h"
#include "ReliabilityMain.h"
#include "SaveDialog.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSet>
#include <QTest>
#include <QToolButton>

namespace {
QString datasetPath() {
  return qEnvironmentVariable("LARKSPAN_SOURCE_DIR") + QStringLiteral("/tests/reliability/exchange-dataset.json");
}

void typeInto(QLineEdit *edit, const QString &text) {
  edit->setFocus();
  edit->selectAll();
  QTest::keyClicks(edit, text);
  // As when the field loses the focus; on the offscreen platform the focus
  // does not always follow a modal window that just closed.
  emit edit->editingFinished();
}

QPoint cellCentre(const TFMainLarkspan &w, int row, const QString &field) {
  const int c = w.StringGrid->columnIndex(w.StringGrid->columnByName(field, Qt::CaseSensitive));
  return w.StringGrid->visualRect(w.StringGrid->model()->index(row, c)).center();
}
} // namespace

class TestSecrets : public QObject {
  Q_OBJECT
private slots:
  void fullSessionTracesNoSecret();
};

void TestSecrets::fullSessionTracesNoSecret() {
  const QString login = QStringLiteral("admin-7q");
  const QString password = QStringLiteral("Pw-9f3k#Secret");
  const QString wrongPassword = QStringLiteral("Wr0ng-Pw-x81");
  MainWindowFixture f;
  FakeExchange::Options options;
  options.dataset = datasetPath();
  options.login = login;
  options.password = password;
  QVERIFY2(f.fake.start(options), qPrintable(f.fake.errorString()));
  TFMainLarkspan *w = f.createWindows();
  ReportWatch watch;
  MessageAnswerer messages;

  // First start: the connection is typed in and tested, first with a wrong
  // password, then with the right one.
  ModalDriver driver;
  driver.nextOf<TFormConfig>([&](TFormConfig *d) {
    typeInto(d->EdURL, f.fake.baseUrl());
    typeInto(d->EdLogin, login);
    typeInto(d->EdPassword, wrongPassword);
    QTest::mouseClick(d->BtnStart, Qt::LeftButton);
    typeInto(d->EdPassword, password);
    QTest::mouseClick(d->BtnStart, Qt::LeftButton);
    d->close();
  });
  QVERIFY(f.showAndWait());
  QCOMPARE(driver.fired(), 1);
  QCOMPARE(messages.seen.size(), 2);
  QVERIFY2(messages.seen.at(0).text.startsWith(QStringLiteral("HTTP Wazo; err. Status POST")),
           qPrintable(messages.seen.at(0).text));
  QCOMPARE(messages.seen.at(1).text, QStringLiteral("Test OK"));
  QCOMPARE(w->StringGrid->RowCount(), 3);

  // An update of everything the dialog edits.
  const int row = int(gridColumnTexts(*w, QStringLiteral("firstname")).indexOf(QStringLiteral("Alice")));
  QVERIFY(row >= 0);
  driver.nextOf<TFFormUser>([](TFFormUser *d) {
    d->EdEmail->setText(QStringLiteral("alice@new.example"));
    d->CBBPermission->setCurrentIndex(d->CBBPermission->findText(QStringLiteral("National")));
    d->CBBDid->setCurrentIndex(d->CBBDid->findText(QStringLiteral("0123456790")));
    d->close();
  });
  QTest::mouseClick(w->StringGrid->viewport(), Qt::LeftButton, Qt::NoModifier,
                    cellCentre(*w, row, QStringLiteral("email")));
  QCOMPARE(driver.fired(), 2);
  QVERIFY(gridColumnTexts(*w, QStringLiteral("email")).contains(QStringLiteral("alice@new.example")));

  // A reload refused by the configuration service, one that ends in the
  // error report, and a good one.
  QVERIFY(f.fake.expireTokens(true));
  QVERIFY(f.reloadAndWait());
  QVERIFY(f.fake.clearFaults());
  QVERIFY(f.fake.htmlPage(QStringLiteral("/api/confd/1.1/users"), QString(), 1));
  QVERIFY(f.reloadAndWait());
  QCOMPARE(watch.reports.size(), 1);
  QVERIFY(f.reloadAndWait());

  // Export.
  const QString exported = f.dir.filePath(QStringLiteral("users.csv"));
  TSaveDialog::setAsker([exported](QWidget *, const QStringList &, const QString &) { return exported; });
  QTest::mouseClick(w->BntExport, Qt::LeftButton);
  TSaveDialog::setAsker({});
  QCOMPARE(messages.seen.last().text, QStringLiteral("Exported to ") + exported);

  w->close();
  QTRY_VERIFY(w->isReleased());

  // Every secret that went over the wire during the session.
  QSet<QByteArray> secrets{password.toUtf8(), password.toLocal8Bit(), wrongPassword.toUtf8(),
                           (login + QLatin1Char(':') + password).toUtf8().toBase64(),
                           (login + QLatin1Char(':') + wrongPassword).toUtf8().toBase64()};
  int tokens = 0;
  for (const FakeRequest &r : f.fake.requests()) {
    const QByteArray token = r.header("X-Auth-Token");
    if (!token.isEmpty() && !secrets.contains(token)) {
      secrets.insert(token);
      ++tokens;
    }
  }
  QVERIFY2(tokens >= 6, "one token per operation: two tests, four reloads, one update");
  const QByteArray log = readFileBytes(f.traceFile());
  QVERIFY(log.size() > 10000);                              // the session was traced
  const QByteArray exportedBytes = readFileBytes(exported); // UTF-16 text
  QVERIFY(!exportedBytes.isEmpty());
  for (const QByteArray &secret : std::as_const(secrets)) {
    const QString text = QString::fromUtf8(secret);
    const QByteArray utf16(reinterpret_cast<const char *>(text.utf16()), text.size() * 2);
    QVERIFY2(!log.contains(secret), secret.constData());
    QVERIFY2(!exportedBytes.contains(utf16), secret.constData());
  }
  // The password lives in the settings file alone, which is the owner's.
  QVERIFY(readFileBytes(f.settingsFile()).contains("PASSW=" + password.toUtf8()));
  QCOMPARE(unixMode(f.settingsFile()), 0600);
  QCOMPARE(unixMode(f.traceFile()), 0600);
}

RELIABILITY_TEST_MAIN(TestSecrets)
#include "test_secrets.moc"
