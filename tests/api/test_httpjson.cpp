// The pure parts of the HTTP layer: JsonValueByPath, ResponseHeaderText,
// and the two callbacks of TEnHTTPClient.

#include "APIWazoHttp.h"
#include "LarkspanError.h"

#include <QNetworkRequest>
#include <QSslCertificate>
#include <QtTest>

using HeaderList = QList<QPair<QByteArray, QByteArray>>;
Q_DECLARE_METATYPE(HeaderList)

class TestHttpJson : public QObject {
  Q_OBJECT

private slots:
  void valueByPath_data();
  void valueByPath();
  void valueByPathThrows_data();
  void valueByPathThrows();
  void headerText_data();
  void headerText();
  void headerTextWithoutResponse();
  void authEvent_data();
  void authEvent();
  void everyCertificateAccepted();
};

void TestHttpJson::valueByPath_data() {
  QTest::addColumn<QString>("text");
  QTest::addColumn<QString>("path");
  QTest::addColumn<QString>("expected");
  const QString d = QStringLiteral("DEFAULT");
  auto row = [&](const char *name, const char *text, const char *path, const QString &expected) {
    QTest::newRow(name) << QString::fromUtf8(text) << QString::fromUtf8(path) << expected;
  };

  // Dotted paths: the scalar at the end.
  row("token", R"({"data":{"token":"9f1c-aa"}})", "data.token", QStringLiteral("9f1c-aa"));
  row("string with quotes and accents", R"({"data":{"token":"Zoé \"x\" \\ /"}})", "data.token",
      QStringLiteral("Zoé \"x\" \\ /"));
  row("integer in JSON form", R"({"data":{"n":30}})", "data.n", QStringLiteral("30"));
  row("fraction in JSON form", R"({"data":{"n":1.5}})", "data.n", QStringLiteral("1.5"));
  row("negative number", R"({"data":{"n":-7}})", "data.n", QStringLiteral("-7"));
  row("true", R"({"data":{"b":true}})", "data.b", QStringLiteral("true"));
  row("false", R"({"data":{"b":false}})", "data.b", QStringLiteral("false"));
  row("three levels", R"({"a":{"b":{"c":"deep"}}})", "a.b.c", QStringLiteral("deep"));
  row("missing at the end: empty, not default", R"({"data":{"acl":[]}})", "data.token", QString());
  row("missing on the way: empty", R"({"other":1})", "data.token", QString());
  row("null on the way: empty", R"({"data":null})", "data.token", QString());
  row("null at the end: empty", R"({"data":{"token":null}})", "data.token", QString());
  row("string on the way: default", R"({"data":"x"})", "data.token", d);
  row("array on the way: default", R"({"data":[{"token":"t"}]})", "data.token", d);
  row("number on the way: default", R"({"data":5})", "data.token", d);

  // A plain name: the compact JSON of an object or array member.
  row("array member, compact", R"({ "reason" : [ "Authentication Failed" , 2 ] })", "reason",
      QStringLiteral(R"(["Authentication Failed",2])"));
  row("object member, compact", R"({"reason": {"expiration": ["too long"]}})", "reason",
      QStringLiteral(R"({"expiration":["too long"]})"));
  row("non-ASCII kept as is", R"({"reason":["Accès refusé"]})", "reason", QStringLiteral(R"(["Accès refusé"])"));
  row("empty array", R"({"reason":[]})", "reason", QStringLiteral("[]"));
  row("string member: default", R"({"reason":"Authentication Failed"})", "reason", d);
  row("number member: default", R"({"reason":401})", "reason", d);
  row("true member: default", R"({"reason":true})", "reason", d);
  row("null member: default", R"({"reason":null})", "reason", d);
  row("missing member: default", R"({"status_code":401})", "reason", d);

  // No document at all.
  row("empty text: default", "", "data.token", d);
  row("blanks only: default", " \t\r\n ", "reason", d);
}

void TestHttpJson::valueByPath() {
  QFETCH(QString, text);
  QFETCH(QString, path);
  QFETCH(QString, expected);
  QCOMPARE(JsonValueByPath(text, path, QStringLiteral("DEFAULT")), expected);
}

void TestHttpJson::valueByPathThrows_data() {
  QTest::addColumn<QString>("text");
  QTest::newRow("HTML page") << QStringLiteral("<html><body>502 Bad Gateway</body></html>");
  QTest::newRow("truncated object") << QStringLiteral(R"({"data":{"token":"ab)");
  QTest::newRow("plain word") << QStringLiteral("OK");
  QTest::newRow("top level array") << QStringLiteral(R"(["Authentication Failed"])");
  QTest::newRow("top level string") << QStringLiteral(R"("token")");
}

// Text that is not a JSON object escapes, with either kind of path.
void TestHttpJson::valueByPathThrows() {
  QFETCH(QString, text);
  QVERIFY_THROWS_EXCEPTION(LarkspanError, JsonValueByPath(text, QStringLiteral("data.token"), QString()));
  QVERIFY_THROWS_EXCEPTION(LarkspanError, JsonValueByPath(text, QStringLiteral("reason"), QString()));
}

void TestHttpJson::headerText_data() {
  QTest::addColumn<HeaderList>("headers");
  QTest::addColumn<QString>("expected");
  QTest::newRow("none") << HeaderList{} << QString();
  QTest::newRow("two, in order") << HeaderList{{"Content-Type", "application/json"}, {"Content-Length", "52"}}
                                 << QStringLiteral("|Content-Type : application/json|Content-Length : 52");
  QTest::newRow("order kept, not sorted")
      << HeaderList{{"Server", "nginx"}, {"Date", "Fri, 11 Dec 2026 14:05:49 GMT"}, {"Content-Length", "0"}}
      << QStringLiteral("|Server : nginx|Date : Fri, 11 Dec 2026 14:05:49 GMT|Content-Length : 0");
  QTest::newRow("repeated name kept twice") << HeaderList{{"Set-Cookie", "a=1"}, {"Set-Cookie", "b=2"}}
                                            << QStringLiteral("|Set-Cookie : a=1|Set-Cookie : b=2");
  QTest::newRow("lower-case names as received")
      << HeaderList{{"content-type", "text/html"}} << QStringLiteral("|content-type : text/html");
  QTest::newRow("empty value") << HeaderList{{"X-Empty", ""}} << QStringLiteral("|X-Empty : ");
}

void TestHttpJson::headerText() {
  QFETCH(HeaderList, headers);
  QFETCH(QString, expected);
  QCOMPARE(ResponseHeaderText(headers), expected);
}

void TestHttpJson::headerTextWithoutResponse() {
  QCOMPARE(ResponseHeaderText(static_cast<const QNetworkReply *>(nullptr)), QString());
}

void TestHttpJson::authEvent_data() {
  QTest::addColumn<TAuthTargetType>("target");
  QTest::addColumn<QString>("userOut");
  QTest::addColumn<QString>("passwordOut");
  QTest::newRow("server gets the login") << TAuthTargetType::Server << "admin"
                                         << "pa:ss wörd";
  QTest::newRow("proxy gets nothing") << TAuthTargetType::Proxy << "as given"
                                      << "as given";
}

void TestHttpJson::authEvent() {
  QFETCH(TAuthTargetType, target);
  QFETCH(QString, userOut);
  QFETCH(QString, passwordOut);
  TEnHTTPClient client;
  client.UserName = QStringLiteral("admin");
  client.Password = QStringLiteral("pa:ss wörd");
  QString user = QStringLiteral("as given"), password = QStringLiteral("as given");
  bool abort = false, persistence = true;
  client.NetHTTPClient1AuthEvent(&client, target, QStringLiteral("wazo"), QStringLiteral("https://pbx/"), user,
                                 password, abort, persistence);
  QCOMPARE(user, userOut);
  QCOMPARE(password, passwordOut);
  QCOMPARE(abort, false);
  QCOMPARE(persistence, true);
}

void TestHttpJson::everyCertificateAccepted() {
  TEnHTTPClient client;
  bool accepted = false;
  client.NetHTTPClientValidateServerCertificate(&client, QNetworkRequest(), QSslCertificate(), accepted);
  QVERIFY(accepted);
}

QTEST_APPLESS_MAIN(TestHttpJson)
#include "test_httpjson.moc"
