// RestGet and RestSend against the fake exchange over real HTTPS: the URL,
// the headers on the wire, the status record with its carriage returns,
// the trace lines, body decoding and client errors.

#include "APIWazoHttp.h"
#include "FakeExchange.h"
#include "test_http_support.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QtTest>

namespace {
const QString UsersPath = QStringLiteral("/api/confd/1.1/users");
// Nothing listens there: connections are refused at once.
const QString ClosedBase = QStringLiteral("https://127.0.0.1:1");

void verifyMatches(const QString &text, const QString &pattern) {
  QVERIFY2(QRegularExpression(QStringLiteral("^") + pattern + QStringLiteral("$")).match(text).hasMatch(),
           qPrintable(QStringLiteral("%1\n  does not match\n%2").arg(text, pattern)));
}
} // namespace

class TestHttpRest : public QObject {
  Q_OBJECT

private slots:
  void initTestCase() {
    QVERIFY2(m_fake.startWithDataset(QStringLiteral("api/http-small.json")), qPrintable(m_fake.errorString()));
  }
  void init();
  void cleanup() { m_bench.end(); }

  void getOk();
  void getNotFound();
  void getBaseEndingInSlash();
  void getCharset_data();
  void getCharset();
  void getExpiredToken();
  void sendExpiredTokenNotRepeated_data();
  void sendExpiredTokenNotRepeated();
  void getClientError_data();
  void getClientError();
  void sendEmptyMethodIsPut();
  void sendDeleteWithoutBody();
  void sendRefused_data();
  void sendRefused();
  void sendClientError();
  void sendUnsupportedMethod();

private:
  QString freshToken();

  FakeExchange m_fake;
  HttpTestBench m_bench;
  QString m_token;
};

void TestHttpRest::init() {
  QVERIFY(m_fake.clearFaults());
  QVERIFY(m_fake.loadDataset(QStringLiteral("api/http-small.json")));
  m_bench.begin();
  m_fake.configure(*PortConfig);
  m_token = freshToken();
  QVERIFY(!m_token.isEmpty());
  // Only the request under test stays on the wire record and in the log.
  QVERIFY(m_fake.clearRequests());
  m_bench.clearTrace();
}

QString TestHttpRest::freshToken() {
  QString token;
  TResExtract result;
  GetToken(*PortConfig, token, result);
  return token;
}

void TestHttpRest::getOk() {
  QString content;
  TResExtract result;
  RestGet(*PortConfig, m_token, UsersPath, content, result);

  const QString url = m_fake.baseUrl() + UsersPath;
  QCOMPARE(result.iRes, 0);
  verifyMatches(result.sRes, QStringLiteral("\r>>GET, \\(") + QRegularExpression::escape(url) +
                                 QStringLiteral("\\) :200\rOK, Header :") + fakeHeaderPattern("application/json"));
  const QJsonObject list = QJsonDocument::fromJson(content.toUtf8()).object();
  QCOMPARE(list.value(QStringLiteral("total")).toInt(), 3);
  QCOMPARE(list.value(QStringLiteral("items")).toArray().at(1).toObject().value(QStringLiteral("lastname")).toString(),
           QStringLiteral("O'Brien"));
  QVERIFY(content.contains(QStringLiteral("Zoé")));

  // Two trace lines: the status record, then the body as received.
  QCOMPARE(m_bench.traceLines(), (QStringList{result.sRes, content}));
  QVERIFY(!m_bench.traceText().contains(m_token));

  const QList<FakeRequest> wire = m_fake.requests();
  QCOMPARE(wire.size(), 1);
  const FakeRequest &get = wire.at(0);
  QCOMPARE(get.method, QByteArray("GET"));
  QCOMPARE(get.target, UsersPath.toLatin1());
  QCOMPARE(get.header("X-Auth-Token"), m_token.toLatin1());
  QCOMPARE(get.header("Accept"), QByteArray("*/*"));
  QCOMPARE(get.header("User-Agent"), QByteArray("Tolvane"));
  QVERIFY2(!get.hasHeader("Content-Type"), qPrintable(get.wireText()));
  QVERIFY(!get.hasHeader("Authorization"));
  QVERIFY(get.body.isEmpty());
}

void TestHttpRest::getNotFound() {
  const QString path = QStringLiteral("/api/confd/1.1/users/424242");
  QString content = QStringLiteral("stale");
  TResExtract result;
  RestGet(*PortConfig, m_token, path, content, result);
  QCOMPARE(result.iRes, 363);
  QCOMPARE(content, QString());
  verifyMatches(result.sRes, QStringLiteral("\r>>GET, \\(") + QRegularExpression::escape(m_fake.baseUrl() + path) +
                                 QStringLiteral("\\) :404\rE: GET, Header :") + fakeHeaderPattern("application/json"));
  QCOMPARE(m_bench.traceLines(), (QStringList{result.sRes, QString()}));
}

void TestHttpRest::getBaseEndingInSlash() {
  PortConfig->SetPB_HTTP_BASE_URL(m_fake.baseUrl() + QLatin1Char('/'));
  QString content;
  TResExtract result;
  RestGet(*PortConfig, m_token, UsersPath, content, result);
  QCOMPARE(result.iRes, 0);
  QVERIFY2(result.sRes.startsWith(QStringLiteral("\r>>GET, (") + m_fake.baseUrl() +
                                  QStringLiteral("//api/confd/1.1/users) :200\r")),
           qPrintable(result.sRes));
}

void TestHttpRest::getCharset_data() {
  QTest::addColumn<QString>("encoding");
  QTest::addColumn<QByteArray>("contentType");
  QTest::addColumn<QByteArray>("body");
  QTest::addColumn<QString>("expected");

  const QByteArray latin1 = QStringLiteral(R"({"firstname":"Zoé Noël"})").toLatin1();
  const QByteArray utf8 = QStringLiteral(R"({"firstname":"Zoé Noël"})").toUtf8();
  const QString text = QStringLiteral(R"({"firstname":"Zoé Noël"})");
  const QByteArray latinType = "application/json; charset=iso-8859-1";

  QTest::newRow("declared latin-1, encoding empty") << "" << latinType << latin1 << text;
  QTest::newRow("declared latin-1, encoding UTF8 wins")
      << "UTF8" << latinType << latin1 << QStringLiteral("{\"firstname\":\"Zo\uFFFD No\uFFFDl\"}");
  QTest::newRow("declared latin-1, encoding utf8 is not UTF8") << "utf8" << latinType << latin1 << text;
  QTest::newRow("declared latin-1, quoted")
      << "" << QByteArray("application/json;charset=\"ISO-8859-1\"") << latin1 << text;
  QTest::newRow("nothing declared: UTF-8") << "" << QByteArray("application/json") << utf8 << text;
  QTest::newRow("declared utf-8") << "latin1" << QByteArray("application/json; charset=utf-8") << utf8 << text;
  QTest::newRow("encoding UTF7") << "UTF7" << QByteArray("application/json")
                                 << QByteArray(R"({"firstname":"Zo+AOk- No+AOs-l"})") << text;
  QTest::newRow("unknown charset: UTF-8") << "" << QByteArray("application/json; charset=x-nonesuch") << utf8 << text;
}

void TestHttpRest::getCharset() {
  QFETCH(QString, encoding);
  QFETCH(QByteArray, contentType);
  QFETCH(QByteArray, body);
  QFETCH(QString, expected);
  PortConfig->Setencoding(encoding);
  QVERIFY(m_fake.respond(QStringLiteral("/api/confd/1.1/users/1"), 200, contentType, body));
  QString content;
  TResExtract result;
  RestGet(*PortConfig, m_token, QStringLiteral("/api/confd/1.1/users/1"), content, result);
  QCOMPARE(result.iRes, 0);
  QCOMPARE(content, expected);
  QCOMPARE(m_bench.traceLines().value(1), expected);
}

// A refused token is the answer: no new token is asked for.
void TestHttpRest::getExpiredToken() {
  QVERIFY(m_fake.expireTokens());
  QString content;
  TResExtract result;
  RestGet(*PortConfig, m_token, UsersPath, content, result);
  QCOMPARE(result.iRes, 363);
  QVERIFY(content.isEmpty());
  QVERIFY2(result.sRes.contains(QStringLiteral(") :401\rE: GET, Header :|Server : nginx|")), qPrintable(result.sRes));
  QVERIFY(m_fake.requests("POST").isEmpty());
  // Sent once, and never with the login and password: a 401 of the
  // configuration service is no challenge.
  QCOMPARE(m_fake.requests("GET").size(), 1);
  for (const FakeRequest &get : m_fake.requests("GET")) {
    QCOMPARE(get.header("X-Auth-Token"), m_token.toLatin1());
    QVERIFY(!get.hasHeader("Authorization"));
  }
}

void TestHttpRest::sendExpiredTokenNotRepeated_data() {
  QTest::addColumn<QString>("method");
  QTest::newRow("PUT") << "PUT";
  QTest::newRow("DELETE") << "DELETE";
}

void TestHttpRest::sendExpiredTokenNotRepeated() {
  QFETCH(QString, method);
  QVERIFY(m_fake.expireTokens());
  TResExtract result;
  const QString path = method == QLatin1String("PUT") ? QStringLiteral("/api/confd/1.1/users/1")
                                                      : QStringLiteral("/api/confd/1.1/users/1/callpermissions/2");
  RestSend(*PortConfig, m_token, path, method == QLatin1String("PUT") ? QStringLiteral(R"({"id": 1})") : QString(),
           method, result);
  QCOMPARE(result.iRes, 363);
  QVERIFY2(result.sRes.contains(QStringLiteral(") :401\r")), qPrintable(result.sRes));
  const QList<FakeRequest> sent = m_fake.requests(method.toLatin1());
  QCOMPARE(sent.size(), 1);
  QVERIFY(!sent.first().hasHeader("Authorization"));
}

void TestHttpRest::getClientError_data() {
  QTest::addColumn<QString>("base");  // "fake" for the fake's own base URL
  QTest::addColumn<QString>("fault"); // "reset" or ""
  QTest::addColumn<QString>("kind");
  QTest::newRow("connection refused") << ClosedBase << ""
                                      << "ConnectionRefusedError";
  QTest::newRow("connection reset") << "fake"
                                    << "reset"
                                    << "RemoteHostClosedError";
  QTest::newRow("base empty: bare path") << ""
                                         << ""
                                         << "ProtocolUnknownError";
  QTest::newRow("name not resolved") << "https://larkspan-no-such-host.invalid"
                                     << ""
                                     << "HostNotFoundError";
}

void TestHttpRest::getClientError() {
  QFETCH(QString, base);
  QFETCH(QString, fault);
  QFETCH(QString, kind);
  if (base == QLatin1String("fake"))
    base = m_fake.baseUrl();
  PortConfig->SetPB_HTTP_BASE_URL(base);
  if (fault == QLatin1String("reset"))
    QVERIFY(m_fake.resetConnection(UsersPath));
  QString content = QStringLiteral("stale");
  TResExtract result;
  RestGet(*PortConfig, m_token, UsersPath, content, result);
  QCOMPARE(result.iRes, 365);
  QCOMPARE(content, QString());
  const QString url = base + UsersPath;
  QVERIFY2(result.sRes.startsWith(QStringLiteral("Err GET : ") + kind + QStringLiteral(": ")), qPrintable(result.sRes));
  QVERIFY2(result.sRes.endsWith(QLatin1Char(':') + url + QStringLiteral(":365")), qPrintable(result.sRes));
  QVERIFY(!result.sRes.contains(QLatin1Char('\r')));
  QCOMPARE(m_bench.traceLines(), (QStringList{result.sRes, QString()}));
}

void TestHttpRest::sendEmptyMethodIsPut() {
  const QString path = QStringLiteral("/api/confd/1.1/users/2");
  const QString body = QStringLiteral(R"({"id": 2, "firstname": "Séamus", "email": null})");
  TResExtract result;
  RestSend(*PortConfig, m_token, path, body, QString(), result);

  const QString url = m_fake.baseUrl() + path;
  QCOMPARE(result.iRes, 0);
  verifyMatches(result.sRes, QStringLiteral("\r>>PUT, \\(") + QRegularExpression::escape(url) +
                                 QStringLiteral("\\) :204\rOK:PUT, Header :") + fakeHeaderPattern(QString(), false));
  QCOMPARE(m_bench.traceLines(), (QStringList{QStringLiteral(">REST: PUT,") + url, result.sRes}));

  const QList<FakeRequest> wire = m_fake.requests();
  QCOMPARE(wire.size(), 1);
  const FakeRequest &put = wire.at(0);
  QCOMPARE(put.method, QByteArray("PUT"));
  QCOMPARE(put.target, path.toLatin1());
  QCOMPARE(put.body, body.toUtf8());
  QCOMPARE(put.header("Content-Type"), QByteArray("application/json"));
  QCOMPARE(put.header("X-Auth-Token"), m_token.toLatin1());
  QCOMPARE(put.header("Accept"), QByteArray("*/*"));
  QCOMPARE(put.header("User-Agent"), QByteArray("Tolvane"));

  // Applied by the exchange: the next read shows it.
  const QJsonObject user = m_fake.state().value(QStringLiteral("users")).toArray().at(1).toObject();
  QCOMPARE(user.value(QStringLiteral("firstname")).toString(), QStringLiteral("Séamus"));
  QVERIFY(user.value(QStringLiteral("email")).isNull());
}

void TestHttpRest::sendDeleteWithoutBody() {
  const QString path = QStringLiteral("/api/confd/1.1/users/1/callpermissions/2");
  TResExtract result;
  RestSend(*PortConfig, m_token, path, QStringLiteral(R"({"not": "sent"})"), QStringLiteral("DELETE"), result);
  const QString url = m_fake.baseUrl() + path;
  QCOMPARE(result.iRes, 0);
  QVERIFY2(
      result.sRes.startsWith(QStringLiteral("\r>>DELETE, (") + url + QStringLiteral(") :204\rOK:DELETE, Header :|")),
      qPrintable(result.sRes));
  QCOMPARE(m_bench.traceLines(), (QStringList{QStringLiteral(">REST: DELETE,") + url, result.sRes}));

  const QList<FakeRequest> wire = m_fake.requests();
  QCOMPARE(wire.size(), 1);
  QCOMPARE(wire.at(0).method, QByteArray("DELETE"));
  QVERIFY(wire.at(0).body.isEmpty());
  QVERIFY(wire.at(0).header("Content-Length").isNull() || wire.at(0).header("Content-Length") == "0");
  QCOMPARE(wire.at(0).header("Content-Type"), QByteArray("application/json"));
  QVERIFY(m_fake.state()
              .value(QStringLiteral("users"))
              .toArray()
              .at(0)
              .toObject()
              .value(QStringLiteral("call_permissions"))
              .toArray()
              .isEmpty());
}

void TestHttpRest::sendRefused_data() {
  QTest::addColumn<QString>("path");
  QTest::addColumn<QString>("body");
  QTest::addColumn<QString>("method");
  QTest::addColumn<int>("status");
  QTest::newRow("e-mail empty") << "/api/confd/1.1/users/1"
                                << R"({"id": 1, "email": ""})"
                                << "PUT" << 400;
  QTest::newRow("unknown user") << "/api/confd/1.1/users/999"
                                << R"({"id": 999})"
                                << "PUT" << 404;
  QTest::newRow("unknown permission") << "/api/confd/1.1/users/1/callpermissions/77"
                                      << ""
                                      << "DELETE" << 404;
  QTest::newRow("incomplete destination") << "/api/confd/1.1/incalls/1"
                                          << R"({"destination": {}})"
                                          << "PUT" << 400;
}

void TestHttpRest::sendRefused() {
  QFETCH(QString, path);
  QFETCH(QString, body);
  QFETCH(QString, method);
  QFETCH(int, status);
  TResExtract result;
  RestSend(*PortConfig, m_token, path, body, method, result);
  const QString url = m_fake.baseUrl() + path;
  // 363 reads "HTTP : err. GET" whatever the method.
  QCOMPARE(result.iRes, 363);
  verifyMatches(result.sRes, QStringLiteral("\r>>") + method + QStringLiteral(", \\(") +
                                 QRegularExpression::escape(url) + QStringLiteral("\\) :") + QString::number(status) +
                                 QStringLiteral("\rE: ") + method + QStringLiteral(", Header :") +
                                 fakeHeaderPattern("application/json"));
  QCOMPARE(m_bench.traceLines(),
           (QStringList{QStringLiteral(">REST: ") + method + QLatin1Char(',') + url, result.sRes}));
}

void TestHttpRest::sendClientError() {
  PortConfig->SetPB_HTTP_BASE_URL(ClosedBase);
  const QString path = QStringLiteral("/api/confd/1.1/users/1");
  TResExtract result;
  RestSend(*PortConfig, m_token, path, QStringLiteral(R"({"id": 1})"), QStringLiteral("PUT"), result);
  QCOMPARE(result.iRes, 365);
  QVERIFY2(result.sRes.startsWith(QStringLiteral("E: PUT : ConnectionRefusedError: ")), qPrintable(result.sRes));
  QVERIFY2(result.sRes.endsWith(QStringLiteral(": (") + ClosedBase + path + QStringLiteral("): 365")),
           qPrintable(result.sRes));
  // Only the error line: nothing was answered, so no ">REST: " line.
  QCOMPARE(m_bench.traceLines(), QStringList{result.sRes});
}

void TestHttpRest::sendUnsupportedMethod() {
  TResExtract result;
  RestSend(*PortConfig, m_token, QStringLiteral("/api/confd/1.1/users/1"), QStringLiteral("{}"), QStringLiteral("put"),
           result);
  QVERIFY(result.iRes != 0);
  QVERIFY(m_fake.requests().isEmpty());
  QCOMPARE(m_bench.traceLines(), QStringList{result.sRes});
}

QTEST_GUILESS_MAIN(TestHttpRest)
#include "test_httprest.moc"
