#pragma once
// Lowest layer of the exchange's API client: one HTTP exchange per call, the
// authentication token, and the two REST operations every list and every
// change goes through.
//
// Each call creates its own QNetworkAccessManager and TEnHTTPClient and
// releases both when it returns: nothing is pooled, no credentials or token
// outlive the call. The wait is synchronous but keeps timers and repaints
// running (user input waits until a trace line lets it through).
//
// Network and HTTP failures are values in the TResExtract; only a body that
// is not JSON, where JSON is read here (the token answer), escapes as
// LarkspanError.

#include "OPortDesc.h"
#include "traces.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QPair>
#include <QString>

class QNetworkAccessManager;
class QNetworkReply;
class QNetworkRequest;
class QSslCertificate;

// Who asks for credentials.
enum class TAuthTargetType { Server, Proxy };

// Holder of the credentials of one request and of the two callbacks that the
// HTTP client calls. One per request, living as long as its HTTP client.
class TEnHTTPClient : public QObject {
  Q_OBJECT
public:
  explicit TEnHTTPClient(QObject *owner = nullptr);

  QString UserName;  // from PB_HTTP_USERNAME
  QString Password;  // from PB_HTTP_PASSW
  QString SocksPort; // from PB_HTTP_NUMPORT; informative, the URL's port wins

  // A server challenge gets UserName and Password; a proxy challenge gets
  // nothing. Abort and persistence are left as they come.
  void NetHTTPClient1AuthEvent(const QObject *Sender, TAuthTargetType AnAuthTarget, const QString &ARealm,
                               const QString &AURL, QString &AUserName, QString &APassword, bool &AbortAuth,
                               bool &Persistence);
  // Every server certificate is accepted, self-signed, expired or misnamed.
  void NetHTTPClientValidateServerCertificate(const QObject *Sender, const QNetworkRequest &ARequest,
                                              const QSslCertificate &Certificate, bool &Accepted);

  // Routes the manager's authentication (server and proxy) and certificate
  // signals to the two callbacks above.
  void bindTo(QNetworkAccessManager &client);
};

// Time-outs in milliseconds.
constexpr int TokenConnectTimeout = 1000;
constexpr int TokenResponseTimeout = 1000;
constexpr int RestConnectTimeout = 60000;
constexpr int RestResponseTimeout = 60000;

// The token request body, sent as is.
extern const char *const TokenRequestBody; // {"expiration":30}
extern const char *const TokenPath;        // /api/auth/0.1/token

// Obtains a token. Success: Token receives it (possibly empty) and Result is
// (0, "OK"). Failure: Token unchanged, Result 375 (no answer), 367 (status
// outside 2xx) or 364. Exactly one trace line; the token is never traced.
// A body that is not JSON throws LarkspanError after the trace line.
void GetToken(const TOProtoTypePBX &PortConfig, QString &Token, TResExtract &Result);

// GET of PB_HTTP_BASE_URL + Path. 2xx: Content is the decoded body and
// Result.iRes 0; otherwise Content empty and 363 (other status), 365 (no
// answer, invalid URL) or 364. Always two trace lines: the detail text,
// then Content.
void RestGet(const TOProtoTypePBX &PortConfig, const QString &Token, const QString &Path, QString &Content,
             TResExtract &Result);

// PUT (Method "PUT" or empty) of Body, or DELETE without body, to
// PB_HTTP_BASE_URL + Path, Content-Type application/json either way. The
// answer's body is not read. Result.iRes 0, 363, 365 or 364; any other
// Method is refused with 364 and nothing is sent. Trace: ">REST: " line
// once answered, then the detail text.
void RestSend(const TOProtoTypePBX &PortConfig, const QString &Token, const QString &Path, const QString &Body,
              const QString &Method, TResExtract &Result);

// Response headers as one text: "|" name " : " value for each header in the
// order received. Empty for no response.
QString ResponseHeaderText(const QNetworkReply *Response);
QString ResponseHeaderText(const QList<QPair<QByteArray, QByteArray>> &Headers);

// One value out of a JSON text. A dotted path gives the value at its end: a
// string as is, a number or true/false in JSON form, null or a member
// missing anywhere as an empty text (an object or array there as compact
// JSON); something else than an object or null on the way gives Default. A
// plain name gives the compact JSON of an object or array member, Default
// for anything else. An empty or blank text gives Default; text that is not
// JSON, or whose top level is not an object, throws LarkspanError.
QString JsonValueByPath(const QString &Text, const QString &Path, const QString &Default);
