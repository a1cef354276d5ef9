#pragma once
// The exchange as its clients see it: the token service and the
// configuration service, answering like the real ones (bare 401 without
// WWW-Authenticate, body read before credentials, error arrays, 204 for
// writes), with every request recorded and optional faults.
//
// Record: one JSON object per line, written and flushed when a request has
// been read, before it is answered:
//   {"seq": 1, "method": "POST", "target": "/api/auth/0.1/token",
//    "path": "/api/auth/0.1/token", "query": "",
//    "headers": [["Host", "127.0.0.1:4431"], ...], "body": "{\"expiration\":30}"}
//
// Control commands (JSON objects, one per line on stdin with --control),
// each answered by one line on stdout, "ok", "ok <json>" or "error <text>":
//   {"cmd": "fault", "action": A, "path": P, "method": M, "count": N, ...}
//      A: "hang" (never answer), "delay" ("ms"), "status" ("status"),
//         "html" (200 with an HTML page), "truncate" (half of the JSON body,
//         with a matching Content-Length), "reset" (TCP reset), "huge"
//         ("bytes" of padding in the JSON body), "respond" ("status",
//         "content_type", "body_base64", "headers": [[name, value], ...]);
//         P exact, or a prefix ending in "*";
//         M optional; N answers affected, -1 (default) for all.
//   {"cmd": "clear-faults"}
//   {"cmd": "expired-token", "on": true}     every confd request gets 401
//   {"cmd": "credentials", "login": L, "password": P}
//   {"cmd": "clear-record"}
//   {"cmd": "state"}                          answers "ok <dataset json>"
//   {"cmd": "load", "file": F} / {"cmd": "load", "users": N}

#include "FakeData.h"
#include "FakeHttp.h"

#include <QDateTime>
#include <QFile>
#include <QHash>
#include <QJsonObject>

struct FakeFault {
  enum class Action { Hang, Delay, Status, Html, Truncate, Reset, Huge, Respond };
  Action action = Action::Status;
  QByteArray method; // empty: any
  QByteArray path;   // exact, or a prefix when it ends in "*"
  int remaining = -1;
  int ms = 0;
  int status = 500;
  qint64 bytes = 0;
  QByteArray contentType;
  QByteArray body;
  HttpHeaders headers; // extra headers of a "respond" answer

  bool matches(const QByteArray &requestMethod, const QByteArray &requestPath) const;
  // From a command-line text "action:path[:argument]".
  static std::optional<FakeFault> fromText(const QString &text, QString *error);
  static std::optional<FakeFault> fromJson(const QJsonObject &command, QString *error);
};

class FakeServer final : public HttpServer {
  Q_OBJECT
public:
  FakeServer(FakeData data, QString login, QString password, QObject *parent = nullptr);

  bool openRecord(const QString &fileName);
  void addFault(const FakeFault &fault) { m_faults.append(fault); }
  void setExpiredTokens(bool on) { m_expiredTokens = on; }
  // One control command; returns the answer line.
  QString command(const QJsonObject &command);

protected:
  void handle(HttpConnection *connection, const HttpRequest &request) override;

private:
  struct Answer {
    Answer(int s = 200, QByteArray type = "application/json", QByteArray b = {}, HttpHeaders extra = {})
        : status(s), contentType(std::move(type)), body(std::move(b)), extraHeaders(std::move(extra)) {}
    int status;
    QByteArray contentType;
    QByteArray body;
    HttpHeaders extraHeaders;
  };

  void record(const HttpRequest &request);
  Answer answer(const HttpRequest &request, const QHostAddress &peer);
  Answer tokenAnswer(const HttpRequest &request, const QHostAddress &peer);
  Answer confdAnswer(const HttpRequest &request, const QByteArray &path);
  void send(HttpConnection *connection, const Answer &answer);

  FakeData m_data;
  QString m_login;
  QString m_password;
  QHash<QString, QDateTime> m_tokens; // token -> expiry (UTC)
  QList<FakeFault> m_faults;
  bool m_expiredTokens = false;
  QFile m_record;
  qint64 m_sequence = 0;
  QString m_adminUuid;
  QString m_xivoUuid;
};

std::optional<FakeData> loadDatasetFile(const QString &fileName, QString *error);
