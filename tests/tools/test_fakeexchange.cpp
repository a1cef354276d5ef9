// The fake exchange answers like the real services: every other network
// test leans on that, so a fake more convenient than the real thing would
// hide faults. Requests here are made with plain Qt Network, one fresh
// manager each, so nothing of the client under test is involved.

#include "FakeExchange.h"

#include <QEventLoop>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QSet>
#include <QSslSocket>
#include <QtTest>

namespace {

const QString TokenRoute = QStringLiteral("/api/auth/0.1/token");
const QString ConfdRoot = QStringLiteral("/api/confd/1.1");

struct Answer {
  int status = 0;
  QNetworkReply::NetworkError error = QNetworkReply::NoError;
  QList<QPair<QByteArray, QByteArray>> headers;
  QByteArray body;

  QByteArray header(const QByteArray &name) const {
    for (const auto &h : headers)
      if (h.first.compare(name, Qt::CaseInsensitive) == 0)
        return h.second;
    return {};
  }
  bool hasHeader(const QByteArray &name) const {
    for (const auto &h : headers)
      if (h.first.compare(name, Qt::CaseInsensitive) == 0)
        return true;
    return false;
  }
  QJsonDocument json() const { return QJsonDocument::fromJson(body); }
};

using Headers = QList<QPair<QByteArray, QByteArray>>;

Answer call(const QString &url, const QByteArray &method, const Headers &headers = {}, const QByteArray &body = {},
            int transferTimeout = 0) {
  QNetworkAccessManager manager;
  QObject::connect(&manager, &QNetworkAccessManager::sslErrors,
                   [](QNetworkReply *reply, const QList<QSslError> &) { reply->ignoreSslErrors(); });
  QNetworkRequest request{QUrl(url)};
  for (const auto &h : headers)
    request.setRawHeader(h.first, h.second);
  if (transferTimeout > 0)
    request.setTransferTimeout(transferTimeout);
  QNetworkReply *reply = manager.sendCustomRequest(request, method, body);
  QEventLoop loop;
  QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
  if (!reply->isFinished())
    loop.exec();
  Answer answer;
  answer.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
  answer.error = reply->error();
  answer.headers = reply->rawHeaderPairs();
  answer.body = reply->readAll();
  delete reply;
  return answer;
}

QByteArray basic(const QString &login, const QString &password) {
  return "Basic " + (login + QLatin1Char(':') + password).toUtf8().toBase64();
}

bool isArrayOfStrings(const QJsonDocument &doc) {
  if (!doc.isArray() || doc.array().isEmpty())
    return false;
  for (const QJsonValue &v : doc.array())
    if (!v.isString())
      return false;
  return true;
}

} // namespace

class TestFakeExchange : public QObject {
  Q_OBJECT

private slots:
  void initTestCase();
  void init();

  void tokenBareChallenge();
  void tokenBodyReadFirst_data();
  void tokenBodyReadFirst();
  void tokenExpiration_data();
  void tokenExpiration();
  void tokenBasicOnly_data();
  void tokenBasicOnly();
  void tokenEnvelope();
  void confdTokenHeaderOnly_data();
  void confdTokenHeaderOnly();
  void listsHaveTheRealTypes();
  void generatedNamesAndDeterminism();
  void putUserPartial();
  void putUserRefused_data();
  void putUserRefused();
  void putIncall_data();
  void putIncall();
  void callPermissionLinksIdempotent();
  void faults();
  void hangAndCount();
  void recordKeepsTheWire();

private:
  QString url(const QString &path) const { return m_fake.baseUrl() + path; }
  QByteArray token();
  Answer confd(const QByteArray &method, const QString &path, const QByteArray &body = {}, bool json = true);
  QJsonObject user(int id);

  FakeExchange m_fake;
};

void TestFakeExchange::initTestCase() {
  FakeExchange::Options options;
  options.users = 300;
  options.login = QStringLiteral("root");
  options.password = QStringLiteral("Pa:ss wörd");
  QVERIFY2(m_fake.start(options), qPrintable(m_fake.errorString()));
}

void TestFakeExchange::init() {
  QVERIFY(m_fake.clearFaults());
  QVERIFY(m_fake.loadUsers(300));
  QVERIFY(m_fake.clearRequests());
}

QByteArray TestFakeExchange::token() {
  const Answer a = call(url(TokenRoute), "POST", {{"Authorization", basic(m_fake.login(), m_fake.password())}},
                        R"({"expiration": 600})");
  return a.json()
      .object()
      .value(QStringLiteral("data"))
      .toObject()
      .value(QStringLiteral("token"))
      .toString()
      .toLatin1();
}

Answer TestFakeExchange::confd(const QByteArray &method, const QString &path, const QByteArray &body, bool json) {
  Headers headers{{"X-Auth-Token", token()}};
  if (json)
    headers.append(qMakePair(QByteArray("Content-Type"), QByteArray("application/json")));
  return call(url(ConfdRoot + path), method, headers, body);
}

QJsonObject TestFakeExchange::user(int id) {
  return confd("GET", QStringLiteral("/users/%1").arg(id)).json().object();
}

void TestFakeExchange::tokenBareChallenge() {
  const Answer a = call(url(TokenRoute), "POST", {}, R"({"expiration":30})");
  QCOMPARE(a.status, 401);
  QVERIFY(!a.hasHeader("WWW-Authenticate"));
  QCOMPARE(a.header("Content-Type"), QByteArray("application/json"));
  const QJsonObject body = a.json().object();
  QCOMPARE(body.value(QStringLiteral("reason")).toArray(), QJsonArray{QStringLiteral("Authentication Failed")});
  QCOMPARE(body.value(QStringLiteral("status_code")).toInt(), 401);
  QCOMPARE(body.value(QStringLiteral("timestamp")).toArray().size(), 1);
  QVERIFY(body.value(QStringLiteral("timestamp")).toArray().at(0).isDouble());
}

void TestFakeExchange::tokenBodyReadFirst_data() {
  QTest::addColumn<QByteArray>("body");
  QTest::addColumn<bool>("credentials");
  QTest::newRow("empty, no credentials") << QByteArray() << false;
  QTest::newRow("empty, good credentials") << QByteArray() << true;
  QTest::newRow("not JSON, good credentials") << QByteArray("expiration=30") << true;
  QTest::newRow("array, good credentials") << QByteArray("[30]") << true;
}

void TestFakeExchange::tokenBodyReadFirst() {
  QFETCH(QByteArray, body);
  QFETCH(bool, credentials);
  Headers headers;
  if (credentials)
    headers.append(qMakePair(QByteArray("Authorization"), basic(m_fake.login(), m_fake.password())));
  const Answer a = call(url(TokenRoute), "POST", headers, body);
  QCOMPARE(a.status, 400);
  QVERIFY(a.json().object().value(QStringLiteral("message")).isString());
}

void TestFakeExchange::tokenExpiration_data() {
  QTest::addColumn<QByteArray>("body");
  QTest::addColumn<int>("status");
  QTest::newRow("1 s") << QByteArray(R"({"expiration":1})") << 200;
  QTest::newRow("ten years") << QByteArray(R"({"expiration":315360000})") << 200;
  QTest::newRow("absent: default") << QByteArray("{}") << 200;
  QTest::newRow("0") << QByteArray(R"({"expiration":0})") << 400;
  QTest::newRow("over ten years") << QByteArray(R"({"expiration":315360001})") << 400;
  QTest::newRow("a text") << QByteArray(R"({"expiration":"30"})") << 400;
  QTest::newRow("a fraction") << QByteArray(R"({"expiration":2.5})") << 400;
}

void TestFakeExchange::tokenExpiration() {
  QFETCH(QByteArray, body);
  QFETCH(int, status);
  // Content-Type is ignored: any JSON body is read.
  const Answer a =
      call(url(TokenRoute), "POST",
           {{"Authorization", basic(m_fake.login(), m_fake.password())}, {"Content-Type", "text/plain"}}, body);
  QCOMPARE(a.status, status);
  if (status == 400)
    QVERIFY(a.json().object().value(QStringLiteral("reason")).isArray());
}

void TestFakeExchange::tokenBasicOnly_data() {
  QTest::addColumn<QByteArray>("authorization");
  QTest::addColumn<int>("status");
  QTest::newRow("basic, right") << basic(QStringLiteral("root"), QStringLiteral("Pa:ss wörd")) << 200;
  QTest::newRow("basic, scheme in lower case")
      << QByteArray("basic ") + QByteArray("root:Pa:ss wörd").toBase64() << 200;
  QTest::newRow("basic, wrong password") << basic(QStringLiteral("root"), QStringLiteral("Pa:ss")) << 401;
  QTest::newRow("basic, wrong login") << basic(QStringLiteral("admin"), QStringLiteral("Pa:ss wörd")) << 401;
  QTest::newRow("bearer") << QByteArray("Bearer cm9vdDpQYTpzcyB3w7ZyZA==") << 401;
  QTest::newRow("digest") << QByteArray("Digest username=\"root\"") << 401;
}

void TestFakeExchange::tokenBasicOnly() {
  QFETCH(QByteArray, authorization);
  QFETCH(int, status);
  const Answer a = call(url(TokenRoute), "POST", {{"Authorization", authorization}}, R"({"expiration":30})");
  QCOMPARE(a.status, status);
  QVERIFY(!a.hasHeader("WWW-Authenticate"));
}

void TestFakeExchange::tokenEnvelope() {
  const Answer a = call(url(TokenRoute), "POST", {{"Authorization", basic(m_fake.login(), m_fake.password())}},
                        R"({"expiration":30})");
  QCOMPARE(a.status, 200);
  const QJsonObject data = a.json().object().value(QStringLiteral("data")).toObject();
  QCOMPARE(data.value(QStringLiteral("token")).toString().size(), 36);
  for (const char *member : {"auth_id", "expires_at", "utc_expires_at", "issued_at", "acl", "metadata", "session_uuid",
                             "xivo_uuid", "xivo_user_uuid"})
    QVERIFY2(data.contains(QLatin1String(member)), member);
  QVERIFY(data.value(QStringLiteral("acl")).isArray());
  QVERIFY(data.value(QStringLiteral("metadata")).isObject());
}

void TestFakeExchange::confdTokenHeaderOnly_data() {
  QTest::addColumn<QString>("how");
  QTest::addColumn<int>("status");
  QTest::newRow("X-Auth-Token") << "header" << 200;
  QTest::newRow("none") << "none" << 401;
  QTest::newRow("unknown token") << "unknown" << 401;
  QTest::newRow("as a bearer") << "bearer" << 401;
  QTest::newRow("in the query") << "query" << 401;
}

void TestFakeExchange::confdTokenHeaderOnly() {
  QFETCH(QString, how);
  QFETCH(int, status);
  const QByteArray t = token();
  Headers headers;
  QString path = ConfdRoot + QStringLiteral("/users");
  if (how == QLatin1String("header"))
    headers.append(qMakePair(QByteArray("X-Auth-Token"), t));
  else if (how == QLatin1String("unknown"))
    headers.append(qMakePair(QByteArray("X-Auth-Token"), QByteArray("0ff1ce00-0000-4000-8000-000000000000")));
  else if (how == QLatin1String("bearer"))
    headers.append(qMakePair(QByteArray("Authorization"), "Bearer " + t));
  else if (how == QLatin1String("query"))
    path += QStringLiteral("?token=") + QString::fromLatin1(t);
  const Answer a = call(url(path), "GET", headers);
  QCOMPARE(a.status, status);
  QVERIFY(!a.hasHeader("WWW-Authenticate"));
  if (status == 401) {
    QVERIFY(isArrayOfStrings(a.json()));
    QCOMPARE(a.json().array().size(), 1);
  }
}

void TestFakeExchange::listsHaveTheRealTypes() {
  const QJsonObject users = confd("GET", QStringLiteral("/users")).json().object();
  QCOMPARE(users.value(QStringLiteral("total")).toInt(), 300);
  const QJsonArray userItems = users.value(QStringLiteral("items")).toArray();
  QCOMPARE(userItems.size(), 300); // every item without a limit
  int nullLast = 0, nullEmail = 0, noLine = 0, noPermission = 0, leadingZero = 0;
  for (const QJsonValue &v : userItems) {
    const QJsonObject u = v.toObject();
    QVERIFY(u.value(QStringLiteral("id")).isDouble());
    QVERIFY(u.value(QStringLiteral("uuid")).isString());
    QVERIFY(u.value(QStringLiteral("firstname")).isString());
    QVERIFY(u.value(QStringLiteral("caller_id")).toString().startsWith(QLatin1Char('"')));
    for (const char *nullable : {"lastname", "email", "outgoing_caller_id"}) {
      const QJsonValue m = u.value(QLatin1String(nullable));
      QVERIFY2(m.isString() || m.isNull(), nullable);
      QVERIFY2(m.toString(QStringLiteral("x")) != QString(), "empty text instead of null");
    }
    nullLast += u.value(QStringLiteral("lastname")).isNull();
    nullEmail += u.value(QStringLiteral("email")).isNull();
    const QJsonArray lines = u.value(QStringLiteral("lines")).toArray();
    noLine += lines.isEmpty();
    noPermission += u.value(QStringLiteral("call_permissions")).toArray().isEmpty();
    for (const QJsonValue &p : u.value(QStringLiteral("call_permissions")).toArray()) {
      QVERIFY(p.toObject().value(QStringLiteral("id")).isDouble());
      QVERIFY(p.toObject().value(QStringLiteral("name")).isString());
    }
    if (!lines.isEmpty()) {
      const QJsonValue exten = lines.at(0)
                                   .toObject()
                                   .value(QStringLiteral("extensions"))
                                   .toArray()
                                   .at(0)
                                   .toObject()
                                   .value(QStringLiteral("exten"));
      QVERIFY(exten.isString());
      leadingZero += exten.toString().startsWith(QLatin1Char('0'));
    }
  }
  QVERIFY(nullLast > 0 && nullEmail > 0 && noLine > 0 && noPermission > 0 && leadingZero > 0);

  const QJsonArray incalls =
      confd("GET", QStringLiteral("/incalls")).json().object().value(QStringLiteral("items")).toArray();
  QSet<QString> types;
  bool withoutNumber = false;
  for (const QJsonValue &v : incalls) {
    const QJsonObject i = v.toObject();
    QVERIFY(!i.contains(QStringLiteral("compl_number")));
    const QJsonObject destination = i.value(QStringLiteral("destination")).toObject();
    types.insert(destination.value(QStringLiteral("type")).toString());
    if (destination.value(QStringLiteral("type")).toString() == QLatin1String("user")) {
      QVERIFY(destination.value(QStringLiteral("user_id")).isDouble());
      QVERIFY(destination.value(QStringLiteral("user_firstname")).isString());
      QVERIFY(destination.contains(QStringLiteral("user_lastname")));
    }
    const QJsonArray extensions = i.value(QStringLiteral("extensions")).toArray();
    withoutNumber |= extensions.isEmpty();
    for (const QJsonValue &e : extensions)
      QVERIFY(e.toObject().value(QStringLiteral("exten")).isString());
  }
  QCOMPARE(types, (QSet<QString>{QStringLiteral("user"), QStringLiteral("none"), QStringLiteral("group")}));
  QVERIFY(withoutNumber);

  const QJsonArray extensions =
      confd("GET", QStringLiteral("/extensions")).json().object().value(QStringLiteral("items")).toArray();
  bool incallExtension = false;
  for (const QJsonValue &v : extensions) {
    const QJsonObject e = v.toObject();
    QVERIFY(e.value(QStringLiteral("id")).isDouble());
    QVERIFY(e.value(QStringLiteral("exten")).isString());
    QVERIFY(e.value(QStringLiteral("lines")).isArray());
    incallExtension |= e.value(QStringLiteral("lines")).toArray().isEmpty();
  }
  QVERIFY(incallExtension);

  const QJsonArray permissions =
      confd("GET", QStringLiteral("/callpermissions")).json().object().value(QStringLiteral("items")).toArray();
  QVERIFY(permissions.size() >= 3);
  for (const QJsonValue &v : permissions) {
    QVERIFY(v.toObject().value(QStringLiteral("id")).isDouble());
    QVERIFY(v.toObject().value(QStringLiteral("name")).isString());
  }

  const Answer lines = confd("GET", QStringLiteral("/lines"));
  QCOMPARE(lines.status, 200);
  QVERIFY(lines.json().object().value(QStringLiteral("items")).isArray());
  const Answer devices = confd("GET", QStringLiteral("/devices/unallocated"));
  QCOMPARE(devices.status, 200);
  QVERIFY(devices.json()
              .object()
              .value(QStringLiteral("items"))
              .toArray()
              .at(0)
              .toObject()
              .value(QStringLiteral("id"))
              .isString());

  const QJsonObject page = confd("GET", QStringLiteral("/users?limit=5&offset=10")).json().object();
  QCOMPARE(page.value(QStringLiteral("total")).toInt(), 300);
  QCOMPARE(page.value(QStringLiteral("items")).toArray().size(), 5);
  QCOMPARE(page.value(QStringLiteral("items")).toArray().at(0).toObject().value(QStringLiteral("id")).toInt(), 11);
}

void TestFakeExchange::generatedNamesAndDeterminism() {
  const QJsonObject first = m_fake.state();
  FakeExchange other;
  QVERIFY2(other.startWithUsers(300), qPrintable(other.errorString()));
  QCOMPARE(other.state(), first);

  QString names;
  for (const QJsonValue &v : first.value(QStringLiteral("users")).toArray())
    names += v.toObject().value(QStringLiteral("firstname")).toString() + QLatin1Char(' ') +
             v.toObject().value(QStringLiteral("lastname")).toString() + QLatin1Char('\n');
  QVERIFY(names.contains(QLatin1Char('\'')));
  QVERIFY(names.contains(QLatin1Char('"')));
  QVERIFY(names.contains(QStringLiteral("é")));
}

void TestFakeExchange::putUserPartial() {
  const QJsonObject before = user(1);
  const Answer a = confd("PUT", QStringLiteral("/users/1"),
                         R"({"id": 999, "uuid": "not-mine", "lines": [], "lastname": "Nouveau-Nom"})");
  QCOMPARE(a.status, 204);
  QVERIFY(a.body.isEmpty());
  QVERIFY(!a.hasHeader("Content-Type"));
  const QJsonObject after = user(1);
  QCOMPARE(after.value(QStringLiteral("lastname")).toString(), QStringLiteral("Nouveau-Nom"));
  QCOMPARE(after.value(QStringLiteral("id")).toInt(), 1);
  for (const char *kept : {"uuid", "firstname", "email", "caller_id", "lines", "call_permissions"})
    QVERIFY2(after.value(QLatin1String(kept)) == before.value(QLatin1String(kept)), kept);

  // Cleared with null; an empty last name comes back as null too.
  QCOMPARE(confd("PUT", QStringLiteral("/users/1"), R"({"email": null, "lastname": ""})").status, 204);
  QVERIFY(user(1).value(QStringLiteral("email")).isNull());
  QVERIFY(user(1).value(QStringLiteral("lastname")).isNull());
}

void TestFakeExchange::putUserRefused_data() {
  QTest::addColumn<QString>("path");
  QTest::addColumn<QByteArray>("body");
  QTest::addColumn<bool>("json");
  QTest::addColumn<int>("status");
  QTest::newRow("firstname null") << "/users/2" << QByteArray(R"({"firstname": null})") << true << 400;
  QTest::newRow("caller_id null") << "/users/2" << QByteArray(R"({"caller_id": null})") << true << 400;
  QTest::newRow("caller_id unquoted") << "/users/2" << QByteArray(R"({"caller_id": "Zoé"})") << true << 400;
  QTest::newRow("email empty") << "/users/2" << QByteArray(R"({"email": ""})") << true << 400;
  QTest::newRow("email not an address") << "/users/2" << QByteArray(R"({"email": "zoe at home"})") << true << 400;
  QTest::newRow("one bad member spoils all")
      << "/users/2" << QByteArray(R"({"lastname": "X", "email": ""})") << true << 400;
  QTest::newRow("body not JSON") << "/users/2" << QByteArray("firstname=Zoé") << true << 400;
  QTest::newRow("no Content-Type") << "/users/2" << QByteArray(R"({"lastname": "X"})") << false << 415;
  QTest::newRow("unknown user") << "/users/4242" << QByteArray(R"({"lastname": "X"})") << true << 404;
}

void TestFakeExchange::putUserRefused() {
  QFETCH(QString, path);
  QFETCH(QByteArray, body);
  QFETCH(bool, json);
  QFETCH(int, status);
  const QJsonObject before = user(2);
  const Answer a = confd("PUT", path, body, json);
  QCOMPARE(a.status, status);
  QVERIFY2(isArrayOfStrings(a.json()), a.body.constData());
  if (status == 404)
    QCOMPARE(a.json().array().at(0).toString(), QStringLiteral("Resource Not Found - User was not found ('id': 4242)"));
  QCOMPARE(user(2), before);
}

void TestFakeExchange::putIncall_data() {
  QTest::addColumn<QByteArray>("body");
  QTest::addColumn<int>("status");
  QTest::addColumn<QString>("type"); // afterwards
  QTest::newRow("to nobody") << QByteArray(R"({"destination": {"type": "none"}})") << 204 << "none";
  QTest::newRow("to a user") << QByteArray(R"({"destination": {"type": "user", "user_id": 2}})") << 204 << "user";
  QTest::newRow("destination left out") << QByteArray(R"({"description": "x"})") << 204 << "user";
  QTest::newRow("empty destination") << QByteArray(R"({"destination": {}})") << 400 << "user";
  QTest::newRow("null destination") << QByteArray(R"({"destination": null})") << 400 << "user";
  QTest::newRow("user without id") << QByteArray(R"({"destination": {"type": "user"}})") << 400 << "user";
  QTest::newRow("unknown user") << QByteArray(R"({"destination": {"type": "user", "user_id": 4242}})") << 400 << "user";
  QTest::newRow("id as text") << QByteArray(R"({"destination": {"type": "user", "user_id": "2"}})") << 400 << "user";
}

void TestFakeExchange::putIncall() {
  QFETCH(QByteArray, body);
  QFETCH(int, status);
  QFETCH(QString, type);
  // Incall 1 rings user 1 in the generated data.
  const Answer a = confd("PUT", QStringLiteral("/incalls/1"), body);
  QCOMPARE(a.status, status);
  if (status != 204)
    QVERIFY(isArrayOfStrings(a.json()));
  const QJsonObject destination =
      confd("GET", QStringLiteral("/incalls/1")).json().object().value(QStringLiteral("destination")).toObject();
  QCOMPARE(destination.value(QStringLiteral("type")).toString(), type);
  if (body.contains("\"user_id\": 2") && status == 204) {
    QCOMPARE(destination.value(QStringLiteral("user_id")).toInt(), 2);
    QCOMPARE(destination.value(QStringLiteral("user_firstname")).toString(),
             user(2).value(QStringLiteral("firstname")).toString());
  }
}

void TestFakeExchange::callPermissionLinksIdempotent() {
  auto permissions = [this] {
    QList<int> ids;
    for (const QJsonValue &p : user(5).value(QStringLiteral("call_permissions")).toArray())
      ids.append(p.toObject().value(QStringLiteral("id")).toInt());
    return ids;
  };
  // User 5 has no permission in the generated data.
  QCOMPARE(permissions(), QList<int>{});
  QCOMPARE(confd("PUT", QStringLiteral("/users/5/callpermissions/3"), {}, false).status, 204);
  QCOMPARE(confd("PUT", QStringLiteral("/users/5/callpermissions/3"), {}, false).status, 204);
  QCOMPARE(permissions(), QList<int>{3});
  QCOMPARE(confd("DELETE", QStringLiteral("/users/5/callpermissions/3")).status, 204);
  QCOMPARE(confd("DELETE", QStringLiteral("/users/5/callpermissions/3")).status, 204);
  QCOMPARE(permissions(), QList<int>{});
  const Answer unknownUser = confd("PUT", QStringLiteral("/users/4242/callpermissions/3"));
  QCOMPARE(unknownUser.status, 404);
  QVERIFY(isArrayOfStrings(unknownUser.json()));
  QCOMPARE(confd("DELETE", QStringLiteral("/users/5/callpermissions/99")).status, 404);
}

void TestFakeExchange::faults() {
  const QString users = ConfdRoot + QStringLiteral("/users");
  const QByteArray t = token();
  const Headers auth{{"X-Auth-Token", t}};

  QVERIFY(m_fake.failWith(users, 500));
  Answer a = call(url(users), "GET", auth);
  QCOMPARE(a.status, 500);
  QVERIFY(isArrayOfStrings(a.json()));

  QVERIFY(m_fake.clearFaults());
  QVERIFY(m_fake.htmlPage(users));
  a = call(url(users), "GET", auth);
  QCOMPARE(a.status, 200);
  QCOMPARE(a.header("Content-Type"), QByteArray("text/html"));
  QVERIFY(a.body.startsWith("<html>"));

  QVERIFY(m_fake.clearFaults());
  QVERIFY(m_fake.truncateBody(users));
  a = call(url(users), "GET", auth);
  QCOMPARE(a.status, 200);
  QCOMPARE(a.error, QNetworkReply::NoError);
  QCOMPARE(a.header("Content-Length").toInt(), a.body.size());
  QJsonParseError error;
  QJsonDocument::fromJson(a.body, &error);
  QVERIFY(error.error != QJsonParseError::NoError);

  QVERIFY(m_fake.clearFaults());
  QVERIFY(m_fake.hugeBody(users, 5 * 1024 * 1024));
  a = call(url(users), "GET", auth);
  QVERIFY(a.body.size() > 5 * 1024 * 1024);
  QCOMPARE(a.json().object().value(QStringLiteral("items")).toArray().size(), 300);

  QVERIFY(m_fake.clearFaults());
  QVERIFY(m_fake.resetConnection(users));
  a = call(url(users), "GET", auth);
  QCOMPARE(a.error, QNetworkReply::RemoteHostClosedError);
  QCOMPARE(a.status, 0);

  QVERIFY(m_fake.clearFaults());
  QVERIFY(m_fake.delay(users, 200));
  a = call(url(users), "GET", auth);
  QCOMPARE(a.status, 200);

  QVERIFY(m_fake.clearFaults());
  QVERIFY(m_fake.expireTokens());
  a = call(url(users), "GET", auth);
  QCOMPARE(a.status, 401);
  QVERIFY(isArrayOfStrings(a.json()));
  QVERIFY(m_fake.clearFaults());
  QCOMPARE(call(url(users), "GET", auth).status, 200);
}

void TestFakeExchange::hangAndCount() {
  // Only the next token request goes unanswered; the one after is served.
  QVERIFY(m_fake.hang(TokenRoute, QStringLiteral("POST"), 1));
  const Headers auth{{"Authorization", basic(m_fake.login(), m_fake.password())}};
  const Answer silent = call(url(TokenRoute), "POST", auth, R"({"expiration":30})", 300);
  QCOMPARE(silent.error, QNetworkReply::OperationCanceledError);
  QCOMPARE(silent.status, 0);
  QCOMPARE(call(url(TokenRoute), "POST", auth, R"({"expiration":30})").status, 200);
  // Both were read and recorded, the unanswered one too.
  QCOMPARE(m_fake.requests("POST", TokenRoute.toLatin1()).size(), 2);
}

// The record holds the request line's target as sent ("//" kept), the
// headers in order with their own spelling, and the body.
void TestFakeExchange::recordKeepsTheWire() {
  QSslSocket socket;
  socket.setPeerVerifyMode(QSslSocket::VerifyNone);
  socket.connectToHostEncrypted(QStringLiteral("127.0.0.1"), m_fake.port());
  QVERIFY2(socket.waitForEncrypted(10000), qPrintable(socket.errorString()));
  socket.write("POST //api/auth/0.1/token?x=1 HTTP/1.1\r\n"
               "Host: 127.0.0.1\r\n"
               "x-lower: a\r\n"
               "X-Mixed-Case: b\r\n"
               "x-lower: c\r\n"
               "Content-Length: 17\r\n"
               "\r\n"
               "{\"expiration\":30}");
  QByteArray answer;
  while (!answer.contains("\r\n\r\n") && socket.waitForReadyRead(10000))
    answer += socket.readAll();
  QVERIFY2(answer.startsWith("HTTP/1.1 401 "), answer.constData()); // routed like a reverse proxy would

  const QList<FakeRequest> requests = m_fake.requests();
  QCOMPARE(requests.size(), 1);
  const FakeRequest &r = requests.at(0);
  QCOMPARE(r.method, QByteArray("POST"));
  QCOMPARE(r.target, QByteArray("//api/auth/0.1/token?x=1"));
  QCOMPARE(r.path, QByteArray("//api/auth/0.1/token"));
  QCOMPARE(r.query, QByteArray("x=1"));
  QCOMPARE(r.headerNames(), (QList<QByteArray>{"Host", "x-lower", "X-Mixed-Case", "x-lower", "Content-Length"}));
  QCOMPARE(r.header("X-LOWER"), QByteArray("a"));
  QCOMPARE(r.body, QByteArray("{\"expiration\":30}"));
}

QTEST_GUILESS_MAIN(TestFakeExchange)
#include "test_fakeexchange.moc"
