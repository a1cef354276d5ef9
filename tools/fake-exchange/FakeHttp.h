#pragma once
// A small HTTP/1.1 server over TLS, enough for what the exchange's clients
// send: one request at a time per connection, Content-Length bodies,
// keep-alive. It keeps the request line and the headers exactly as received
// (a target such as "//api/..." stays as sent) and gives the handler the
// socket itself, so a fault can hold an answer back, cut it short or reset
// the connection.

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QPair>
#include <QPointer>
#include <QSslConfiguration>

class QSslServer;
class QSslSocket;
class QTcpSocket;

using HttpHeaders = QList<QPair<QByteArray, QByteArray>>;

struct HttpRequest {
  QByteArray method;
  QByteArray target;  // as on the request line: path and query, still encoded
  QByteArray version; // "HTTP/1.1"
  HttpHeaders headers;
  QByteArray body;

  // First header of that name, compared without regard to case; null when absent.
  QByteArray header(const QByteArray &name) const;
  bool hasHeader(const QByteArray &name) const;
  QByteArray path() const;  // target up to "?"
  QByteArray query() const; // target after "?", empty when none
};

// One client connection. Answers go out in the order the requests came;
// the next request is read only once the current one is answered.
class HttpConnection : public QObject {
  Q_OBJECT
public:
  HttpConnection(QTcpSocket *socket, QObject *parent);

  void respond(int status, const HttpHeaders &headers, const QByteArray &body);
  // Raw bytes, for answers that must break the protocol; ends the request.
  void respondRaw(const QByteArray &bytes);
  // Closes with a TCP reset instead of an orderly close.
  void reset();
  QHostAddress peerAddress() const;

signals:
  void requestReceived(HttpConnection *connection, const HttpRequest &request);

private:
  void readMore();
  bool parseOne();
  void refuse(int status);
  void finishAnswer();

  QPointer<QTcpSocket> m_socket;
  QByteArray m_buffer;
  bool m_waitingForAnswer = false;
  bool m_closeAfterAnswer = false;
};

class HttpServer : public QObject {
  Q_OBJECT
public:
  explicit HttpServer(QObject *parent = nullptr);
  ~HttpServer() override;

  bool listen(const QSslConfiguration &tls, const QHostAddress &address, quint16 port);
  quint16 port() const;
  QString errorString() const;

protected:
  virtual void handle(HttpConnection *connection, const HttpRequest &request) = 0;

private:
  QSslServer *m_server = nullptr;
};

QByteArray httpReasonPhrase(int status);
QByteArray httpDate();
