#include "MainWindowFixture.h"

#include "FConfig.h"
#include "FLarkspan.h"
#include "FUser.h"
#include "traces.h"

#include <QSignalSpy>
#include <QTest>
#include <QToolButton>

MainWindowFixture::MainWindowFixture() = default;

MainWindowFixture::~MainWindowFixture() {
  // The dialogs are children of the main window.
  FFormUser = nullptr;
  FormConfig = nullptr;
  m_window.reset();
}

bool MainWindowFixture::startFake(const QString &dataset) {
  if (!fake.startWithDataset(dataset)) {
    qWarning("%s", qPrintable(fake.errorString()));
    return false;
  }
  return true;
}

bool MainWindowFixture::startFakeWithUsers(int users) {
  if (!fake.startWithUsers(users)) {
    qWarning("%s", qPrintable(fake.errorString()));
    return false;
  }
  return true;
}

QString MainWindowFixture::settingsFile() const { return dir.filePath(ProgramFileName(QStringLiteral(".ini"))); }

QString MainWindowFixture::traceFile() const { return dir.filePath(ProgramFileName(QStringLiteral(".log"))); }

void MainWindowFixture::writeSettings(const QString &baseUrl, const QString &login, const QString &password) {
  const QString text = QStringLiteral("[API_1]\r\nUSERNAME=%1\r\nPASSW=%2\r\nBASE_URL=%3\r\n").arg(login, password, baseUrl);
  writeFileBytes(settingsFile(), text.toUtf8());
}

void MainWindowFixture::writeSettingsForFake() { writeSettings(fake.baseUrl(), fake.login(), fake.password()); }

TFMainLarkspan *MainWindowFixture::createWindows() {
  m_window = std::make_unique<TFMainLarkspan>();
  FormConfig = new TFormConfig(m_window.get());
  FFormUser = new TFFormUser(m_window.get());
  return m_window.get();
}

bool MainWindowFixture::showAndWait() {
  QSignalSpy shown(m_window.get(), &TFMainLarkspan::formShown);
  m_window->show();
  return shown.count() > 0 || shown.wait(20000);
}

bool MainWindowFixture::reloadAndWait() {
  QSignalSpy finished(m_window.get(), &TFMainLarkspan::reloadFinished);
  // The click runs the whole reload before it returns.
  QTest::mouseClick(m_window->BtnReload, Qt::LeftButton);
  return finished.count() == 1;
}

QString MainWindowFixture::traceText() const { return QString::fromLocal8Bit(readFileBytes(traceFile())); }

QStringList MainWindowFixture::requestLines() const {
  QStringList lines;
  for (const FakeRequest &r : fake.requests())
    lines << QString::fromLatin1(r.method + ' ' + r.path);
  return lines;
}

QStringList gridColumnTexts(const TFMainLarkspan &window, const QString &field) {
  QStringList texts;
  const TGridColumn *column = window.StringGrid->columnByName(field, Qt::CaseSensitive);
  if (!column)
    return texts;
  const int c = window.StringGrid->columnIndex(column);
  for (int r = 0; r < window.StringGrid->RowCount(); ++r)
    texts << window.StringGrid->Cells(c, r);
  return texts;
}
