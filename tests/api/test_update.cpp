#include "APIWazo.h"
#include "FakeExchange.h"
#include "TempWorkDir.h"

#include <QJsonArray>
#include <QTest>

#include <memory>

Q_DECLARE_METATYPE(TUser)

class TestUpdate : public QObject {
  Q_OBJECT
private slots:
  void initTestCase();
  void init();
  void cleanup();
  void cleanupTestCase();

  void jsonEscape_data();
  void jsonEscape();

  void requests_data();
  void requests();
  void nothingEdited();
  void changesReachTheExchange();
  void tokenRefused();
  void tokenRefusedForEachGroup();
  void failedDeleteStillAssigns();
  void exceptionEndsTheUpdate();
  void idNotDecimal_data();
  void idNotDecimal();

private:
  QStringList sent() const;   // configuration requests: "METHOD path body"
  int tokensIssued() const;   // token requests that carried credentials
  QStringList traceLines() const;

  FakeExchange m_fake;
  std::unique_ptr<TempWorkDir> m_dir;
};

namespace {

const char *const kTokenPath = "/api/auth/0.1/token";

TUser alice() {
  TUser u;
  u.id = "12";
  u.firstname = "Alice";
  u.lastname = "Martin";
  u.uuid = "5b5c0f4e-3d2a-4c1e-9f1b-8a7c6d5e4f30";
  u.email = "alice.martin@example.com";
  u.call_permissions = "Internal";
  u.extensions = "1001";
  u.did = "0123456789";
  return u;
}

// The maps as the last reload left them, ids as in the fake's dataset.
void fillMaps() {
  PermMap->insert("Internal", TPerm{"2", "Internal"});
  PermMap->insert("National", TPerm{"3", "National"});
  DidMap->insert("0123456789", TDid{"1", "12", "Alice", "Martin", "40", "0123456789", ""});
  DidMap->insert("0123456790", TDid{"2", "", "", "", "41", "0123456790", ""});
  // An incoming call without number, as a map filled elsewhere may hold it:
  // an empty DID must never reach it.
  DidMap->insert("", TDid{"3", "13", "Bob", "", "", "", ""});
}

} // namespace

void TestUpdate::initTestCase() {
  FakeExchange::Options options;
  options.dataset = "api/update-dataset.json";
  QVERIFY2(m_fake.start(options), qPrintable(m_fake.errorString()));
}

void TestUpdate::init() {
  QVERIFY(m_fake.loadDataset("api/update-dataset.json"));
  QVERIFY(m_fake.clearFaults());
  QVERIFY(m_fake.setCredentials("admin", "secret"));
  QVERIFY(m_fake.clearRequests());
  m_dir.reset(); // a failed init is not followed by cleanup
  m_dir = std::make_unique<TempWorkDir>();
  traceOpenFile(m_dir->filePath("trace.log"));
  createPortConfig();
  m_fake.configure(*PortConfig);
  CreateUserTable();
  fillMaps();
}

void TestUpdate::cleanup() {
  FreeDirectory();
  releasePortConfig();
  TraceClose();
  m_dir.reset();
}

void TestUpdate::cleanupTestCase() {
  m_fake.stop();
}

QStringList TestUpdate::sent() const {
  QStringList out;
  QByteArray token;
  for (const FakeRequest &r : m_fake.requests()) {
    if (r.path == kTokenPath)
      continue;
    // One token serves every request of one update.
    if (token.isEmpty())
      token = r.header("X-Auth-Token");
    if (r.header("X-Auth-Token") != token)
      out << "(another token)";
    QString line = QString::fromLatin1(r.method + ' ' + r.path);
    if (!r.body.isEmpty())
      line += ' ' + QString::fromUtf8(r.body);
    out << line;
  }
  return out;
}

int TestUpdate::tokensIssued() const {
  int n = 0;
  for (const FakeRequest &r : m_fake.requests("POST", kTokenPath))
    n += r.hasHeader("Authorization") ? 1 : 0;
  return n;
}

QStringList TestUpdate::traceLines() const {
  QStringList lines = QString::fromUtf8(readFileBytes(m_dir->filePath("trace.log"))).split("\r\n");
  lines.removeAll(QString());
  return lines;
}

void TestUpdate::jsonEscape_data() {
  QTest::addColumn<QString>("text");
  QTest::addColumn<QString>("escaped");
  QTest::newRow("plain") << "Alice Martin" << "Alice Martin";
  QTest::newRow("empty") << "" << "";
  QTest::newRow("short escapes") << QString("\"/\\\b\t\n\f\r") << R"(\"\/\\\b\t\n\f\r)";
  QTest::newRow("other controls") << QString::fromUtf8("\x01\x1f\x0b") << R"(\u0001\u001F\u000B)";
  QTest::newRow("DEL and above") << QString::fromUtf8("\x7f~") << R"(\u007F~)";
  QTest::newRow("e acute, upper-case hex") << QString::fromUtf8("é") << R"(\u00E9)";
  QTest::newRow("outside the basic plane: two escapes")
      << QString::fromUtf8("😀") << R"(\uD83D\uDE00)";
  QTest::newRow("single quote and ampersand stay") << "O'Brien & co" << "O'Brien & co";
}

void TestUpdate::jsonEscape() {
  QFETCH(QString, text);
  QFETCH(QString, escaped);
  QCOMPARE(JsonEscape(text), escaped);
}

void TestUpdate::requests_data() {
  QTest::addColumn<TUser>("edited");
  QTest::addColumn<TUser>("listed");
  QTest::addColumn<QStringList>("expected");
  QTest::addColumn<int>("tokens");

  const TUser listed = alice();
  TUser u;

  u = alice();
  u.email = "alice@example.org";
  QTest::newRow("e-mail only") << u << listed
                               << QStringList{R"(PUT /api/confd/1.1/users/12 {"id": 12, "email": "alice@example.org"})"}
                               << 1;
  u = alice();
  u.email = "";
  QTest::newRow("e-mail emptied: sent as null")
      << u << listed << QStringList{R"(PUT /api/confd/1.1/users/12 {"id": 12, "email": null})"} << 1;
  u = alice();
  u.lastname = "Dupont";
  QTest::newRow("last name only: both names and the caller id")
      << u << listed
      << QStringList{R"(PUT /api/confd/1.1/users/12 {"id": 12, "firstname": "Alice", "lastname": "Dupont", "caller_id": "\"Alice Dupont\""})"}
      << 1;
  u = alice();
  u.firstname = "alice";
  QTest::newRow("letter case counts as a change")
      << u << listed
      << QStringList{R"(PUT /api/confd/1.1/users/12 {"id": 12, "firstname": "alice", "lastname": "Martin", "caller_id": "\"alice Martin\""})"}
      << 1;
  u = alice();
  u.firstname = QString::fromUtf8("A\"b\\c/d\te\xc3\xa9\xf0\x9f\x98\x80");
  QTest::newRow("quote, backslash, slash, tab, e acute, emoji")
      << u << listed
      << QStringList{R"(PUT /api/confd/1.1/users/12 {"id": 12, "firstname": "A\"b\\c\/d\te\u00E9\uD83D\uDE00", "lastname": "Martin", "caller_id": "\"A\"b\\c\/d\te\u00E9\uD83D\uDE00 Martin\""})"}
      << 1;
  u = alice();
  u.firstname = "";
  u.lastname = "";
  QTest::newRow("both names emptied")
      << u << listed
      << QStringList{R"(PUT /api/confd/1.1/users/12 {"id": 12, "firstname": "", "lastname": "", "caller_id": "\" \""})"}
      << 1;
  u = alice();
  u.firstname = "Alicia";
  u.email = "alicia@example.com";
  QTest::newRow("names and e-mail: key order id, names, caller id, e-mail")
      << u << listed
      << QStringList{R"(PUT /api/confd/1.1/users/12 {"id": 12, "firstname": "Alicia", "lastname": "Martin", "caller_id": "\"Alicia Martin\"", "email": "alicia@example.com"})"}
      << 1;

  u = alice();
  u.call_permissions = "";
  QTest::newRow("permission to the empty entry: only the removal")
      << u << listed << QStringList{"DELETE /api/confd/1.1/users/12/callpermissions/2"} << 1;
  TUser none = alice();
  none.call_permissions = "";
  u = alice();
  u.call_permissions = "National";
  QTest::newRow("permission from the empty entry: only the assignment")
      << u << none << QStringList{"PUT /api/confd/1.1/users/12/callpermissions/3"} << 1;
  QTest::newRow("permission between two names: removal, then assignment")
      << u << listed
      << QStringList{"DELETE /api/confd/1.1/users/12/callpermissions/2",
                     "PUT /api/confd/1.1/users/12/callpermissions/3"}
      << 1;
  TUser gone = alice();
  gone.call_permissions = "Renamed since";
  QTest::newRow("permission no longer in the map: nothing sent for it")
      << u << gone << QStringList{"PUT /api/confd/1.1/users/12/callpermissions/3"} << 1;
  u = alice();
  u.call_permissions = "";
  QTest::newRow("unknown to empty: nothing sent, still a change")
      << u << gone << QStringList() << 1;

  u = alice();
  u.did = "0123456790";
  QTest::newRow("DID moved: release, then routing")
      << u << listed
      << QStringList{R"(PUT /api/confd/1.1/incalls/1 {"destination": {"type": "none"}})",
                     R"(PUT /api/confd/1.1/incalls/2 {"destination": {"type": "user", "user_id": 12}})"}
      << 1;
  u = alice();
  u.did = "";
  QTest::newRow("DID to the empty entry: only the release")
      << u << listed << QStringList{R"(PUT /api/confd/1.1/incalls/1 {"destination": {"type": "none"}})"} << 1;
  TUser noDid = alice();
  noDid.did = "";
  u = alice();
  u.did = "0123456790";
  QTest::newRow("user without DID: only the routing")
      << u << noDid
      << QStringList{R"(PUT /api/confd/1.1/incalls/2 {"destination": {"type": "user", "user_id": 12}})"} << 1;

  u = alice();
  u.call_permissions = "National";
  u.did = "0123456790";
  QTest::newRow("permission and DID: one token, four requests in order")
      << u << listed
      << QStringList{"DELETE /api/confd/1.1/users/12/callpermissions/2",
                     "PUT /api/confd/1.1/users/12/callpermissions/3",
                     R"(PUT /api/confd/1.1/incalls/1 {"destination": {"type": "none"}})",
                     R"(PUT /api/confd/1.1/incalls/2 {"destination": {"type": "user", "user_id": 12}})"}
      << 1;
  u.email = "a@example.com";
  QTest::newRow("everything: one token for all three groups")
      << u << listed
      << QStringList{R"(PUT /api/confd/1.1/users/12 {"id": 12, "email": "a@example.com"})",
                     "DELETE /api/confd/1.1/users/12/callpermissions/2",
                     "PUT /api/confd/1.1/users/12/callpermissions/3",
                     R"(PUT /api/confd/1.1/incalls/1 {"destination": {"type": "none"}})",
                     R"(PUT /api/confd/1.1/incalls/2 {"destination": {"type": "user", "user_id": 12}})"}
      << 1;
  u = alice();
  u.uuid = "other";
  u.extensions = "9999";
  QTest::newRow("uuid and extension take no part") << u << listed << QStringList() << 0;
}

void TestUpdate::requests() {
  QFETCH(TUser, edited);
  QFETCH(TUser, listed);
  QFETCH(QStringList, expected);
  QFETCH(int, tokens);
  TResExtract result{7, "from the caller"};
  UpdateUser(listed, edited, result);
  QCOMPARE(sent(), expected);
  QCOMPARE(tokensIssued(), tokens);
  if (tokens) {
    QCOMPARE(result.iRes, -1);
    QCOMPARE(result.sRes, QString("from the caller"));
  } else {
    QCOMPARE(result.iRes, 0);
    QCOMPARE(result.sRes, QString());
  }
  for (const QString &line : traceLines())
    QVERIFY2(!line.startsWith("Erreur Modif user"), qPrintable(line));
}

void TestUpdate::nothingEdited() {
  TResExtract result{7, "from the caller"};
  UpdateUser(alice(), alice(), result);
  QCOMPARE(result.iRes, 0);
  QCOMPARE(result.sRes, QString());
  QVERIFY(m_fake.requests().isEmpty()); // not even a token
  QVERIFY(traceLines().isEmpty());
}

void TestUpdate::changesReachTheExchange() {
  TUser edited = alice();
  edited.lastname = "Dupont";
  edited.email = "";
  edited.call_permissions = "National";
  edited.did = "0123456790";
  TResExtract result;
  UpdateUser(alice(), edited, result);
  QCOMPARE(result.iRes, -1);
  // Every request was accepted (the exchange refuses an empty e-mail).
  QCOMPARE(traceLines().filter("OK:PUT").size() + traceLines().filter("OK:DELETE").size(), 5);

  const QJsonObject state = m_fake.state();
  QJsonObject user12, incall1, incall2;
  for (const QJsonValue &u : state.value("users").toArray())
    if (u["id"].toInt() == 12)
      user12 = u.toObject();
  for (const QJsonValue &i : state.value("incalls").toArray()) {
    if (i["id"].toInt() == 1)
      incall1 = i.toObject();
    if (i["id"].toInt() == 2)
      incall2 = i.toObject();
  }
  QCOMPARE(user12["lastname"].toString(), QString("Dupont"));
  QCOMPARE(user12["caller_id"].toString(), QString("\"Alice Dupont\""));
  QVERIFY(user12["email"].isNull());
  QCOMPARE(user12["call_permissions"].toArray(), QJsonArray({3}));
  QCOMPARE(incall1["destination"].toObject()["type"].toString(), QString("none"));
  QCOMPARE(incall2["destination"].toObject()["user_id"].toInt(), 12);
}

void TestUpdate::tokenRefused() {
  QVERIFY(m_fake.setCredentials("admin", "changed"));
  TUser edited = alice();
  edited.email = "new@example.com";
  edited.call_permissions = "National";
  edited.did = "0123456790";
  TResExtract result;
  UpdateUser(alice(), edited, result);
  QVERIFY(sent().isEmpty());
  QVERIFY(result.iRes != 0 && result.iRes != -1);
  QVERIFY(!result.sRes.isEmpty());
  // The user update's token failure ends it: no group asks again.
  QCOMPARE(m_fake.requests("POST", kTokenPath).size(), m_fake.requests().size());
  const int tokenPosts = m_fake.requests().size();

  // The same failure on its own gives the same result.
  QVERIFY(m_fake.clearRequests());
  QString token;
  TResExtract alone;
  GetToken(*PortConfig, token, alone);
  QCOMPARE(result.iRes, alone.iRes);
  QCOMPARE(m_fake.requests().size(), tokenPosts);
}

void TestUpdate::tokenRefusedForEachGroup() {
  // Without a user update, the DID group asks for a token again after the
  // permission group failed to get one.
  QVERIFY(m_fake.setCredentials("admin", "changed"));
  TUser edited = alice();
  edited.call_permissions = "National";
  edited.did = "0123456790";
  TResExtract result;
  UpdateUser(alice(), edited, result);
  QVERIFY(sent().isEmpty());
  QVERIFY(result.iRes != 0 && result.iRes != -1);

  QVERIFY(m_fake.clearRequests());
  QString token;
  TResExtract alone;
  GetToken(*PortConfig, token, alone);
  const int perToken = m_fake.requests().size();
  QVERIFY(perToken > 0);
  QVERIFY(m_fake.clearRequests());
  UpdateUser(alice(), edited, result);
  QCOMPARE(m_fake.requests("POST", kTokenPath).size(), 2 * perToken);
  QCOMPARE(result.iRes, alone.iRes);
}

void TestUpdate::failedDeleteStillAssigns() {
  QVERIFY(m_fake.failWith("/api/confd/1.1/users/12/callpermissions/2", 404, "DELETE"));
  TUser edited = alice();
  edited.call_permissions = "National";
  TResExtract result;
  UpdateUser(alice(), edited, result);
  QCOMPARE(sent(), QStringList({"DELETE /api/confd/1.1/users/12/callpermissions/2",
                                "PUT /api/confd/1.1/users/12/callpermissions/3"}));
  QCOMPARE(result.iRes, -1);
  QCOMPARE(traceLines().filter("E: DELETE").size(), 1);
}

void TestUpdate::exceptionEndsTheUpdate() {
  // A token answer that is not JSON escapes GetToken as an error.
  QVERIFY(m_fake.htmlPage(kTokenPath));
  TUser edited = alice();
  edited.firstname = "Alicia";
  edited.call_permissions = "National";
  TResExtract result{-1, "from the caller"};
  UpdateUser(alice(), edited, result);
  QVERIFY(sent().isEmpty());
  QVERIFY(result.iRes != -1);
  const QStringList lines = traceLines().filter(QRegularExpression("^Erreur Modif user:  , N°:."));
  QCOMPARE(lines.size(), 1);
}

void TestUpdate::idNotDecimal_data() {
  QTest::addColumn<QString>("id");
  QTest::newRow("empty") << "";
  QTest::newRow("letters") << "12a";
  QTest::newRow("JSON injection") << "12, \"firstname\": \"x\"";
  QTest::newRow("path injection") << "12/callpermissions/2";
  QTest::newRow("blank") << " 12";
  QTest::newRow("negative") << "-12";
  QTest::newRow("exponent") << "1e3";
  QTest::newRow("non-ASCII digits") << QString::fromUtf8("١٢");
}

void TestUpdate::idNotDecimal() {
  QFETCH(QString, id);
  TUser listed = alice();
  listed.id = id;
  TUser edited = listed;
  edited.email = "new@example.com";
  edited.did = "0123456790";
  TResExtract result;
  UpdateUser(listed, edited, result);
  QVERIFY(m_fake.requests().isEmpty());
  QVERIFY(result.iRes != -1 && result.iRes != 0);
  QVERIFY(result.sRes.contains(id));
  QCOMPARE(traceLines().filter("Erreur Modif user:  , N°:").size(), 1);
}

QTEST_GUILESS_MAIN(TestUpdate)
#include "test_update.moc"
