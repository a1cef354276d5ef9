#include "APIWazo.h"
#include "FakeExchange.h"
#include "FUser.h"
#include "ModalDriver.h"
#include "OPortDesc.h"
#include "TempWorkDir.h"

#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QTest>

#include <functional>
#include <memory>

namespace {

const char *const TokenRequestPath = "/api/auth/0.1/token";

QString datasetPath() {
  return qEnvironmentVariable("LARKSPAN_SOURCE_DIR") + QStringLiteral("/tests/user/dialog-dataset.json");
}

QStringList itemsOf(const QComboBox *combo) {
  QStringList items;
  for (int i = 0; i < combo->count(); ++i)
    items << combo->itemText(i);
  return items;
}

// The user of a table row, field by field, as the grid hands it over.
TUser listedUser(const QString &id) {
  TUser user;
  const int idField = UserTable->fieldIndex("id");
  for (int r = 0; r < UserTable->rowCount(); ++r) {
    if (UserTable->value(r, idField) != id)
      continue;
    const auto field = [r](const char *name) { return UserTable->value(r, UserTable->fieldIndex(name)); };
    user.id = field("id");
    user.firstname = field("firstname");
    user.lastname = field("lastname");
    user.uuid = field("uuid");
    user.email = field("email");
    user.call_permissions = field("call_permissions");
    user.extensions = field("extensions");
    user.did = field("did");
  }
  return user;
}

void typeInto(QLineEdit *edit, const QString &text) {
  edit->setFocus();
  edit->selectAll();
  if (text.isEmpty())
    QTest::keyClick(edit, Qt::Key_Backspace);
  else
    QTest::keyClicks(edit, text);
}

void choose(QComboBox *combo, const QString &text) {
  const int index = combo->findText(text, Qt::MatchExactly | Qt::MatchCaseSensitive);
  QVERIFY2(index >= 0, qPrintable(text));
  combo->setCurrentIndex(index);
}

} // namespace

class TestFormUser : public QObject {
  Q_OBJECT
private slots:
  void initTestCase();
  void init();
  void cleanup();

  void componentsAndPlaces();
  void fieldsFilledFromListedUser();
  void untouchedSendsNothing();
  void edits_data();
  void edits();
  void choices_data();
  void choices();
  void userWithoutDid();
  void missingPermissionCountsAsChange();
  void secondUserShowsNoneOfTheFirst();

private:
  // Opens the dialog for `user`, runs `act` inside it, then closes it.
  TResExtract openAndRun(const TUser &user, const std::function<void(TFFormUser *)> &act, bool byEscape = false);
  QStringList sent() const; // configuration requests: "METHOD path body"
  int tokensIssued() const;

  FakeExchange m_fake;
  std::unique_ptr<TempWorkDir> m_dir;
  std::unique_ptr<QWidget> m_main;
  TFFormUser *m_form = nullptr;
};

void TestFormUser::initTestCase() {
  FakeExchange::Options options;
  options.dataset = datasetPath();
  QVERIFY2(m_fake.start(options), qPrintable(m_fake.errorString()));
}

void TestFormUser::init() {
  QVERIFY(m_fake.loadDataset(datasetPath()));
  m_dir.reset(); // a failed init is not followed by cleanup
  m_dir = std::make_unique<TempWorkDir>();
  TraceOpen();
  createPortConfig();
  m_fake.configure(*PortConfig);
  CreateUserTable();
  // The lists as a reload leaves them.
  QString token;
  TResExtract res;
  GetToken(*PortConfig, token, res);
  QCOMPARE(res.iRes, 0);
  QString body;
  RestGet(*PortConfig, token, "/api/confd/1.1/callpermissions", body, res);
  LoadPermissions(body);
  RestGet(*PortConfig, token, "/api/confd/1.1/incalls", body, res);
  LoadIncalls(body);
  RestGet(*PortConfig, token, "/api/confd/1.1/extensions", body, res);
  LoadExtensions(body);
  RestGet(*PortConfig, token, "/api/confd/1.1/users", body, res);
  QCOMPARE(res.iRes, 0);
  LoadUsers(body);
  QCOMPARE(UserTable->rowCount(), 3);
  QVERIFY(m_fake.clearRequests());

  m_main = std::make_unique<QWidget>();
  m_main->setGeometry(100, 80, 1017, 700);
  m_main->show();
  m_form = new TFFormUser(m_main.get());
  FFormUser = m_form;
}

void TestFormUser::cleanup() {
  FFormUser = nullptr;
  m_main.reset();
  m_form = nullptr;
  FreeDirectory();
  releasePortConfig();
  TraceClose();
  m_dir.reset();
}

TResExtract TestFormUser::openAndRun(const TUser &user, const std::function<void(TFFormUser *)> &act, bool byEscape) {
  ModalDriver driver;
  driver.nextOf<TFFormUser>([&](TFFormUser *form) {
    if (!QTest::qWaitForWindowActive(form))
      qWarning("user dialog not active");
    act(form);
    if (byEscape)
      QTest::keyClick(form, Qt::Key_Escape);
    if (form->isVisible())
      form->close();
  });
  TResExtract res{42, "untouched"};
  m_form->ShowAndGet(user, res);
  if (driver.fired() != 1)
    qWarning("the user dialog was not driven");
  return res;
}

QStringList TestFormUser::sent() const {
  QStringList out;
  for (const FakeRequest &r : m_fake.requests()) {
    if (r.path == TokenRequestPath)
      continue;
    QString line = QString::fromLatin1(r.method + ' ' + r.path);
    if (!r.body.isEmpty())
      line += ' ' + QString::fromUtf8(r.body);
    out << line;
  }
  return out;
}

int TestFormUser::tokensIssued() const {
  int n = 0;
  for (const FakeRequest &r : m_fake.requests("POST", TokenRequestPath))
    n += r.hasHeader("Authorization") ? 1 : 0;
  return n;
}

void TestFormUser::componentsAndPlaces() {
  openAndRun(listedUser("12"), [this](TFFormUser *f) {
    QCOMPARE(f->windowTitle(), QString("Larkspan"));
    QCOMPARE(f->size(), QSize(635, 341));
    QVERIFY(qAbs(f->geometry().center().x() - m_main->geometry().center().x()) <= 1);
    QVERIFY(qAbs(f->geometry().center().y() - m_main->geometry().center().y()) <= 1);
    QCOMPARE(f->PnlTitre->geometry(), QRect(0, 0, 635, 49));
    QCOMPARE(f->LabelTitre->text(), QString("User"));
    QVERIFY(f->LabelTitre->alignment() & Qt::AlignHCenter);
    QCOMPARE(f->Panel1->geometry(), QRect(0, 49, 635, 341 - 49));

    struct Place {
      QWidget *widget;
      QRect rect;
      const char *text;
    };
    const Place places[] = {
        {f->lblEdFirstName, {24, 20, 120, 22}, "First name : "},
        {f->EdFirstName, {224, 20, 385, 22}, nullptr},
        {f->Label1, {24, 60, 120, 22}, "Last name : "},
        {f->EdLastName, {224, 60, 390, 22}, nullptr},
        {f->Label7, {24, 100, 120, 22}, "Email:"},
        {f->EdEmail, {224, 100, 390, 22}, nullptr},
        {f->Label3, {24, 140, 120, 22}, "DiD:"},
        {f->CBBDid, {225, 140, 390, 22}, nullptr},
        {f->Label4, {24, 180, 185, 22}, "Permission: "},
        {f->CBBPermission, {225, 180, 390, 22}, nullptr},
        {f->Label5, {24, 220, 193, 22}, "Extension: "},
        {f->CBBExtension, {225, 220, 390, 22}, nullptr},
    };
    for (const Place &p : places) {
      QCOMPARE(p.widget->parentWidget(), f->Panel1);
      QCOMPARE(p.widget->geometry(), p.rect);
      if (p.text) {
        auto *label = qobject_cast<QLabel *>(p.widget);
        QCOMPARE(label->text(), QString(p.text));
        QCOMPARE(label->font().pixelSize(), 14);
      }
    }

    // Focus starts on the DID and moves in the designed order.
    QCOMPARE(QApplication::focusWidget(), f->CBBDid);
    QStringList order{QApplication::focusWidget()->objectName()};
    for (int i = 0; i < 5; ++i) {
      QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
      order << QApplication::focusWidget()->objectName();
    }
    QCOMPARE(order, QStringList({"CBBDid", "CBBExtension", "CBBPermission", "EdEmail", "EdFirstName", "EdLastName"}));
  });
}

void TestFormUser::fieldsFilledFromListedUser() {
  const TUser alice = listedUser("12");
  QCOMPARE(alice.did, QString("0123456789"));
  openAndRun(alice, [](TFFormUser *f) {
    QCOMPARE(f->EdFirstName->text(), QString("Alice"));
    QCOMPARE(f->EdLastName->text(), QString("Martin"));
    QCOMPARE(f->EdEmail->text(), QString("alice.martin@example.com"));
    QCOMPARE(itemsOf(f->CBBPermission), QStringList({"", "emergency", "Internal", "National"}));
    QCOMPARE(f->CBBPermission->currentText(), QString("Internal"));
    // Her own number and the free ones; Carol's 0123456792 is not offered.
    QCOMPARE(itemsOf(f->CBBDid), QStringList({"", "0123456789", "0123456790", "0123456791"}));
    QCOMPARE(f->CBBDid->currentText(), QString("0123456789"));
    QCOMPARE(itemsOf(f->CBBExtension), QStringList({"1001"}));
    QCOMPARE(f->CBBExtension->currentIndex(), 0);
  });
}

void TestFormUser::untouchedSendsNothing() {
  const TResExtract res = openAndRun(listedUser("12"), [](TFFormUser *f) {
    // Looking around changes nothing.
    for (int i = 0; i < 6; ++i)
      QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    Q_UNUSED(f);
  });
  QCOMPARE(res.iRes, 0);
  QCOMPARE(res.sRes, QString());
  QVERIFY(m_fake.requests().isEmpty()); // not even a token
}

void TestFormUser::edits_data() {
  QTest::addColumn<QString>("edit");
  QTest::addColumn<QString>("typed");
  QTest::addColumn<bool>("byEscape");
  QTest::addColumn<QString>("body");
  QTest::newRow("e-mail") << "EdEmail"
                          << "alice@new.example" << false << R"({"id": 12, "email": "alice@new.example"})";
  QTest::newRow("e-mail, closed with Escape")
      << "EdEmail"
      << "alice@new.example" << true << R"({"id": 12, "email": "alice@new.example"})";
  QTest::newRow("blank after the first name")
      << "EdFirstName"
      << "Alice " << false
      << R"({"id": 12, "firstname": "Alice ", "lastname": "Martin", "caller_id": "\"Alice  Martin\""})";
  QTest::newRow("last name")
      << "EdLastName"
      << "Martin-Roux" << false
      << R"({"id": 12, "firstname": "Alice", "lastname": "Martin-Roux", "caller_id": "\"Alice Martin-Roux\""})";
}

void TestFormUser::edits() {
  QFETCH(QString, edit);
  QFETCH(QString, typed);
  QFETCH(bool, byEscape);
  QFETCH(QString, body);
  const TResExtract res = openAndRun(
      listedUser("12"), [&](TFFormUser *f) { typeInto(f->findChild<QLineEdit *>(edit), typed); }, byEscape);
  QCOMPARE(res.iRes, -1); // the caller reloads
  QCOMPARE(tokensIssued(), 1);
  QCOMPARE(sent(), QStringList({"PUT /api/confd/1.1/users/12 " + body}));
}

void TestFormUser::choices_data() {
  QTest::addColumn<QString>("userId");
  QTest::addColumn<QString>("combo");
  QTest::addColumn<QString>("item");
  QTest::addColumn<QStringList>("expected");
  const QString release = R"(PUT /api/confd/1.1/incalls/1 {"destination": {"type": "none"}})";
  QTest::newRow("permission to another") << "12"
                                         << "CBBPermission"
                                         << "National"
                                         << QStringList{"DELETE /api/confd/1.1/users/12/callpermissions/2",
                                                        "PUT /api/confd/1.1/users/12/callpermissions/3"};
  QTest::newRow("permission to none") << "12"
                                      << "CBBPermission"
                                      << "" << QStringList{"DELETE /api/confd/1.1/users/12/callpermissions/2"};
  QTest::newRow("first permission") << "13"
                                    << "CBBPermission"
                                    << "emergency" << QStringList{"PUT /api/confd/1.1/users/13/callpermissions/4"};
  QTest::newRow("DID to a free number")
      << "12"
      << "CBBDid"
      << "0123456790"
      << QStringList{release, R"(PUT /api/confd/1.1/incalls/2 {"destination": {"type": "user", "user_id": 12}})"};
  QTest::newRow("DID released") << "12"
                                << "CBBDid"
                                << "" << QStringList{release};
  QTest::newRow("first DID") << "13"
                             << "CBBDid"
                             << "0123456791"
                             << QStringList{
                                    R"(PUT /api/confd/1.1/incalls/3 {"destination": {"type": "user", "user_id": 13}})"};
}

void TestFormUser::choices() {
  QFETCH(QString, userId);
  QFETCH(QString, combo);
  QFETCH(QString, item);
  QFETCH(QStringList, expected);
  const TResExtract res =
      openAndRun(listedUser(userId), [&](TFFormUser *f) { choose(f->findChild<QComboBox *>(combo), item); });
  QCOMPARE(res.iRes, -1);
  QCOMPARE(tokensIssued(), 1);
  QCOMPARE(sent(), expected);
}

void TestFormUser::userWithoutDid() {
  const TUser bob = listedUser("13");
  QCOMPARE(bob.did, QString());
  QCOMPARE(bob.extensions, QString());
  const TResExtract res = openAndRun(bob, [](TFFormUser *f) {
    QCOMPARE(f->CBBDid->currentIndex(), 0);
    QCOMPARE(itemsOf(f->CBBDid), QStringList({"", "0123456790", "0123456791"}));
    QCOMPARE(f->CBBPermission->currentIndex(), 0);
    QCOMPARE(itemsOf(f->CBBExtension), QStringList({""}));
    QCOMPARE(f->CBBExtension->currentIndex(), 0);
    QCOMPARE(f->EdLastName->text(), QString());
    QCOMPARE(f->EdEmail->text(), QString());
  });
  QCOMPARE(res.iRes, 0);
  QVERIFY(m_fake.requests().isEmpty());
}

void TestFormUser::missingPermissionCountsAsChange() {
  TUser alice = listedUser("12");
  alice.call_permissions = "Retired"; // renamed on the exchange since the reload
  const TResExtract res = openAndRun(alice, [](TFFormUser *f) {
    QCOMPARE(f->CBBPermission->currentIndex(), -1);
    QVERIFY(!itemsOf(f->CBBPermission).contains("Retired"));
  });
  // Closing changes "Retired" to the empty entry: nothing can be sent for
  // either name, yet the list is reloaded.
  QCOMPARE(res.iRes, -1);
  QCOMPARE(sent(), QStringList());
  QCOMPARE(tokensIssued(), 1);
}

void TestFormUser::secondUserShowsNoneOfTheFirst() {
  openAndRun(listedUser("12"), [](TFFormUser *f) {
    typeInto(f->EdEmail, "typed@example.com");
    typeInto(f->EdFirstName, "Typed");
    choose(f->CBBPermission, "emergency");
  });
  QVERIFY(m_fake.clearRequests());
  const TResExtract res = openAndRun(listedUser("14"), [](TFFormUser *f) {
    QCOMPARE(f->EdFirstName->text(), QString("Carol"));
    QCOMPARE(f->EdLastName->text(), QString("Dupont"));
    QCOMPARE(f->EdEmail->text(), QString("carol@example.com"));
    QCOMPARE(f->CBBPermission->currentText(), QString("National"));
    QCOMPARE(itemsOf(f->CBBDid), QStringList({"", "0123456790", "0123456791", "0123456792"}));
    QCOMPARE(f->CBBDid->currentText(), QString("0123456792"));
    QCOMPARE(itemsOf(f->CBBExtension), QStringList({"1002"}));
  });
  QCOMPARE(res.iRes, 0);
  QVERIFY(m_fake.requests().isEmpty());
}

QTEST_MAIN(TestFormUser)
#include "test_formuser.moc"
