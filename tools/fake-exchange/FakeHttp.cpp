#include "FakeHttp.h"

#include <QDateTime>
#include <QLocale>
#include <QSslServer>
#include <QSslSocket>

#include <sys/socket.h>

namespace {
constexpr qsizetype MaxHead = 64 * 1024;
constexpr qsizetype MaxBody = 256 * 1024 * 1024;
} // namespace

QByteArray HttpRequest::header(const QByteArray &name) const {
  for (const auto &h : headers)
    if (h.first.compare(name, Qt::CaseInsensitive) == 0)
      return h.second.isNull() ? QByteArray("") : h.second;
  return {};
}

bool HttpRequest::hasHeader(const QByteArray &name) const {
  for (const auto &h : headers)
    if (h.first.compare(name, Qt::CaseInsensitive) == 0)
      return true;
  return false;
}

QByteArray HttpRequest::path() const {
  const qsizetype q = target.indexOf('?');
  return q < 0 ? target : target.left(q);
}

QByteArray HttpRequest::query() const {
  const qsizetype q = target.indexOf('?');
  return q < 0 ? QByteArray() : target.mid(q + 1);
}

QByteArray httpReasonPhrase(int status) {
  switch (status) {
  case 200:
    return "OK";
  case 201:
    return "Created";
  case 204:
    return "No Content";
  case 400:
    return "Bad Request";
  case 401:
    return "Unauthorized";
  case 403:
    return "Forbidden";
  case 404:
    return "Not Found";
  case 405:
    return "Method Not Allowed";
  case 411:
    return "Length Required";
  case 413:
    return "Payload Too Large";
  case 415:
    return "Unsupported Media Type";
  case 431:
    return "Request Header Fields Too Large";
  case 500:
    return "Internal Server Error";
  case 501:
    return "Not Implemented";
  case 502:
    return "Bad Gateway";
  case 503:
    return "Service Unavailable";
  case 504:
    return "Gateway Timeout";
  default:
    return "Status";
  }
}

QByteArray httpDate() {
  return QLocale::c()
      .toString(QDateTime::currentDateTimeUtc(), QStringLiteral("ddd, dd MMM yyyy hh:mm:ss 'GMT'"))
      .toLatin1();
}

HttpConnection::HttpConnection(QTcpSocket *socket, QObject *parent) : QObject(parent), m_socket(socket) {
  socket->setParent(this);
  connect(socket, &QTcpSocket::readyRead, this, &HttpConnection::readMore);
  connect(socket, &QTcpSocket::disconnected, this, &QObject::deleteLater);
  // Data may have arrived with the handshake already.
  QMetaObject::invokeMethod(this, &HttpConnection::readMore, Qt::QueuedConnection);
}

QHostAddress HttpConnection::peerAddress() const {
  return m_socket ? m_socket->peerAddress() : QHostAddress();
}

void HttpConnection::readMore() {
  if (!m_socket)
    return;
  m_buffer += m_socket->readAll();
  while (!m_waitingForAnswer && parseOne()) {
  }
}

// Takes one complete request off the buffer and hands it on; false when the
// buffer holds no complete request yet (or the connection was given up).
bool HttpConnection::parseOne() {
  const qsizetype headEnd = m_buffer.indexOf("\r\n\r\n");
  if (headEnd < 0) {
    if (m_buffer.size() > MaxHead)
      refuse(431);
    return false;
  }
  const QList<QByteArray> lines = m_buffer.left(headEnd).split('\n');
  HttpRequest request;
  const QList<QByteArray> requestLine = lines.value(0).trimmed().split(' ');
  if (requestLine.size() != 3) {
    refuse(400);
    return false;
  }
  request.method = requestLine.at(0);
  request.target = requestLine.at(1);
  request.version = requestLine.at(2);
  for (qsizetype i = 1; i < lines.size(); ++i) {
    QByteArray line = lines.at(i);
    if (line.endsWith('\r'))
      line.chop(1);
    const qsizetype colon = line.indexOf(':');
    if (colon <= 0)
      continue;
    request.headers.append({line.left(colon), line.mid(colon + 1).trimmed()});
  }
  if (request.hasHeader("Transfer-Encoding")) {
    refuse(501);
    return false;
  }
  qsizetype length = 0;
  if (request.hasHeader("Content-Length")) {
    bool ok = false;
    length = request.header("Content-Length").toLongLong(&ok);
    if (!ok || length < 0 || length > MaxBody) {
      refuse(413);
      return false;
    }
  }
  if (m_buffer.size() < headEnd + 4 + length)
    return false;
  request.body = m_buffer.mid(headEnd + 4, length);
  m_buffer.remove(0, headEnd + 4 + length);

  const QByteArray connection = request.header("Connection").toLower();
  m_closeAfterAnswer = request.version == "HTTP/1.0" ? connection != "keep-alive" : connection == "close";
  m_waitingForAnswer = true;
  emit requestReceived(this, request);
  return true;
}

void HttpConnection::refuse(int status) {
  m_buffer.clear();
  m_closeAfterAnswer = true;
  m_waitingForAnswer = true;
  respond(status, {{"Content-Length", "0"}}, QByteArray());
}

void HttpConnection::respond(int status, const HttpHeaders &headers, const QByteArray &body) {
  QByteArray out = "HTTP/1.1 " + QByteArray::number(status) + ' ' + httpReasonPhrase(status) + "\r\n";
  for (const auto &h : headers)
    out += h.first + ": " + h.second + "\r\n";
  if (m_closeAfterAnswer)
    out += "Connection: close\r\n";
  out += "\r\n";
  out += body;
  respondRaw(out);
}

void HttpConnection::respondRaw(const QByteArray &bytes) {
  if (!m_socket || !m_waitingForAnswer)
    return;
  m_socket->write(bytes);
  finishAnswer();
}

void HttpConnection::finishAnswer() {
  m_waitingForAnswer = false;
  if (m_closeAfterAnswer) {
    m_socket->disconnectFromHost();
    return;
  }
  QMetaObject::invokeMethod(this, &HttpConnection::readMore, Qt::QueuedConnection);
}

void HttpConnection::reset() {
  if (!m_socket)
    return;
  // A zero linger time turns the close into a RST.
  const qintptr fd = m_socket->socketDescriptor();
  if (fd >= 0) {
    struct linger l {
      1, 0
    };
    ::setsockopt(int(fd), SOL_SOCKET, SO_LINGER, &l, sizeof l);
  }
  m_socket->abort();
}

HttpServer::HttpServer(QObject *parent) : QObject(parent), m_server(new QSslServer(this)) {
  connect(m_server, &QTcpServer::pendingConnectionAvailable, this, [this] {
    while (QTcpSocket *socket = m_server->nextPendingConnection()) {
      auto *connection = new HttpConnection(socket, this);
      connect(connection, &HttpConnection::requestReceived, this,
              [this](HttpConnection *c, const HttpRequest &r) { handle(c, r); });
    }
  });
}

HttpServer::~HttpServer() = default;

bool HttpServer::listen(const QSslConfiguration &tls, const QHostAddress &address, quint16 port) {
  QSslConfiguration config = tls;
  // The clients offer h2 as well; this server speaks HTTP/1.1 only.
  config.setAllowedNextProtocols({QByteArrayLiteral("http/1.1")});
  m_server->setSslConfiguration(config);
  return m_server->listen(address, port);
}

quint16 HttpServer::port() const {
  return m_server->serverPort();
}

QString HttpServer::errorString() const {
  return m_server->errorString();
}
