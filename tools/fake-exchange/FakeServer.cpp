#include "FakeServer.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QTimer>
#include <QUrlQuery>
#include <QUuid>

namespace {

const QByteArray TokenRoute = "/api/auth/0.1/token";
const QByteArray ConfdPrefix = "/api/confd/1.1/";
constexpr qint64 MaxExpiration = 315360000;
constexpr qint64 DefaultExpiration = 7200;

QByteArray compact(const QJsonValue &value) {
  return value.isArray() ? QJsonDocument(value.toArray()).toJson(QJsonDocument::Compact)
                         : QJsonDocument(value.toObject()).toJson(QJsonDocument::Compact);
}

// Like the reverse proxy in front of the real services, runs of "/" count
// as one when routing; the record keeps the target as sent.
QByteArray mergeSlashes(QByteArray path) {
  while (path.contains("//"))
    path.replace("//", "/");
  return path;
}

QByteArray reasonBody(const QString &reason, int status) {
  const double now = double(QDateTime::currentMSecsSinceEpoch()) / 1000.0;
  return compact(QJsonObject{{QStringLiteral("reason"), QJsonArray{reason}},
                             {QStringLiteral("timestamp"), QJsonArray{now}},
                             {QStringLiteral("status_code"), status}});
}

QString isoTime(const QDateTime &time) {
  return time.toString(Qt::ISODateWithMs);
}

const char *const HtmlPage = "<html>\r\n<head><title>502 Bad Gateway</title></head>\r\n<body>\r\n"
                             "<center><h1>502 Bad Gateway</h1></center>\r\n<hr><center>nginx</center>\r\n"
                             "</body>\r\n</html>\r\n";

std::optional<FakeFault::Action> actionNamed(const QString &name) {
  static const QHash<QString, FakeFault::Action> names{{QStringLiteral("hang"), FakeFault::Action::Hang},
                                                       {QStringLiteral("delay"), FakeFault::Action::Delay},
                                                       {QStringLiteral("status"), FakeFault::Action::Status},
                                                       {QStringLiteral("html"), FakeFault::Action::Html},
                                                       {QStringLiteral("truncate"), FakeFault::Action::Truncate},
                                                       {QStringLiteral("reset"), FakeFault::Action::Reset},
                                                       {QStringLiteral("huge"), FakeFault::Action::Huge},
                                                       {QStringLiteral("respond"), FakeFault::Action::Respond}};
  if (!names.contains(name))
    return std::nullopt;
  return names.value(name);
}

} // namespace

bool FakeFault::matches(const QByteArray &requestMethod, const QByteArray &requestPath) const {
  if (remaining == 0)
    return false;
  if (!method.isEmpty() && method != requestMethod)
    return false;
  if (path.endsWith('*'))
    return requestPath.startsWith(path.chopped(1));
  return requestPath == path;
}

std::optional<FakeFault> FakeFault::fromText(const QString &text, QString *error) {
  const QStringList parts = text.split(QLatin1Char(':'));
  if (parts.size() < 2 || parts.size() > 3) {
    *error = QStringLiteral("a fault reads action:path[:argument], not '%1'").arg(text);
    return std::nullopt;
  }
  QJsonObject command{{QStringLiteral("action"), parts.at(0)}, {QStringLiteral("path"), parts.at(1)}};
  if (parts.size() == 3) {
    const QString argument = parts.at(2);
    command.insert(QStringLiteral("ms"), argument.toInt());
    command.insert(QStringLiteral("status"), argument.toInt());
    command.insert(QStringLiteral("bytes"), argument.toDouble());
  }
  return fromJson(command, error);
}

std::optional<FakeFault> FakeFault::fromJson(const QJsonObject &command, QString *error) {
  const auto action = actionNamed(command.value(QStringLiteral("action")).toString());
  if (!action) {
    *error = QStringLiteral("unknown fault action '%1'").arg(command.value(QStringLiteral("action")).toString());
    return std::nullopt;
  }
  FakeFault fault;
  fault.action = *action;
  fault.path = command.value(QStringLiteral("path")).toString().toUtf8();
  if (fault.path.isEmpty()) {
    *error = QStringLiteral("a fault needs a path");
    return std::nullopt;
  }
  fault.method = command.value(QStringLiteral("method")).toString().toUpper().toUtf8();
  fault.remaining = command.value(QStringLiteral("count")).toInt(-1);
  fault.ms = command.value(QStringLiteral("ms")).toInt(0);
  fault.status = command.value(QStringLiteral("status")).toInt(fault.action == Action::Respond ? 200 : 500);
  fault.bytes = qint64(command.value(QStringLiteral("bytes")).toDouble(0));
  fault.contentType =
      command.value(QStringLiteral("content_type")).toString(QStringLiteral("application/json")).toUtf8();
  fault.body = QByteArray::fromBase64(command.value(QStringLiteral("body_base64")).toString().toLatin1());
  for (const QJsonValue &h : command.value(QStringLiteral("headers")).toArray())
    fault.headers.append({h.toArray().at(0).toString().toLatin1(), h.toArray().at(1).toString().toLatin1()});
  return fault;
}

std::optional<FakeData> loadDatasetFile(const QString &fileName, QString *error) {
  QFile file(fileName);
  if (!file.open(QIODevice::ReadOnly)) {
    *error = QStringLiteral("cannot read %1: %2").arg(fileName, file.errorString());
    return std::nullopt;
  }
  QJsonParseError parseError;
  const QJsonDocument doc = QJsonDocument::fromJson(file.readAll(), &parseError);
  if (!doc.isObject()) {
    *error = QStringLiteral("%1 is not a JSON object: %2").arg(fileName, parseError.errorString());
    return std::nullopt;
  }
  return FakeData::fromJson(doc.object(), error);
}

FakeServer::FakeServer(FakeData data, QString login, QString password, QObject *parent)
    : HttpServer(parent), m_data(std::move(data)), m_login(std::move(login)), m_password(std::move(password)),
      m_adminUuid(QStringLiteral("0f5b9c3e-2d1a-4c8b-a6e7-91d4f3b2c1a0")),
      m_xivoUuid(QStringLiteral("a8c1e7f2-5b3d-4e9a-8f6c-2d7b1e0c9a34")) {}

bool FakeServer::openRecord(const QString &fileName) {
  m_record.setFileName(fileName);
  return m_record.open(QIODevice::WriteOnly | QIODevice::Append);
}

void FakeServer::record(const HttpRequest &request) {
  if (!m_record.isOpen())
    return;
  QJsonArray headers;
  for (const auto &h : request.headers)
    headers.append(QJsonArray{QString::fromLatin1(h.first), QString::fromLatin1(h.second)});
  const QJsonObject line{{QStringLiteral("seq"), ++m_sequence},
                         {QStringLiteral("method"), QString::fromLatin1(request.method)},
                         {QStringLiteral("target"), QString::fromLatin1(request.target)},
                         {QStringLiteral("path"), QString::fromLatin1(request.path())},
                         {QStringLiteral("query"), QString::fromLatin1(request.query())},
                         {QStringLiteral("headers"), headers},
                         {QStringLiteral("body"), QString::fromUtf8(request.body)},
                         {QStringLiteral("body_base64"), QString::fromLatin1(request.body.toBase64())}};
  m_record.write(QJsonDocument(line).toJson(QJsonDocument::Compact) + '\n');
  m_record.flush();
}

void FakeServer::handle(HttpConnection *connection, const HttpRequest &request) {
  record(request);
  const QByteArray path = request.path();
  FakeFault *fault = nullptr;
  for (FakeFault &f : m_faults)
    if (f.matches(request.method, mergeSlashes(path))) {
      fault = &f;
      break;
    }
  if (!fault) {
    send(connection, answer(request, connection->peerAddress()));
    return;
  }
  if (fault->remaining > 0)
    --fault->remaining;

  switch (fault->action) {
  case FakeFault::Action::Hang:
    return; // the connection stays open, unanswered, until the client gives up
  case FakeFault::Action::Reset:
    connection->reset();
    return;
  case FakeFault::Action::Delay: {
    const Answer later = answer(request, connection->peerAddress());
    QTimer::singleShot(fault->ms, connection, [this, connection, later] { send(connection, later); });
    return;
  }
  case FakeFault::Action::Status:
    send(connection,
         {fault->status, "application/json",
          errorArray(QStringLiteral("Unexpected error: fault injected on %1").arg(QString::fromLatin1(path)))});
    return;
  case FakeFault::Action::Html:
    send(connection, {200, "text/html", HtmlPage});
    return;
  case FakeFault::Action::Truncate: {
    Answer a = answer(request, connection->peerAddress());
    a.body.truncate(a.body.size() / 2);
    send(connection, a);
    return;
  }
  case FakeFault::Action::Huge: {
    Answer a = answer(request, connection->peerAddress());
    if (a.body.startsWith('{') && fault->bytes > 0)
      a.body = "{\"padding\":\"" + QByteArray(fault->bytes, 'x') + "\"," + a.body.mid(1);
    send(connection, a);
    return;
  }
  case FakeFault::Action::Respond:
    send(connection, {fault->status, fault->contentType, fault->body, fault->headers});
    return;
  }
}

void FakeServer::send(HttpConnection *connection, const Answer &answer) {
  HttpHeaders headers{{"Server", "nginx"}, {"Date", httpDate()}};
  if (answer.status != 204) {
    if (!answer.contentType.isEmpty())
      headers.append({"Content-Type", answer.contentType});
    headers.append({"Content-Length", QByteArray::number(answer.body.size())});
  }
  headers.append(answer.extraHeaders);
  connection->respond(answer.status, headers, answer.status == 204 ? QByteArray() : answer.body);
}

FakeServer::Answer FakeServer::answer(const HttpRequest &request, const QHostAddress &peer) {
  const QByteArray path = mergeSlashes(request.path());
  if (path == TokenRoute)
    return tokenAnswer(request, peer);
  if (path.startsWith(ConfdPrefix))
    return confdAnswer(request, path.mid(ConfdPrefix.size()));
  return {404, "application/json",
          compact(QJsonObject{
              {QStringLiteral("message"), QStringLiteral("The requested URL was not found on the server.")}})};
}

FakeServer::Answer FakeServer::tokenAnswer(const HttpRequest &request, const QHostAddress &peer) {
  if (request.method != "POST")
    return {405, "application/json",
            compact(QJsonObject{
                {QStringLiteral("message"), QStringLiteral("The method is not allowed for the requested URL.")}})};
  // The body is read before the credentials are looked at; any Content-Type.
  QJsonParseError parseError;
  const QJsonDocument doc = QJsonDocument::fromJson(request.body, &parseError);
  if (parseError.error != QJsonParseError::NoError || !doc.isObject())
    return {
        400, "application/json",
        compact(QJsonObject{{QStringLiteral("message"), QStringLiteral("Failed to decode JSON object: %1")
                                                            .arg(request.body.isEmpty() ? QStringLiteral("empty body")
                                                                                        : parseError.errorString())}})};
  const QJsonObject body = doc.object();
  qint64 expiration = DefaultExpiration;
  if (body.contains(QStringLiteral("expiration"))) {
    const QJsonValue v = body.value(QStringLiteral("expiration"));
    const double d = v.toDouble(-1);
    if (!v.isDouble() || d != double(qint64(d)) || d < 1 || d > MaxExpiration)
      return {
          400, "application/json",
          reasonBody(QStringLiteral("Invalid value for expiration: must be between 1 and %1").arg(MaxExpiration), 400)};
    expiration = qint64(d);
  }

  // Basic only: any other scheme counts as no credentials.
  const QByteArray authorization = request.header("Authorization");
  bool authenticated = false;
  if (authorization.left(6).compare("Basic ", Qt::CaseInsensitive) == 0) {
    const QByteArray decoded = QByteArray::fromBase64(authorization.mid(6).trimmed());
    const qsizetype colon = decoded.indexOf(':');
    authenticated = colon >= 0 && QString::fromUtf8(decoded.left(colon)) == m_login &&
                    QString::fromUtf8(decoded.mid(colon + 1)) == m_password;
  }
  if (!authenticated)
    return {401, "application/json", reasonBody(QStringLiteral("Authentication Failed"), 401)};

  const QString token = QUuid::createUuid().toString(QUuid::WithoutBraces);
  const QDateTime issued = QDateTime::currentDateTimeUtc();
  const QDateTime expires = issued.addSecs(expiration);
  m_tokens.insert(token, expires);
  const QJsonObject data{{QStringLiteral("token"), token},
                         {QStringLiteral("auth_id"), m_adminUuid},
                         {QStringLiteral("expires_at"), isoTime(expires.toLocalTime())},
                         {QStringLiteral("utc_expires_at"), isoTime(expires)},
                         {QStringLiteral("issued_at"), isoTime(issued.toLocalTime())},
                         {QStringLiteral("utc_issued_at"), isoTime(issued)},
                         {QStringLiteral("acl"), QJsonArray{QStringLiteral("confd.#"), QStringLiteral("auth.#")}},
                         {QStringLiteral("metadata"), QJsonObject{{QStringLiteral("uuid"), m_adminUuid},
                                                                  {QStringLiteral("auth_id"), m_adminUuid},
                                                                  {QStringLiteral("tenant_uuid"), m_data.tenantUuid},
                                                                  {QStringLiteral("pbx_user_uuid"), QJsonValue::Null},
                                                                  {QStringLiteral("xivo_uuid"), m_xivoUuid},
                                                                  {QStringLiteral("purpose"), QStringLiteral("user")},
                                                                  {QStringLiteral("admin"), true}}},
                         {QStringLiteral("session_uuid"), QUuid::createUuid().toString(QUuid::WithoutBraces)},
                         {QStringLiteral("xivo_uuid"), m_xivoUuid},
                         {QStringLiteral("xivo_user_uuid"), QJsonValue::Null},
                         {QStringLiteral("remote_addr"), peer.toString()},
                         {QStringLiteral("user_agent"), QString::fromLatin1(request.header("User-Agent"))}};
  return {200, "application/json", compact(QJsonObject{{QStringLiteral("data"), data}})};
}

FakeServer::Answer FakeServer::confdAnswer(const HttpRequest &request, const QByteArray &path) {
  using List = FakeData::List;
  static const QRegularExpression listRe(
      QStringLiteral("^(users|lines|extensions|incalls|callpermissions|devices/unallocated)$"));
  static const QRegularExpression itemRe(QStringLiteral("^(users|lines|extensions|incalls|callpermissions)/(\\d+)$"));
  static const QRegularExpression linkRe(QStringLiteral("^users/(\\d+)/callpermissions/(\\d+)$"));
  static const QHash<QString, List> lists{{QStringLiteral("users"), List::Users},
                                          {QStringLiteral("lines"), List::Lines},
                                          {QStringLiteral("extensions"), List::Extensions},
                                          {QStringLiteral("incalls"), List::Incalls},
                                          {QStringLiteral("callpermissions"), List::CallPermissions},
                                          {QStringLiteral("devices/unallocated"), List::UnallocatedDevices}};

  const QString route = QString::fromLatin1(path);
  const auto listMatch = listRe.match(route);
  const auto itemMatch = itemRe.match(route);
  const auto linkMatch = linkRe.match(route);
  QList<QByteArray> allowed;
  if (listMatch.hasMatch())
    allowed = {"GET"};
  else if (itemMatch.hasMatch())
    allowed = itemMatch.captured(1) == QLatin1String("users") || itemMatch.captured(1) == QLatin1String("incalls")
                  ? QList<QByteArray>{"GET", "PUT"}
                  : QList<QByteArray>{"GET"};
  else if (linkMatch.hasMatch())
    allowed = {"PUT", "DELETE"};
  else
    return {404, "application/json",
            compact(QJsonObject{
                {QStringLiteral("message"), QStringLiteral("The requested URL was not found on the server.")}})};
  if (!allowed.contains(request.method))
    return {405, "application/json",
            compact(QJsonObject{
                {QStringLiteral("message"), QStringLiteral("The method is not allowed for the requested URL.")}})};

  // The token is read from X-Auth-Token alone.
  const QString token = QString::fromLatin1(request.header("X-Auth-Token"));
  const bool known = m_tokens.contains(token) && m_tokens.value(token) > QDateTime::currentDateTimeUtc();
  if (m_expiredTokens || !known)
    return {401, "application/json", errorArray(QStringLiteral("Unauthorized: invalid or expired token"))};

  auto reply = [](const FakeReply &r) { return Answer{r.status, "application/json", r.body}; };
  if (listMatch.hasMatch())
    return {200, "application/json",
            m_data.listBody(lists.value(listMatch.captured(1)), QUrlQuery(QString::fromLatin1(request.query())))};
  if (linkMatch.hasMatch())
    return reply(m_data.linkCallPermission(linkMatch.captured(1).toLongLong(), linkMatch.captured(2).toLongLong(),
                                           request.method == "PUT"));
  const List list = lists.value(itemMatch.captured(1));
  const qint64 id = itemMatch.captured(2).toLongLong();
  if (request.method == "GET")
    return reply(m_data.item(list, id));

  // Writes: the resource first, then the media type, then the body.
  FakeReply existing = m_data.item(list, id);
  if (existing.status == 404)
    return reply(existing);
  const QByteArray contentType = request.header("Content-Type").split(';').value(0).trimmed().toLower();
  if (contentType != "application/json")
    return {415, "application/json", errorArray(QStringLiteral("Unsupported Media Type: expected application/json"))};
  return reply(list == List::Users ? m_data.putUser(id, request.body) : m_data.putIncall(id, request.body));
}

QString FakeServer::command(const QJsonObject &command) {
  const QString name = command.value(QStringLiteral("cmd")).toString();
  QString error;
  if (name == QLatin1String("fault")) {
    const auto fault = FakeFault::fromJson(command, &error);
    if (!fault)
      return QStringLiteral("error ") + error;
    m_faults.append(*fault);
  } else if (name == QLatin1String("clear-faults")) {
    m_faults.clear();
    m_expiredTokens = false;
  } else if (name == QLatin1String("expired-token")) {
    m_expiredTokens = command.value(QStringLiteral("on")).toBool(true);
  } else if (name == QLatin1String("credentials")) {
    m_login = command.value(QStringLiteral("login")).toString();
    m_password = command.value(QStringLiteral("password")).toString();
  } else if (name == QLatin1String("clear-record")) {
    if (m_record.isOpen())
      m_record.resize(0);
    m_sequence = 0;
  } else if (name == QLatin1String("state")) {
    return QStringLiteral("ok ") + QString::fromUtf8(compact(m_data.toJson()));
  } else if (name == QLatin1String("load")) {
    std::optional<FakeData> data;
    if (command.contains(QStringLiteral("users")))
      data = FakeData::generate(command.value(QStringLiteral("users")).toInt());
    else
      data = loadDatasetFile(command.value(QStringLiteral("file")).toString(), &error);
    if (!data)
      return QStringLiteral("error ") + error;
    m_data = std::move(*data);
  } else {
    return QStringLiteral("error unknown command '%1'").arg(name);
  }
  return QStringLiteral("ok");
}
