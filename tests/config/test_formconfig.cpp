#include "APIWazo.h"
#include "ErrorReport.h"
#include "FakeExchange.h"
#include "FConfig.h"
#include "LarkspanError.h"
#include "ModalDriver.h"
#include "OPortDesc.h"
#include "Settings.h"
#include "SimpleMessDlg.h"
#include "TempWorkDir.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>

#include <functional>
#include <memory>

namespace {

QString iniName() {
  return ProgramFileName(QStringLiteral(".ini"));
}

// The [API_1] keys of the settings file as written.
QMap<QString, QString> savedKeys() {
  QMap<QString, QString> keys;
  const QString text = QString::fromUtf8(readFileBytes(iniName()));
  for (const QString &line : text.split(QStringLiteral("\r\n"), Qt::SkipEmptyParts)) {
    const qsizetype eq = line.indexOf(u'=');
    if (eq > 0)
      keys.insert(line.left(eq), line.mid(eq + 1));
  }
  return keys;
}

QStringList itemsOf(const QComboBox *combo) {
  QStringList items;
  for (int i = 0; i < combo->count(); ++i)
    items << combo->itemText(i);
  return items;
}

// Types a new text into an edit and commits it by moving the focus on, as
// a user does with the Tab key.
void typeInto(QLineEdit *edit, const QString &text) {
  edit->setFocus();
  edit->selectAll();
  if (text.isEmpty())
    QTest::keyClick(edit, Qt::Key_Backspace);
  else
    QTest::keyClicks(edit, text);
  QTest::keyClick(edit, Qt::Key_Tab);
}

void setPermissions(const QStringList &names) {
  PermMap->clear();
  int id = 1;
  for (const QString &name : names)
    PermMap->insert(name, TPerm{QString::number(id++), name});
}

// What the "Test results" message showed, and the state of the dialog
// while it was up.
struct SeenMessage {
  bool shown = false;
  QString title;
  QString text;
  QStringList buttons;
  bool critEnabled = true;
  bool startEnabled = true;
};

void answerTestMessage(ModalDriver &driver, SeenMessage &seen, TFormConfig *form) {
  driver.nextNamed("messageDialog", [&seen, form](QWidget *w) {
    seen.shown = true;
    seen.title = w->windowTitle();
    if (auto *label = w->findChild<QLabel *>("messageLabel"))
      seen.text = label->text();
    const auto buttons = w->findChildren<TMyButton *>();
    for (TMyButton *b : buttons)
      seen.buttons << b->text();
    seen.critEnabled = form->PanelCrit->isEnabled();
    seen.startEnabled = form->BtnStart->isEnabled();
    if (!buttons.isEmpty())
      QTest::mouseClick(buttons.first(), Qt::LeftButton);
    else
      w->close();
  });
}

QStringList memoLines(const TFormConfig *form) {
  return form->Memo1->toPlainText().split(u'\n');
}

} // namespace

class TestFormConfig : public QObject {
  Q_OBJECT
private slots:
  void init();
  void cleanup();

  void componentsAndPlaces();
  void emptyPermMapGivesOnlyEmptyItem();
  void permissionListSortedWithEmptyFirst();
  void unknownAllowPermissionIsSavedEmpty();
  void usePermission_data();
  void usePermission();
  void untouchedReturnsZeroAndWritesNothing();
  void change_data();
  void change();
  void swappedLoginAndPasswordIsNoChange();
  void typedThenClosedIsCommitted_data();
  void typedThenClosedIsCommitted();
  void fillingAtReopenSavesNothing();
  void failedSaveGoesToErrorReport();

  void connectionTest();
  void wrongPasswordKeepsTitle();
  void failingRequests_data();
  void failingRequests();
  void listsRefilledAtNextOpening();
  void errorInsideTestReenablesControls();

private:
  // Opens the dialog, runs `act` inside it, then closes it.
  TResExtract openAndRun(const std::function<void(TFormConfig *)> &act);

  std::unique_ptr<TempWorkDir> m_dir;
  std::unique_ptr<QWidget> m_main; // stands in for the main window
  TFormConfig *m_form = nullptr;
};

void TestFormConfig::init() {
  m_dir.reset(); // a failed init is not followed by cleanup
  m_dir = std::make_unique<TempWorkDir>();
  QVERIFY(m_dir->isValid());
  TraceOpen();
  createPortConfig();
  CreateUserTable();
  LoadSettings(iniName()); // no file: the defaults
  m_main = std::make_unique<QWidget>();
  m_main->setGeometry(100, 80, 1017, 700);
  m_main->show();
  m_form = new TFormConfig(m_main.get());
  FormConfig = m_form;
}

void TestFormConfig::cleanup() {
  FormConfig = nullptr;
  m_main.reset(); // takes the dialog with it
  m_form = nullptr;
  FreeDirectory();
  releasePortConfig();
  TraceClose();
  m_dir.reset();
}

TResExtract TestFormConfig::openAndRun(const std::function<void(TFormConfig *)> &act) {
  ModalDriver driver;
  driver.nextOf<TFormConfig>([&act](TFormConfig *form) {
    if (!QTest::qWaitForWindowActive(form))
      qWarning("configuration dialog not active");
    act(form);
    form->close();
  });
  const TResExtract res = m_form->ShowAndGet();
  if (driver.fired() != 1)
    qWarning("the configuration dialog was not driven");
  return res;
}

void TestFormConfig::componentsAndPlaces() {
  setPermissions({"Internal"});
  openAndRun([this](TFormConfig *f) {
    QCOMPARE(f->windowTitle(), QString("Larkspan"));
    QCOMPARE(f->size(), QSize(713, 576));
    QVERIFY2(qAbs(f->geometry().center().x() - m_main->geometry().center().x()) <= 1,
             qPrintable(QString("%1 %2").arg(f->geometry().center().x()).arg(m_main->geometry().center().x())));
    QVERIFY(qAbs(f->geometry().center().y() - m_main->geometry().center().y()) <= 1);
    QCOMPARE(f->Panel->geometry(), QRect(0, 0, 713, 57));
    QCOMPARE(f->LabelTitre->text(), QString("Configuration"));
    QVERIFY(f->LabelTitre->alignment() & Qt::AlignHCenter);
    QCOMPARE(f->PanelCrit->y(), 57);

    struct Row {
      QLabel *label;
      QWidget *field;
      int y;
      const char *text;
    };
    const Row rows[] = {{f->Label2, f->CBBPBX, 24, "PBX : "},
                        {f->Label1, f->EdURL, 61, "API URL: "},
                        {f->lblLOgin, f->EdLogin, 97, "Login : "},
                        {f->Label3, f->EdPassword, 134, "Password : "},
                        {f->Label4, f->CBBAllow, 17, "Allow outcall permission: "},
                        {f->Label5, f->CBBDeny, 57, "Deny outcall permission: "}};
    for (const Row &r : rows) {
      QCOMPARE(r.label->text(), QString(r.text));
      QCOMPARE(r.label->x(), 24);
      QCOMPARE(r.label->y(), r.y);
      QCOMPARE(r.label->font().pixelSize(), 14);
      QCOMPARE(r.field->geometry().x(), 272);
      QCOMPARE(r.field->y(), r.y);
      QCOMPARE(r.field->width(), 385);
    }
    QCOMPARE(f->Label4->parentWidget(), f->PanelPerm);
    QCOMPARE(f->CBBDeny->parentWidget(), f->PanelPerm);
    QCOMPARE(f->Label6->text(), QString("Use Allow/Deny outcall permission: "));
    QCOMPARE(f->Label6->geometry(), QRect(24, 178, 249, f->Label6->height()));
    QCOMPARE(f->SwPerm->geometry(), QRect(272, 176, 65, 27));
    QCOMPARE(f->SwPerm->objectName(), QString("SwPerm"));
    QCOMPARE(f->SwPerm->toolTip(), QString("Allow permission as a Check-Box"));
    QCOMPARE(f->EdURL->toolTip(), QString("Base API URL"));
    QCOMPARE(f->EdPassword->echoMode(), QLineEdit::Normal);
    QCOMPARE(f->EdPassword->text(), QString("kiwiplum"));
    QCOMPARE(itemsOf(f->CBBPBX), QStringList({"Wazo"}));
    QCOMPARE(f->CBBPBX->currentIndex(), 0);
    QCOMPARE(f->PanelPerm->geometry().height(), 87);
    QCOMPARE(f->PanelPerm->geometry().bottom() + 1, f->PanelCrit->height());

    // The test area takes what is left below the settings.
    QCOMPARE(f->PanelRes->y(), 57 + f->PanelCrit->height());
    QCOMPARE(f->PanelRes->geometry().bottom() + 1, 576);
    QCOMPARE(f->BtnStart->text(), QString("Test interface"));
    QCOMPARE(f->BtnStart->height(), 41);
    QCOMPARE(f->BtnStart->y(), 0);
    QVERIFY(f->BtnStart->isDefault());
    QCOMPARE(f->Memo1->y(), 41);
    QCOMPARE(f->Memo1->geometry().bottom() + 1, f->PanelRes->height());

    for (const char *name : {"Panel",    "LabelTitre", "PanelCrit", "Label2",     "CBBPBX",   "Label1",   "EdURL",
                             "lblLOgin", "EdLogin",    "Label3",    "EdPassword", "Label6",   "SwPerm",   "PanelPerm",
                             "Label4",   "CBBAllow",   "Label5",    "CBBDeny",    "PanelRes", "BtnStart", "Memo1"})
      QVERIFY2(f->findChild<QWidget *>(name), name);
  });
}

void TestFormConfig::emptyPermMapGivesOnlyEmptyItem() {
  PortConfig->SetPB_OPEN("Internal");
  openAndRun([](TFormConfig *f) {
    QCOMPARE(itemsOf(f->CBBAllow), QStringList({""}));
    QCOMPARE(itemsOf(f->CBBDeny), QStringList({""}));
    QCOMPARE(f->CBBAllow->currentIndex(), -1); // "Internal" is not there
    QCOMPARE(f->CBBDeny->currentIndex(), 0);   // the empty setting
  });
}

void TestFormConfig::permissionListSortedWithEmptyFirst() {
  setPermissions({"national", "Zone", "alpha", "Internal", "INTERNAL", "Beta"});
  PortConfig->SetPB_OPEN("Zone");
  PortConfig->SetPB_CLOSE("national");
  openAndRun([](TFormConfig *f) {
    const QStringList items = itemsOf(f->CBBAllow);
    QCOMPARE(items.size(), 6);
    QCOMPARE(items.mid(0, 3), QStringList({"", "alpha", "Beta"}));
    QCOMPARE(items.at(3).toLower(), QString("internal")); // names equal but for case: once
    QCOMPARE(items.mid(4), QStringList({"national", "Zone"}));
    QCOMPARE(itemsOf(f->CBBDeny), items);
    QCOMPARE(ComboSelectedText(f->CBBAllow), QString("Zone"));
    QCOMPARE(ComboSelectedText(f->CBBDeny), QString("national"));
  });
  QVERIFY(!QFileInfo::exists(iniName()));
}

void TestFormConfig::unknownAllowPermissionIsSavedEmpty() {
  setPermissions({"Internal", "National"});
  PortConfig->SetPB_OPEN("Gone");
  PortConfig->SetPB_CLOSE("Internal");
  const TResExtract res = openAndRun([](TFormConfig *f) {
    QCOMPARE(f->CBBAllow->currentIndex(), -1);
    QCOMPARE(ComboSelectedText(f->CBBAllow), QString());
    QCOMPARE(ComboSelectedText(f->CBBDeny), QString("Internal"));
    f->CBBDeny->setFocus();
    QTest::keyClick(f->CBBDeny, Qt::Key_Down); // Internal -> National
  });
  QCOMPARE(res.iRes, 0);
  QCOMPARE(PortConfig->PB_OPEN(), QString());
  QCOMPARE(savedKeys().value("AllowPermission", "missing"), QString());
  QCOMPARE(savedKeys().value("DenyPermission"), QString("National"));
}

void TestFormConfig::usePermission_data() {
  QTest::addColumn<QString>("usePerm");
  QTest::addColumn<bool>("switchShown");
  QTest::addColumn<bool>("switchOn");
  QTest::addColumn<bool>("rowsShown");
  QTest::addColumn<int>("critHeight");
  QTest::addColumn<QString>("whileOpen");
  QTest::newRow("1: on, rows shown") << "1" << true << true << true << 295 << "1";
  QTest::newRow("0: off, rows hidden") << "0" << true << false << false << 208 << "0";
  QTest::newRow("2: off, becomes 0") << "2" << true << false << false << 208 << "0";
  QTest::newRow("-1: no switch") << "-1" << false << false << false << 208 << "-1";
  QTest::newRow("yes: no switch") << "yes" << false << false << false << 208 << "yes";
}

void TestFormConfig::usePermission() {
  QFETCH(QString, usePerm);
  QFETCH(bool, switchShown);
  QFETCH(bool, switchOn);
  QFETCH(bool, rowsShown);
  QFETCH(int, critHeight);
  QFETCH(QString, whileOpen);
  PortConfig->SetPB_USEPERM(usePerm);
  openAndRun([&](TFormConfig *f) {
    QCOMPARE(f->SwPerm->isVisible(), switchShown);
    QCOMPARE(f->SwPerm->isChecked(), switchOn);
    QVERIFY(f->Label6->isVisible());
    QCOMPARE(f->PanelPerm->isVisible(), rowsShown);
    QCOMPARE(f->CBBAllow->isVisible(), rowsShown);
    QCOMPARE(f->PanelCrit->height(), critHeight);
    QCOMPARE(f->PanelRes->y(), 57 + critHeight);
    QCOMPARE(PortConfig->PB_USEPERM(), whileOpen);
    QVERIFY(!QFileInfo::exists(iniName())); // saved only at a change
    typeInto(f->EdLogin, "someone");
    QCOMPARE(savedKeys().value("UsePermission"), whileOpen);
  });
}

void TestFormConfig::untouchedReturnsZeroAndWritesNothing() {
  setPermissions({"Internal"});
  PortConfig->SetPB_OPEN("Internal");
  const TResExtract res = openAndRun([](TFormConfig *f) {
    // Visit every field without changing anything.
    f->EdURL->setFocus();
    for (int i = 0; i < 8; ++i)
      QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
  });
  QCOMPARE(res.iRes, 0);
  QCOMPARE(res.sRes, PortConfig->PortToString());
  QVERIFY(!QFileInfo::exists(iniName()));
}

void TestFormConfig::change_data() {
  QTest::addColumn<QString>("component");
  QTest::addColumn<int>("iRes");
  QTest::addColumn<QString>("key");
  QTest::addColumn<QString>("value");
  QTest::newRow("base address") << "EdURL" << -1 << "BASE_URL"
                                << "https://pbx.example.org";
  QTest::newRow("login") << "EdLogin" << -1 << "USERNAME"
                         << "operator";
  QTest::newRow("password") << "EdPassword" << -1 << "PASSW"
                            << "n3w secret";
  QTest::newRow("empty password") << "EdPassword" << -1 << "PASSW"
                                  << "";
  QTest::newRow("allow permission") << "CBBAllow" << 0 << "AllowPermission"
                                    << "Internal";
  QTest::newRow("deny permission") << "CBBDeny" << 0 << "DenyPermission"
                                   << "Internal";
  QTest::newRow("switch") << "SwPerm" << 0 << "UsePermission"
                          << "0";
}

void TestFormConfig::change() {
  QFETCH(QString, component);
  QFETCH(int, iRes);
  QFETCH(QString, key);
  QFETCH(QString, value);
  setPermissions({"Internal", "National"});
  PortConfig->SetPB_USEPERM("1");
  const TResExtract res = openAndRun([&](TFormConfig *f) {
    QWidget *w = f->findChild<QWidget *>(component);
    QVERIFY(w);
    if (auto *edit = qobject_cast<QLineEdit *>(w)) {
      typeInto(edit, value);
    } else if (auto *combo = qobject_cast<QComboBox *>(w)) {
      combo->setFocus();
      QTest::keyClick(combo, Qt::Key_Down); // "" -> Internal
    } else {
      QTest::mouseClick(f->SwPerm, Qt::LeftButton);
      QVERIFY(f->PanelPerm->isHidden());
      QCOMPARE(f->PanelCrit->height(), 208);
    }
  });
  QCOMPARE(res.iRes, iRes);
  QCOMPARE(res.sRes, PortConfig->PortToString());
  // One change writes all eight keys, each as PortConfig now holds it.
  const QMap<QString, QString> saved = savedKeys();
  QCOMPARE(saved.value(key, "missing"), value);
  QStringList keys = saved.keys();
  keys.sort(Qt::CaseInsensitive);
  QCOMPARE(keys, QStringList({"AllowPermission", "BASE_URL", "DATA", "DenyPermission", "NUMPORT", "PASSW",
                              "UsePermission", "USERNAME"}));
  QCOMPARE(saved.value("USERNAME"), PortConfig->PB_HTTP_USERNAME());
  QCOMPARE(saved.value("PASSW"), PortConfig->PB_HTTP_PASSW());
  QCOMPARE(saved.value("BASE_URL"), PortConfig->PB_HTTP_BASE_URL());
  QCOMPARE(saved.value("UsePermission"), PortConfig->PB_USEPERM());
}

void TestFormConfig::swappedLoginAndPasswordIsNoChange() {
  PortConfig->SetPB_HTTP_USERNAME("alpha");
  PortConfig->SetPB_HTTP_PASSW("omega");
  const TResExtract res = openAndRun([](TFormConfig *f) {
    typeInto(f->EdLogin, "omega");
    typeInto(f->EdPassword, "alpha");
  });
  QCOMPARE(res.iRes, 0);
  QCOMPARE(savedKeys().value("USERNAME"), QString("omega"));
  QCOMPARE(savedKeys().value("PASSW"), QString("alpha"));
}

void TestFormConfig::typedThenClosedIsCommitted_data() {
  QTest::addColumn<bool>("byEscape");
  QTest::newRow("close command") << false;
  QTest::newRow("escape key") << true;
}

// Closing the window while the typed text still sits in the edit commits it
// like leaving the field does.
void TestFormConfig::typedThenClosedIsCommitted() {
  QFETCH(bool, byEscape);
  const TResExtract res = openAndRun([&](TFormConfig *f) {
    f->EdURL->setFocus();
    f->EdURL->selectAll();
    QTest::keyClicks(f->EdURL, "https://typed.example");
    if (byEscape)
      QTest::keyClick(f->EdURL, Qt::Key_Escape);
  });
  QCOMPARE(res.iRes, -1);
  QCOMPARE(PortConfig->PB_HTTP_BASE_URL(), QString("https://typed.example"));
  QCOMPARE(savedKeys().value("BASE_URL"), QString("https://typed.example"));
}

void TestFormConfig::fillingAtReopenSavesNothing() {
  setPermissions({"Internal"});
  QCOMPARE(openAndRun([](TFormConfig *f) { typeInto(f->EdLogin, "first"); }).iRes, -1);
  QVERIFY(QFile::remove(iniName()));
  // Settings changed behind the dialog's back are shown, not saved.
  PortConfig->SetPB_HTTP_USERNAME("second");
  PortConfig->SetPB_OPEN("Internal");
  PortConfig->SetPB_USEPERM("0");
  const TResExtract res = openAndRun([](TFormConfig *f) {
    QCOMPARE(f->EdLogin->text(), QString("second"));
    QCOMPARE(ComboSelectedText(f->CBBAllow), QString("Internal"));
    QVERIFY(!f->SwPerm->isChecked());
  });
  QCOMPARE(res.iRes, 0);
  QVERIFY(!QFileInfo::exists(iniName()));
}

void TestFormConfig::failedSaveGoesToErrorReport() {
  // A directory where the settings file should be: every save fails.
  QVERIFY(QDir().mkdir(iniName()));
  const int reports = errorReportCount();
  for (int i = 0; i < 2; ++i)
    QTest::ignoreMessage(QtCriticalMsg, QRegularExpression("^Error report: LarkspanError in Change: "));
  const TResExtract res = openAndRun([](TFormConfig *f) {
    typeInto(f->EdLogin, "someone");
    QVERIFY(f->isVisible()); // the dialog stays usable
    typeInto(f->EdPassword, "else");
  });
  QCOMPARE(errorReportCount(), reports + 2);
  QCOMPARE(res.iRes, -1); // stored all the same
  QCOMPARE(PortConfig->PB_HTTP_USERNAME(), QString("someone"));
  QVERIFY(QFileInfo(iniName()).isDir());
}

void TestFormConfig::connectionTest() {
  FakeExchange fake;
  QVERIFY2(fake.start(), qPrintable(fake.errorString()));
  fake.configure(*PortConfig);
  setPermissions({"Before"});
  SeenMessage seen;
  QString titleDuringMessage;
  openAndRun([&](TFormConfig *f) {
    ModalDriver messages;
    answerTestMessage(messages, seen, f);
    QTest::mouseClick(f->BtnStart, Qt::LeftButton);
    QVERIFY(f->PanelCrit->isEnabled());
    QVERIFY(f->BtnStart->isEnabled());
  });
  QVERIFY(seen.shown);
  QCOMPARE(seen.title, QString("Test results"));
  QCOMPARE(seen.text, QString("Test OK"));
  QCOMPARE(seen.buttons, QStringList({"OK"}));
  QVERIFY(!seen.critEnabled);
  QVERIFY(!seen.startEnabled);

  const QList<FakeRequest> gets = fake.requests("GET");
  QStringList paths;
  for (const FakeRequest &r : gets)
    paths << QString::fromLatin1(r.path);
  QCOMPARE(paths, QStringList({"/api/confd/1.1/callpermissions", "/api/confd/1.1/lines",
                               "/api/confd/1.1/devices/unallocated", "/api/confd/1.1/users"}));
  const QByteArray token = gets.first().header("X-Auth-Token");
  QVERIFY(!token.isEmpty());
  for (const FakeRequest &r : gets)
    QCOMPARE(r.header("X-Auth-Token"), token);
  QCOMPARE(m_form->LabelTitre->text(), "Larkspan : configuration, Token= " + QString::fromLatin1(token));

  // The memo: the token's status, then each request's status and body.
  const QStringList lines = memoLines(m_form);
  QCOMPARE(lines.first(), QString("OK"));
  qsizetype at = 0;
  for (const QString &path : paths) {
    const QString status = ">>GET, (" + fake.baseUrl() + path + ") :200";
    const qsizetype found = lines.indexOf(status, at);
    QVERIFY2(found > at, qPrintable(status));
    QVERIFY(!lines.value(found + 1).isEmpty()); // the body follows its status
    at = found;
  }
  QVERIFY(lines.last().contains("\"items\""));
  QCOMPARE(m_form->sList, lines.last());

  // The permissions the test read replace the old ones; nothing was saved.
  QVERIFY(!PermMap->contains("Before"));
  QVERIFY(!PermMap->isEmpty());
  QVERIFY(!QFileInfo::exists(iniName()));
}

void TestFormConfig::wrongPasswordKeepsTitle() {
  FakeExchange fake;
  QVERIFY2(fake.start(), qPrintable(fake.errorString()));
  fake.configure(*PortConfig);
  SeenMessage first;
  {
    ModalDriver messages;
    answerTestMessage(messages, first, m_form);
    m_form->BtnStartClick();
  }
  QCOMPARE(first.text, QString("Test OK"));
  const QString title = m_form->LabelTitre->text();
  QVERIFY(title.startsWith("Larkspan : configuration, Token= "));
  const qsizetype memoBefore = memoLines(m_form).size();

  PortConfig->SetPB_HTTP_PASSW("wrong");
  fake.clearRequests();
  SeenMessage seen;
  {
    ModalDriver messages;
    answerTestMessage(messages, seen, m_form);
    m_form->BtnStartClick();
  }
  // The memo keeps the first test and adds the token's failure only.
  const QStringList lines = memoLines(m_form);
  QCOMPARE(lines.size(), memoBefore + 1);
  const QString failure = lines.last();
  QVERIFY2(failure.startsWith("E: ") && failure.contains("Authentication Failed"), qPrintable(failure));
  QCOMPARE(m_form->LabelTitre->text(), title);
  QCOMPARE(seen.text, ResultText(TResExtract{367, failure}));
  QVERIFY(seen.text.startsWith("HTTP Wazo; err. Status POST E: "));
  QVERIFY(fake.requests("GET").isEmpty());
  QVERIFY(m_form->PanelCrit->isEnabled() && m_form->BtnStart->isEnabled());
}

void TestFormConfig::failingRequests_data() {
  QTest::addColumn<QString>("path");
  QTest::addColumn<bool>("ok");
  QTest::addColumn<bool>("permissionsKept");
  QTest::newRow("lines fail, users succeed") << "/api/confd/1.1/lines" << true << false;
  QTest::newRow("permissions fail") << "/api/confd/1.1/callpermissions" << true << true;
  QTest::newRow("users fail") << "/api/confd/1.1/users" << false << false;
}

void TestFormConfig::failingRequests() {
  QFETCH(QString, path);
  QFETCH(bool, ok);
  QFETCH(bool, permissionsKept);
  FakeExchange fake;
  QVERIFY2(fake.start(), qPrintable(fake.errorString()));
  fake.configure(*PortConfig);
  QVERIFY(fake.failWith(path, 500));
  setPermissions({"Before"});
  SeenMessage seen;
  {
    ModalDriver messages;
    answerTestMessage(messages, seen, m_form);
    m_form->BtnStartClick();
  }
  QCOMPARE(fake.requests("GET").size(), 4); // a failure does not stop the others
  const QString failedStatus = ">>GET, (" + fake.baseUrl() + path + ") :500";
  const QStringList lines = memoLines(m_form);
  QVERIFY2(lines.contains(failedStatus), qPrintable(lines.join('\n')));
  if (ok) {
    QCOMPARE(seen.text, QString("Test OK"));
  } else {
    QVERIFY2(seen.text.startsWith("HTTP : err. GET "), qPrintable(seen.text));
    QVERIFY2(seen.text.contains(failedStatus), qPrintable(seen.text));
  }
  QCOMPARE(PermMap->contains("Before"), permissionsKept);
}

void TestFormConfig::listsRefilledAtNextOpening() {
  FakeExchange fake;
  QVERIFY2(fake.start(), qPrintable(fake.errorString()));
  fake.configure(*PortConfig);
  SeenMessage seen;
  openAndRun([&](TFormConfig *f) {
    ModalDriver messages;
    answerTestMessage(messages, seen, f);
    QTest::mouseClick(f->BtnStart, Qt::LeftButton);
    QCOMPARE(itemsOf(f->CBBAllow), QStringList({""})); // the test refills PermMap only
  });
  QVERIFY(!PermMap->isEmpty());
  QStringList expected = sortedComboItems(QStringList{""} + PermMap->keys());
  const QString memo = m_form->Memo1->toPlainText();
  openAndRun([&](TFormConfig *f) {
    QCOMPARE(itemsOf(f->CBBAllow), expected);
    QCOMPARE(f->Memo1->toPlainText(), memo); // never cleared
  });
}

void TestFormConfig::errorInsideTestReenablesControls() {
  FakeExchange fake;
  QVERIFY2(fake.start(), qPrintable(fake.errorString()));
  fake.configure(*PortConfig);
  // Two permissions of one name: the permission loader refuses the list.
  QVERIFY(fake.respond("/api/confd/1.1/callpermissions", 200, "application/json",
                       R"({"total": 2, "items": [{"id": 1, "name": "Same"}, {"id": 2, "name": "Same"}]})"));
  ModalDriver messages;
  SeenMessage seen;
  answerTestMessage(messages, seen, m_form);
  QVERIFY_THROWS_EXCEPTION(LarkspanError, m_form->BtnStartClick());
  QVERIFY(m_form->PanelCrit->isEnabled());
  QVERIFY(m_form->BtnStart->isEnabled());
  QVERIFY(!seen.shown);
  QCOMPARE(fake.requests("GET").size(), 1);

  // From the button, the error ends in the error report, not in a crash.
  const int reports = errorReportCount();
  QTest::ignoreMessage(QtCriticalMsg, QRegularExpression("^Error report: LarkspanError in BtnStartClick: Duplicate"));
  m_form->BtnStart->click();
  QCOMPARE(errorReportCount(), reports + 1);
  QVERIFY(!seen.shown);
  QVERIFY(m_form->BtnStart->isEnabled());
}

QTEST_MAIN(TestFormConfig)
#include "test_formconfig.moc"
