#include "APIWazoHttp.h"

#include "LarkspanError.h"

#include <QAuthenticator>
#include <QEventLoop>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMetaEnum>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSslCertificate>
#include <QStringDecoder>
#include <QTimer>

#include <memory>

const char *const TokenRequestBody = "{\"expiration\":30}";
const char *const TokenPath = "/api/auth/0.1/token";

TEnHTTPClient::TEnHTTPClient(QObject *owner) : QObject(owner) {}

void TEnHTTPClient::NetHTTPClient1AuthEvent(const QObject *, TAuthTargetType AnAuthTarget, const QString &,
                                            const QString &, QString &AUserName, QString &APassword, bool &, bool &) {
  if (AnAuthTarget != TAuthTargetType::Server)
    return; // no proxy credentials are ever given
  AUserName = UserName;
  APassword = Password;
}

void TEnHTTPClient::NetHTTPClientValidateServerCertificate(const QObject *, const QNetworkRequest &,
                                                           const QSslCertificate &, bool &Accepted) {
  Accepted = true;
}

void TEnHTTPClient::bindTo(QNetworkAccessManager &client) {
  connect(&client, &QNetworkAccessManager::authenticationRequired, this,
          [this, &client](QNetworkReply *reply, QAuthenticator *authenticator) {
            QString user, password;
            bool abort = false, persistence = false;
            NetHTTPClient1AuthEvent(&client, TAuthTargetType::Server, authenticator->realm(), reply->url().toString(),
                                    user, password, abort, persistence);
            // Marks the request as answered by the scheme the server named, so
            // the bare-401 repetition does not send the credentials again.
            reply->setProperty("larkspanChallengeAnswered", true);
            if (!abort) {
              authenticator->setUser(user);
              authenticator->setPassword(password);
            }
          });
  connect(&client, &QNetworkAccessManager::proxyAuthenticationRequired, this,
          [this, &client](const QNetworkProxy &proxy, QAuthenticator *authenticator) {
            QString user, password;
            bool abort = false, persistence = false;
            NetHTTPClient1AuthEvent(&client, TAuthTargetType::Proxy, authenticator->realm(), proxy.hostName(), user,
                                    password, abort, persistence);
            if (!abort && !user.isEmpty()) {
              authenticator->setUser(user);
              authenticator->setPassword(password);
            }
          });
  connect(&client, &QNetworkAccessManager::sslErrors, this,
          [this, &client](QNetworkReply *reply, const QList<QSslError> &errors) {
            const QSslCertificate certificate = errors.isEmpty() ? QSslCertificate() : errors.first().certificate();
            bool accepted = false;
            NetHTTPClientValidateServerCertificate(&client, reply->request(), certificate, accepted);
            if (accepted)
              reply->ignoreSslErrors();
          });
}

namespace {

// One request of the API client, from set-up to release: the holder of the
// credentials, a fresh HTTP client, and the reply of the last attempt.
class RequestClient {
public:
  // `bareChallenge`: a 401 that names no scheme is the token service's
  // challenge. Only the token request takes it so; to the configuration
  // service a 401 means a refused token, and the password must not go there.
  RequestClient(const TOProtoTypePBX &port, int connectTimeout, int responseTimeout, bool bareChallenge = false)
      : m_client(new TEnHTTPClient(nullptr)), m_http(new QNetworkAccessManager), m_connectTimeout(connectTimeout),
        m_responseTimeout(responseTimeout), m_bareChallenge(bareChallenge) {
    m_client->UserName = port.PB_HTTP_USERNAME();
    m_client->Password = port.PB_HTTP_PASSW();
    m_client->SocksPort = port.PB_HTTP_NUMPORT();
    m_client->bindTo(*m_http);
  }

  // Release order: request body, HTTP client (with its replies), holder.
  ~RequestClient() {
    m_body.clear();
    delete m_reply;
    delete m_http;
    delete m_client;
  }

  RequestClient(const RequestClient &) = delete;
  RequestClient &operator=(const RequestClient &) = delete;

  void setBody(const QByteArray &body) { m_body = body; }

  // Sends and waits. For the token request, a 401 to an attempt without
  // credentials is the exchange's challenge (it names no scheme, so Qt does
  // not take it as one): the same request goes once more with a Basic
  // header; the answer to that one stands.
  void send(const QNetworkRequest &request, const QByteArray &verb) {
    attempt(request, verb);
    if (!m_bareChallenge || !answered() || status() != 401 || m_reply->property("larkspanChallengeAnswered").toBool())
      return;
    QString user, password;
    bool abort = false, persistence = false;
    m_client->NetHTTPClient1AuthEvent(m_http, TAuthTargetType::Server, QString(), request.url().toString(), user,
                                      password, abort, persistence);
    if (abort)
      return;
    QNetworkRequest withCredentials = request;
    withCredentials.setRawHeader("Authorization", "Basic " + (user + QLatin1Char(':') + password).toUtf8().toBase64());
    attempt(withCredentials, verb);
  }

  QNetworkReply *reply() const { return m_reply; }

  // The exchange answered with a status; otherwise the HTTP client failed
  // (name resolution, connection, TLS, time-out, invalid URL).
  bool answered() const {
    if (!m_reply || m_timedOut)
      return false;
    const QNetworkReply::NetworkError error = m_reply->error();
    if (error > QNetworkReply::NoError && error < QNetworkReply::ContentAccessDenied)
      return false; // transport and proxy errors, even after a status line
    return m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).isValid();
  }

  int status() const { return m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(); }
  QByteArray responseBody() const { return m_replyBody; }
  QByteArray contentType() const { return m_reply->rawHeader("Content-Type"); }

  QString errorMessage() const {
    if (m_timedOut)
      return QStringLiteral("No answer within %1 ms").arg(m_timeoutHit);
    return m_reply ? m_reply->errorString() : QString();
  }

  QString errorKind() const {
    const auto error =
        m_timedOut ? QNetworkReply::TimeoutError : (m_reply ? m_reply->error() : QNetworkReply::UnknownNetworkError);
    return QString::fromLatin1(QMetaEnum::fromType<QNetworkReply::NetworkError>().valueToKey(error));
  }

private:
  void attempt(const QNetworkRequest &request, const QByteArray &verb) {
    delete m_reply;
    m_reply = nullptr;
    m_replyBody.clear();
    m_timedOut = false;

    if (verb == "GET")
      m_reply = m_http->get(request);
    else if (verb == "PUT")
      m_reply = m_http->put(request, m_body);
    else if (verb == "DELETE")
      m_reply = m_http->deleteResource(request);
    else
      m_reply = m_http->sendCustomRequest(request, verb, m_body); // no Content-Type of ours

    // Our own timer, so that a time-out reads as one and not as a cancel.
    QTimer timer;
    timer.setSingleShot(true);
    int running = m_connectTimeout;
    QObject::connect(&timer, &QTimer::timeout, m_reply, [this, &running] {
      m_timedOut = true;
      m_timeoutHit = running;
      m_reply->abort();
    });
    auto restart = [&timer, &running](int ms) {
      running = ms;
      timer.start(ms);
    };
    QObject::connect(m_reply, &QNetworkReply::requestSent, &timer, [this, restart] { restart(m_responseTimeout); });
    QObject::connect(m_reply, &QNetworkReply::metaDataChanged, &timer, [this, restart] { restart(m_responseTimeout); });
    QObject::connect(m_reply, &QNetworkReply::downloadProgress, &timer,
                     [this, restart] { restart(m_responseTimeout); });
    QObject::connect(m_reply, &QNetworkReply::uploadProgress, &timer, [this, restart] { restart(m_responseTimeout); });
    restart(m_connectTimeout);

    if (!m_reply->isFinished()) {
      // Timers, sockets and repaints run; user input waits for a trace line.
      QEventLoop loop;
      QObject::connect(m_reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
      loop.exec(QEventLoop::ExcludeUserInputEvents);
    }
    timer.stop();
    if (m_reply->isOpen())
      m_replyBody = m_reply->readAll();
  }

  TEnHTTPClient *m_client;
  QNetworkAccessManager *m_http;
  QNetworkReply *m_reply = nullptr;
  QByteArray m_body;
  QByteArray m_replyBody;
  int m_connectTimeout;
  int m_responseTimeout;
  bool m_timedOut = false;
  int m_timeoutHit = 0;
  bool m_bareChallenge;
};

QString charsetOf(const QByteArray &contentType) {
  const QList<QByteArray> parts = contentType.split(';');
  for (qsizetype i = 1; i < parts.size(); ++i) {
    const QByteArray part = parts.at(i).trimmed();
    const qsizetype eq = part.indexOf('=');
    if (eq < 0 || part.left(eq).trimmed().toLower() != "charset")
      continue;
    QByteArray value = part.mid(eq + 1).trimmed();
    if (value.size() >= 2 && value.startsWith('"') && value.endsWith('"'))
      value = value.mid(1, value.size() - 2);
    return QString::fromLatin1(value);
  }
  return {};
}

// "UTF8" and "UTF7" decide alone (compared exactly); anything else leaves it
// to the charset the response declares, UTF-8 when none or an unknown one.
QString decodeBody(const QByteArray &body, const QString &encoding, const QByteArray &contentType) {
  if (encoding == QLatin1String("UTF8"))
    return QStringDecoder(QStringDecoder::Utf8)(body);
  if (encoding == QLatin1String("UTF7")) {
    QStringDecoder utf7("UTF-7");
    if (utf7.isValid())
      return utf7(body);
  }
  const QString charset = charsetOf(contentType);
  if (!charset.isEmpty()) {
    QStringDecoder declared(charset.toLatin1().constData());
    if (declared.isValid())
      return declared(body);
  }
  return QStringDecoder(QStringDecoder::Utf8)(body);
}

QNetworkRequest confdRequest(const QString &url, const QString &token) {
  QNetworkRequest request{QUrl(url)};
  // An empty token is left out rather than sent empty.
  if (!token.isEmpty())
    request.setRawHeader("X-Auth-Token", token.toUtf8());
  request.setRawHeader("Accept", "*/*");
  request.setRawHeader("User-Agent", "Tolvane");
  return request;
}

QString carriageReturn() {
  return QStringLiteral("\r");
}

} // namespace

QString ResponseHeaderText(const QList<QPair<QByteArray, QByteArray>> &Headers) {
  QString text;
  for (const auto &header : Headers)
    text += QLatin1Char('|') + QString::fromLatin1(header.first) + QStringLiteral(" : ") +
            QString::fromLatin1(header.second);
  return text;
}

QString ResponseHeaderText(const QNetworkReply *Response) {
  if (!Response)
    return {};
  return ResponseHeaderText(Response->rawHeaderPairs());
}

QString JsonValueByPath(const QString &Text, const QString &Path, const QString &Default) {
  if (Text.trimmed().isEmpty())
    return Default;
  QJsonParseError parseError;
  const QJsonDocument doc = QJsonDocument::fromJson(Text.toUtf8(), &parseError);
  if (parseError.error != QJsonParseError::NoError)
    throw LarkspanError(
        QStringLiteral("JSON parse error at offset %1: %2").arg(parseError.offset).arg(parseError.errorString()));
  if (!doc.isObject())
    throw LarkspanError(QStringLiteral("JSON text is not an object"));
  const QJsonObject top = doc.object();

  if (Path.contains(QLatin1Char('.'))) {
    QJsonValue value = top;
    for (const QString &part : Path.split(QLatin1Char('.'))) {
      if (value.isNull())
        return QString(); // null on the way
      if (!value.isObject())
        return Default;
      const QJsonObject object = value.toObject();
      if (!object.contains(part))
        return QString();
      value = object.value(part);
    }
    switch (value.type()) {
    case QJsonValue::String:
      return value.toString();
    case QJsonValue::Bool:
      return value.toBool() ? QStringLiteral("true") : QStringLiteral("false");
    case QJsonValue::Double: {
      // The number in its JSON form, as the document's own writer gives it.
      const QByteArray json = QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Compact);
      return QString::fromUtf8(json.mid(1, json.size() - 2));
    }
    case QJsonValue::Null:
      return QString();
    case QJsonValue::Object:
      return QString::fromUtf8(QJsonDocument(value.toObject()).toJson(QJsonDocument::Compact));
    case QJsonValue::Array:
      return QString::fromUtf8(QJsonDocument(value.toArray()).toJson(QJsonDocument::Compact));
    case QJsonValue::Undefined:
      break;
    }
    return Default;
  }

  const QJsonValue member = top.value(Path);
  if (member.isObject())
    return QString::fromUtf8(QJsonDocument(member.toObject()).toJson(QJsonDocument::Compact));
  if (member.isArray())
    return QString::fromUtf8(QJsonDocument(member.toArray()).toJson(QJsonDocument::Compact));
  return Default;
}

void GetToken(const TOProtoTypePBX &PortConfig, QString &Token, TResExtract &Result) {
  Result.iRes = 364;
  Result.sRes.clear();
  RequestClient client(PortConfig, TokenConnectTimeout, TokenResponseTimeout, true);
  try {
    client.setBody(QByteArray(TokenRequestBody));
    const QString url = PortConfig.PB_HTTP_BASE_URL().isEmpty()
                            ? PortConfig.PB_HTTP_TOKENURL()
                            : PortConfig.PB_HTTP_BASE_URL() + QLatin1String(TokenPath);
    // No header of ours: the body goes without a Content-Type.
    client.send(QNetworkRequest{QUrl(url)}, "POST");

    if (!client.answered()) {
      Result.iRes = 375;
      Result.sRes = QStringLiteral("E:") + client.errorMessage() + QLatin1Char('(') + client.errorKind() +
                    QStringLiteral("), (") + url + QStringLiteral("), res: ") + QString::number(375);
    } else if (client.status() / 100 == 2) {
      Result.sRes = QStringLiteral("OK");
      Result.iRes = 0;
      Token = JsonValueByPath(decodeBody(client.responseBody(), QString(), client.contentType()),
                              QStringLiteral("data.token"), QString());
    } else {
      Result.iRes = 367;
      const QString reason = JsonValueByPath(decodeBody(client.responseBody(), QString(), client.contentType()),
                                             QStringLiteral("reason"), QString());
      if (!reason.isEmpty())
        Result.sRes = QStringLiteral("E: ") + reason;
      else
        Result.sRes = QStringLiteral("E: POST status. :") + QString::number(client.status()) +
                      QStringLiteral(", Header : ") + ResponseHeaderText(client.reply());
    }
  } catch (...) {
    TraceLine(Result.sRes);
    throw;
  }
  TraceLine(Result.sRes);
}

void RestGet(const TOProtoTypePBX &PortConfig, const QString &Token, const QString &Path, QString &Content,
             TResExtract &Result) {
  Result.iRes = 364;
  Result.sRes.clear();
  Content.clear();
  RequestClient client(PortConfig, RestConnectTimeout, RestResponseTimeout);
  try {
    const QString url = PortConfig.PB_HTTP_BASE_URL() + Path;
    client.send(confdRequest(url, Token), "GET");
    if (!client.answered()) {
      Result.iRes = 365;
      Result.sRes = QStringLiteral("Err GET : ") + client.errorKind() + QStringLiteral(": ") + client.errorMessage() +
                    QLatin1Char(':') + url + QLatin1Char(':') + QString::number(365);
    } else {
      Result.sRes += carriageReturn() + QStringLiteral(">>GET, (") + url + QStringLiteral(") :") +
                     QString::number(client.status());
      if (client.status() / 100 == 2) {
        Result.sRes += carriageReturn() + QStringLiteral("OK, Header :") + ResponseHeaderText(client.reply());
        Content = decodeBody(client.responseBody(), PortConfig.encoding(), client.contentType());
        Result.iRes = 0;
      } else {
        Result.iRes = 363;
        Result.sRes += carriageReturn() + QStringLiteral("E: GET, Header :") + ResponseHeaderText(client.reply());
      }
    }
  } catch (...) {
    TraceLine(Result.sRes);
    TraceLine(Content);
    throw;
  }
  TraceLine(Result.sRes);
  TraceLine(Content);
}

void RestSend(const TOProtoTypePBX &PortConfig, const QString &Token, const QString &Path, const QString &Body,
              const QString &Method, TResExtract &Result) {
  const QString method = Method.isEmpty() ? QStringLiteral("PUT") : Method;
  Result.iRes = 364;
  Result.sRes.clear();
  const QString url = PortConfig.PB_HTTP_BASE_URL() + Path;
  if (method != QLatin1String("PUT") && method != QLatin1String("DELETE")) {
    // No caller sends anything else; refuse it rather than guess.
    Result.sRes = QStringLiteral("E: ") + method + QStringLiteral(" : unsupported method: (") + url +
                  QStringLiteral("): ") + QString::number(364);
    TraceLine(Result.sRes);
    return;
  }
  RequestClient client(PortConfig, RestConnectTimeout, RestResponseTimeout);
  try {
    if (method == QLatin1String("PUT"))
      client.setBody(Body.toUtf8());
    QNetworkRequest request = confdRequest(url, Token);
    request.setRawHeader("Content-Type", "application/json");
    client.send(request, method.toLatin1());
    if (!client.answered()) {
      Result.iRes = 365;
      Result.sRes = QStringLiteral("E: ") + method + QStringLiteral(" : ") + client.errorKind() + QStringLiteral(": ") +
                    client.errorMessage() + QStringLiteral(": (") + url + QStringLiteral("): ") + QString::number(365);
    } else {
      TraceLine(QStringLiteral(">REST: ") + method + QLatin1Char(',') + url);
      Result.sRes += carriageReturn() + QStringLiteral(">>") + method + QStringLiteral(", (") + url +
                     QStringLiteral(") :") + QString::number(client.status());
      if (client.status() / 100 == 2) {
        Result.sRes += carriageReturn() + QStringLiteral("OK:") + method + QStringLiteral(", Header :") +
                       ResponseHeaderText(client.reply());
        Result.iRes = 0;
      } else {
        Result.iRes = 363;
        Result.sRes += carriageReturn() + QStringLiteral("E: ") + method + QStringLiteral(", Header :") +
                       ResponseHeaderText(client.reply());
      }
    }
  } catch (...) {
    TraceLine(Result.sRes);
    throw;
  }
  TraceLine(Result.sRes);
}
