// GetToken against the fake exchange over real HTTPS: the bare-401
// challenge, the URL rules, failures and their detail texts, trace lines.

#include "APIWazoHttp.h"
#include "FakeExchange.h"
#include "LarkspanError.h"
#include "test_http_support.h"

#include <QElapsedTimer>
#include <QRegularExpression>
#include <QtTest>

namespace {
const QByteArray TokenTarget = "/api/auth/0.1/token";
const QRegularExpression UuidPattern(QStringLiteral("^[0-9a-f]{8}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{12}$"));
} // namespace

class TestHttpToken : public QObject {
  Q_OBJECT

private slots:
  void initTestCase() { QVERIFY2(m_fake.start(), qPrintable(m_fake.errorString())); }
  void init() {
    QVERIFY(m_fake.clearFaults());
    QVERIFY(m_fake.clearRequests());
    m_bench.begin();
    m_fake.configure(*PortConfig);
  }
  void cleanup() { m_bench.end(); }

  void tokenAfterBareChallenge();
  void wrongPassword();
  void silentServerTimesOutAfterOneSecond();
  void connectionReset();
  void tokenUrl_data();
  void tokenUrl();
  void bothUrlsEmpty();
  void composedUrlInDetail_data();
  void composedUrlInDetail();
  void successWithoutToken_data();
  void successWithoutToken();
  void failureDetail_data();
  void failureDetail();
  void bodyNotJson_data();
  void bodyNotJson();
  void namedSchemeAnsweredByQt();

private:
  FakeExchange m_fake;
  HttpTestBench m_bench;
};

void TestHttpToken::tokenAfterBareChallenge() {
  QString token;
  TResExtract result;
  GetToken(*PortConfig, token, result);

  QCOMPARE(result.iRes, 0);
  QCOMPARE(result.sRes, QStringLiteral("OK"));
  QVERIFY2(UuidPattern.match(token).hasMatch(), qPrintable(token));

  // Exactly two POSTs: the bare one, answered 401, then the same with Basic.
  const QList<FakeRequest> posts = m_fake.requests();
  QCOMPARE(posts.size(), 2);
  for (const FakeRequest &post : posts) {
    QCOMPARE(post.method, QByteArray("POST"));
    QCOMPARE(post.target, TokenTarget);
    QCOMPARE(post.body, QByteArray("{\"expiration\":30}"));
    QVERIFY2(!post.hasHeader("Content-Type"), qPrintable(post.wireText()));
    QVERIFY(!post.hasHeader("Accept"));
    QVERIFY(!post.hasHeader("X-Auth-Token"));
  }
  QVERIFY2(!posts.at(0).hasHeader("Authorization"), qPrintable(posts.at(0).wireText()));
  QCOMPARE(posts.at(1).header("Authorization"), "Basic " + QByteArray("admin:secret").toBase64());

  // One trace line, and neither the token nor the password in it.
  QCOMPARE(m_bench.traceLines(), QStringList{QStringLiteral("OK")});
  QVERIFY(!m_bench.traceText().contains(token));

  // The token is one the configuration service takes.
  QString content;
  TResExtract get;
  RestGet(*PortConfig, token, QStringLiteral("/api/confd/1.1/callpermissions"), content, get);
  QCOMPARE(get.iRes, 0);
}

void TestHttpToken::wrongPassword() {
  PortConfig->SetPB_HTTP_PASSW(QStringLiteral("not-the-password"));
  QString token = QStringLiteral("left alone");
  TResExtract result;
  GetToken(*PortConfig, token, result);

  QCOMPARE(result.iRes, 367);
  QCOMPARE(result.sRes, QStringLiteral("E: [\"Authentication Failed\"]"));
  QCOMPARE(token, QStringLiteral("left alone"));
  QCOMPARE(m_bench.traceLines(), QStringList{result.sRes});
  QVERIFY(!m_bench.traceText().contains(QStringLiteral("not-the-password")));

  const QList<FakeRequest> posts = m_fake.requests("POST", TokenTarget);
  QCOMPARE(posts.size(), 2);
  QVERIFY(!posts.at(0).hasHeader("Authorization"));
  QCOMPARE(posts.at(1).header("Authorization"), "Basic " + QByteArray("admin:not-the-password").toBase64());
}

void TestHttpToken::silentServerTimesOutAfterOneSecond() {
  QVERIFY(m_fake.hang(QString::fromLatin1(TokenTarget)));
  QString token = QStringLiteral("left alone");
  TResExtract result;
  // Timers keep running during the wait (the activity indicator turns).
  int ticks = 0;
  QTimer ticker;
  connect(&ticker, &QTimer::timeout, this, [&ticks] { ++ticks; });
  ticker.start(50);
  QElapsedTimer clock;
  clock.start();
  GetToken(*PortConfig, token, result);
  const qint64 elapsed = clock.elapsed();
  ticker.stop();
  QVERIFY2(ticks >= 5, qPrintable(QString::number(ticks)));

  QCOMPARE(result.iRes, 375);
  const QString url = m_fake.baseUrl() + QLatin1String(TokenTarget);
  // Told apart from a cancel: the kind names the time-out.
  QVERIFY2(result.sRes.startsWith(QStringLiteral("E:")), qPrintable(result.sRes));
  QVERIFY2(result.sRes.contains(QStringLiteral("(TimeoutError)")), qPrintable(result.sRes));
  QVERIFY2(result.sRes.endsWith(QStringLiteral("(TimeoutError), (") + url + QStringLiteral("), res: 375")),
           qPrintable(result.sRes));
  QCOMPARE(token, QStringLiteral("left alone"));
  QCOMPARE(m_bench.traceLines(), QStringList{result.sRes});
  // The 1000 ms bound, not the 60-second default.
  QVERIFY2(elapsed >= 900 && elapsed < 10000, qPrintable(QString::number(elapsed)));
  QCOMPARE(m_fake.requests("POST", TokenTarget).size(), 1);
}

void TestHttpToken::connectionReset() {
  QVERIFY(m_fake.resetConnection(QString::fromLatin1(TokenTarget)));
  QString token;
  TResExtract result;
  GetToken(*PortConfig, token, result);
  QCOMPARE(result.iRes, 375);
  QVERIFY2(result.sRes.contains(QStringLiteral("(RemoteHostClosedError), (")), qPrintable(result.sRes));
  QVERIFY(token.isEmpty());
}

void TestHttpToken::tokenUrl_data() {
  QTest::addColumn<QString>("baseSuffix");   // appended to the fake's base URL; "-" for an empty base
  QTest::addColumn<QString>("tokenUrlPath"); // appended to the fake's base URL for PB_HTTP_TOKENURL
  QTest::addColumn<QString>("numPort");
  QTest::addColumn<QByteArray>("target"); // as the fake read it

  QTest::newRow("base with explicit port") << ""
                                           << ""
                                           << "" << TokenTarget;
  // Qt merges the two slashes on the wire; the composed URL keeps them
  // (see composedUrlInDetail).
  QTest::newRow("base ending in a slash") << "/"
                                          << ""
                                          << "" << TokenTarget;
  QTest::newRow("port setting differs from the URL's") << ""
                                                       << ""
                                                       << "8443" << TokenTarget;
  QTest::newRow("base empty, token URL used as is") << "-"
                                                    << "/api/auth/0.1/token?tenant=main"
                                                    << "" << TokenTarget + "?tenant=main";
  QTest::newRow("token URL ignored while a base is set") << ""
                                                         << "/elsewhere/token"
                                                         << "" << TokenTarget;
}

void TestHttpToken::tokenUrl() {
  QFETCH(QString, baseSuffix);
  QFETCH(QString, tokenUrlPath);
  QFETCH(QString, numPort);
  QFETCH(QByteArray, target);
  PortConfig->SetPB_HTTP_BASE_URL(baseSuffix == QLatin1String("-") ? QString() : m_fake.baseUrl() + baseSuffix);
  PortConfig->SetPB_HTTP_TOKENURL(tokenUrlPath.isEmpty() ? QString() : m_fake.baseUrl() + tokenUrlPath);
  PortConfig->SetPB_HTTP_NUMPORT(numPort);

  QString token;
  TResExtract result;
  GetToken(*PortConfig, token, result);
  QCOMPARE(result.iRes, 0);
  QVERIFY(UuidPattern.match(token).hasMatch());
  const QList<FakeRequest> requests = m_fake.requests();
  QCOMPARE(requests.size(), 2);
  QCOMPARE(requests.at(0).target, target);
  QCOMPARE(requests.at(1).target, target);
}

void TestHttpToken::bothUrlsEmpty() {
  PortConfig->SetPB_HTTP_BASE_URL(QString());
  PortConfig->SetPB_HTTP_TOKENURL(QString());
  QString token = QStringLiteral("left alone");
  TResExtract result;
  GetToken(*PortConfig, token, result);
  QCOMPARE(result.iRes, 375);
  QVERIFY2(result.sRes.startsWith(QStringLiteral("E:")), qPrintable(result.sRes));
  QVERIFY2(result.sRes.endsWith(QStringLiteral("), (), res: 375")), qPrintable(result.sRes));
  QCOMPARE(token, QStringLiteral("left alone"));
  QCOMPARE(m_bench.traceLines(), QStringList{result.sRes});
  QVERIFY(m_fake.requests().isEmpty());
}

// The token URL is the base followed directly by the path, with nothing
// added or removed; a refused connection shows it in the detail.
void TestHttpToken::composedUrlInDetail_data() {
  QTest::addColumn<QString>("base");
  QTest::addColumn<QString>("tokenUrl");
  QTest::addColumn<QString>("url");
  QTest::newRow("explicit port") << "https://127.0.0.1:1"
                                 << ""
                                 << "https://127.0.0.1:1/api/auth/0.1/token";
  QTest::newRow("trailing slash") << "https://127.0.0.1:1/"
                                  << ""
                                  << "https://127.0.0.1:1//api/auth/0.1/token";
  QTest::newRow("token URL") << ""
                             << "https://127.0.0.1:1/tok?x=1"
                             << "https://127.0.0.1:1/tok?x=1";
}

void TestHttpToken::composedUrlInDetail() {
  QFETCH(QString, base);
  QFETCH(QString, tokenUrl);
  QFETCH(QString, url);
  PortConfig->SetPB_HTTP_BASE_URL(base);
  PortConfig->SetPB_HTTP_TOKENURL(tokenUrl);
  QString token;
  TResExtract result;
  GetToken(*PortConfig, token, result);
  QCOMPARE(result.iRes, 375);
  QVERIFY2(result.sRes.endsWith(QStringLiteral("(ConnectionRefusedError), (") + url + QStringLiteral("), res: 375")),
           qPrintable(result.sRes));
}

void TestHttpToken::successWithoutToken_data() {
  QTest::addColumn<QByteArray>("body");
  QTest::newRow("data without token") << QByteArray(R"({"data":{"acl":[],"expires_at":"x"}})");
  QTest::newRow("no data member") << QByteArray(R"({"token":"at the top"})");
  QTest::newRow("data null") << QByteArray(R"({"data":null})");
  QTest::newRow("empty body") << QByteArray();
  QTest::newRow("blank body") << QByteArray(" \r\n");
}

void TestHttpToken::successWithoutToken() {
  QFETCH(QByteArray, body);
  QVERIFY(m_fake.respond(QString::fromLatin1(TokenTarget), 200, "application/json", body));
  QString token = QStringLiteral("replaced");
  TResExtract result;
  GetToken(*PortConfig, token, result);
  QCOMPARE(result.iRes, 0);
  QCOMPARE(result.sRes, QStringLiteral("OK"));
  QCOMPARE(token, QString());
  QCOMPARE(m_bench.traceLines(), QStringList{QStringLiteral("OK")});
  // A 2xx on the first attempt: no credentials were needed or sent.
  QCOMPARE(m_fake.requests().size(), 1);
}

void TestHttpToken::failureDetail_data() {
  QTest::addColumn<int>("status");
  QTest::addColumn<QByteArray>("body");
  QTest::addColumn<QString>("expected"); // exact, or a regular expression when it starts with "^"

  QTest::newRow("reason array") << 401 << QByteArray(R"({"reason": ["Authentication Failed"], "status_code": 401})")
                                << R"(E: ["Authentication Failed"])";
  QTest::newRow("reason object, compacted")
      << 400 << QByteArray(R"({"reason" : { "expiration" : [ "too long" ] }})") << R"(E: {"expiration":["too long"]})";
  QTest::newRow("reason with accents") << 403 << QByteArray(R"({"reason":["Accès refusé"]})")
                                       << R"(E: ["Accès refusé"])";
  QTest::newRow("reason a plain string") << 401 << QByteArray(R"({"reason": "Authentication Failed"})")
                                         << QStringLiteral("^E: POST status\\. :401, Header : ") +
                                                fakeHeaderPattern("application/json") + "$";
  QTest::newRow("empty body") << 401 << QByteArray()
                              << QStringLiteral("^E: POST status\\. :401, Header : ") +
                                     fakeHeaderPattern("application/json") + "$";
  QTest::newRow("server error with a message")
      << 500 << QByteArray(R"({"message": "boom"})")
      << QStringLiteral("^E: POST status\\. :500, Header : ") + fakeHeaderPattern("application/json") + "$";
}

void TestHttpToken::failureDetail() {
  QFETCH(int, status);
  QFETCH(QByteArray, body);
  QFETCH(QString, expected);
  QVERIFY(m_fake.respond(QString::fromLatin1(TokenTarget), status, "application/json", body));
  QString token = QStringLiteral("left alone");
  TResExtract result;
  GetToken(*PortConfig, token, result);
  QCOMPARE(result.iRes, 367);
  if (expected.startsWith(QLatin1Char('^')))
    QVERIFY2(QRegularExpression(expected).match(result.sRes).hasMatch(), qPrintable(result.sRes));
  else
    QCOMPARE(result.sRes, expected);
  QCOMPARE(token, QStringLiteral("left alone"));
  QCOMPARE(m_bench.traceLines(), QStringList{result.sRes});
}

void TestHttpToken::bodyNotJson_data() {
  QTest::addColumn<int>("status");
  QTest::addColumn<int>("iRes");
  QTest::addColumn<QString>("traceLine");
  // The detail text is built only after the body is read: "OK" exists
  // already for a 2xx, nothing yet otherwise.
  QTest::newRow("200 with an HTML page") << 200 << 0 << "OK";
  QTest::newRow("502 with an HTML page") << 502 << 367 << "";
}

void TestHttpToken::bodyNotJson() {
  QFETCH(int, status);
  QFETCH(int, iRes);
  QFETCH(QString, traceLine);
  QVERIFY(m_fake.respond(QString::fromLatin1(TokenTarget), status, "text/html",
                         "<html><body><h1>Bad Gateway</h1></body></html>"));
  QString token = QStringLiteral("left alone");
  TResExtract result;
  QVERIFY_THROWS_EXCEPTION(LarkspanError, GetToken(*PortConfig, token, result));
  QCOMPARE(result.iRes, iRes);
  QCOMPARE(token, QStringLiteral("left alone"));
  QCOMPARE(m_bench.traceLines(), QStringList{traceLine});
}

// Where a server names its scheme, Qt answers the challenge itself through
// the authentication callback, and the credentials go only once.
void TestHttpToken::namedSchemeAnsweredByQt() {
  QVERIFY(m_fake.respond(QString::fromLatin1(TokenTarget), 401, "application/json",
                         R"({"reason": ["Authentication Failed"]})", QString(), 1,
                         {{"WWW-Authenticate", "Basic realm=\"wazo\""}}));
  QString token;
  TResExtract result;
  GetToken(*PortConfig, token, result);
  QCOMPARE(result.iRes, 0);
  QVERIFY(UuidPattern.match(token).hasMatch());
  const QList<FakeRequest> posts = m_fake.requests();
  QCOMPARE(posts.size(), 2);
  QVERIFY(!posts.at(0).hasHeader("Authorization"));
  QCOMPARE(posts.at(1).header("Authorization"), "Basic " + QByteArray("admin:secret").toBase64());
}

QTEST_GUILESS_MAIN(TestHttpToken)
#include "test_httptoken.moc"
