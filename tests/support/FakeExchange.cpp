#include "FakeExchange.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>

namespace {
// Upper bounds only: each wait returns as soon as the fake has spoken.
constexpr int StartLimitMs = 30000;
constexpr int CommandLimitMs = 30000;
} // namespace

QByteArray FakeRequest::header(const QByteArray &name) const {
  for (const auto &h : headers)
    if (h.first.compare(name, Qt::CaseInsensitive) == 0)
      return h.second.isNull() ? QByteArray("") : h.second;
  return {};
}

bool FakeRequest::hasHeader(const QByteArray &name) const {
  for (const auto &h : headers)
    if (h.first.compare(name, Qt::CaseInsensitive) == 0)
      return true;
  return false;
}

QList<QByteArray> FakeRequest::headerNames() const {
  QList<QByteArray> names;
  for (const auto &h : headers)
    names.append(h.first);
  return names;
}

QString FakeRequest::wireText() const {
  QString text = QString::fromLatin1(method + ' ' + target) + QLatin1Char('\n');
  for (const auto &h : headers)
    text += QString::fromLatin1(h.first + ": " + h.second) + QLatin1Char('\n');
  text += QLatin1Char('\n');
  text += QString::fromUtf8(body);
  return text;
}

FakeExchange::FakeExchange() = default;

FakeExchange::~FakeExchange() {
  stop();
}

QString FakeExchange::dataPath(const QString &name) {
  if (QFileInfo(name).isAbsolute())
    return name;
  return QDir(QStringLiteral(LARKSPAN_TEST_DATA_DIR)).filePath(name);
}

bool FakeExchange::startWithUsers(int users) {
  Options options;
  options.users = users;
  return start(options);
}

bool FakeExchange::startWithDataset(const QString &dataset) {
  Options options;
  options.dataset = dataset;
  return start(options);
}

bool FakeExchange::start(const Options &options) {
  stop();
  m_error.clear();
  const QString program = qEnvironmentVariable("LARKSPAN_FAKE_EXCHANGE");
  if (program.isEmpty()) {
    m_error = QStringLiteral("LARKSPAN_FAKE_EXCHANGE is not set (run the test through ctest)");
    return false;
  }
  if (!m_dir.isValid()) {
    m_error = QStringLiteral("no temporary directory for the request record");
    return false;
  }
  m_recordFile = m_dir.filePath(QStringLiteral("requests.jsonl"));
  QFile::remove(m_recordFile);
  m_login = options.login;
  m_password = options.password;

  QStringList arguments{QStringLiteral("--control"),
                        QStringLiteral("--port"),
                        QStringLiteral("0"),
                        QStringLiteral("--login"),
                        options.login,
                        QStringLiteral("--password"),
                        options.password,
                        QStringLiteral("--record"),
                        m_recordFile};
  if (!options.dataset.isEmpty())
    arguments << QStringLiteral("--dataset") << dataPath(options.dataset);
  else
    arguments << QStringLiteral("--users") << QString::number(options.users);
  for (const QString &fault : options.faults)
    arguments << QStringLiteral("--fault") << fault;
  arguments << options.extraArguments;

  m_stdout.clear();
  // The fake's own complaints go to the test's output.
  m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
  m_process.start(program, arguments);
  if (!m_process.waitForStarted(StartLimitMs)) {
    m_error = QStringLiteral("cannot start %1: %2").arg(program, m_process.errorString());
    return false;
  }
  QByteArray line;
  if (!readLine(&line)) {
    m_error = QStringLiteral("the fake exchange ended before listening (exit code %1)").arg(m_process.exitCode());
    stop();
    return false;
  }
  static const QRegularExpression listening(QStringLiteral("^listening on (https://127\\.0\\.0\\.1:(\\d+))$"));
  const auto match = listening.match(QString::fromUtf8(line));
  if (!match.hasMatch()) {
    m_error = QStringLiteral("unexpected first line from the fake exchange: ") + QString::fromUtf8(line);
    stop();
    return false;
  }
  m_baseUrl = match.captured(1);
  m_port = quint16(match.captured(2).toUInt());
  return true;
}

void FakeExchange::stop() {
  if (m_process.state() != QProcess::NotRunning) {
    // Closing stdin ends it; kill only when it does not.
    m_process.closeWriteChannel();
    if (!m_process.waitForFinished(5000)) {
      m_process.kill();
      m_process.waitForFinished(5000);
    }
  }
  m_baseUrl.clear();
  m_port = 0;
}

bool FakeExchange::isRunning() const {
  return m_process.state() == QProcess::Running;
}

bool FakeExchange::readLine(QByteArray *line) {
  for (;;) {
    const qsizetype end = m_stdout.indexOf('\n');
    if (end >= 0) {
      *line = m_stdout.left(end);
      m_stdout.remove(0, end + 1);
      return true;
    }
    if (m_process.state() != QProcess::Running && m_process.bytesAvailable() == 0)
      return false;
    if (m_process.bytesAvailable() == 0 && !m_process.waitForReadyRead(CommandLimitMs))
      return false;
    m_stdout += m_process.readAllStandardOutput();
  }
}

bool FakeExchange::command(const QJsonObject &command, QByteArray *answer) {
  if (!isRunning()) {
    m_error = QStringLiteral("the fake exchange is not running");
    return false;
  }
  m_process.write(QJsonDocument(command).toJson(QJsonDocument::Compact) + '\n');
  m_process.waitForBytesWritten(CommandLimitMs);
  QByteArray line;
  if (!readLine(&line)) {
    m_error = QStringLiteral("no answer from the fake exchange");
    return false;
  }
  if (line == "ok" || line.startsWith("ok ")) {
    if (answer)
      *answer = line.mid(3);
    return true;
  }
  m_error = QString::fromUtf8(line);
  return false;
}

QList<FakeRequest> FakeExchange::requests(const QByteArray &method, const QByteArray &path) const {
  QList<FakeRequest> result;
  QFile file(m_recordFile);
  if (!file.open(QIODevice::ReadOnly))
    return result;
  const QList<QByteArray> lines = file.readAll().split('\n');
  for (const QByteArray &line : lines) {
    const QJsonObject o = QJsonDocument::fromJson(line).object();
    if (o.isEmpty())
      continue;
    FakeRequest r;
    r.seq = o.value(QStringLiteral("seq")).toInt();
    r.method = o.value(QStringLiteral("method")).toString().toLatin1();
    r.target = o.value(QStringLiteral("target")).toString().toLatin1();
    r.path = o.value(QStringLiteral("path")).toString().toLatin1();
    r.query = o.value(QStringLiteral("query")).toString().toLatin1();
    for (const QJsonValue &h : o.value(QStringLiteral("headers")).toArray())
      r.headers.append({h.toArray().at(0).toString().toLatin1(), h.toArray().at(1).toString().toLatin1()});
    r.body = QByteArray::fromBase64(o.value(QStringLiteral("body_base64")).toString().toLatin1());
    if ((method.isEmpty() || r.method == method) && (path.isEmpty() || r.path == path))
      result.append(r);
  }
  return result;
}

bool FakeExchange::clearRequests() {
  return command({{QStringLiteral("cmd"), QStringLiteral("clear-record")}});
}

bool FakeExchange::fault(QJsonObject command, const QString &path, const QString &method, int count) {
  command.insert(QStringLiteral("cmd"), QStringLiteral("fault"));
  command.insert(QStringLiteral("path"), path);
  if (!method.isEmpty())
    command.insert(QStringLiteral("method"), method);
  command.insert(QStringLiteral("count"), count);
  return this->command(command);
}

bool FakeExchange::hang(const QString &path, const QString &method, int count) {
  return fault({{QStringLiteral("action"), QStringLiteral("hang")}}, path, method, count);
}

bool FakeExchange::delay(const QString &path, int ms, const QString &method, int count) {
  return fault({{QStringLiteral("action"), QStringLiteral("delay")}, {QStringLiteral("ms"), ms}}, path, method, count);
}

bool FakeExchange::failWith(const QString &path, int status, const QString &method, int count) {
  return fault({{QStringLiteral("action"), QStringLiteral("status")}, {QStringLiteral("status"), status}}, path, method,
               count);
}

bool FakeExchange::htmlPage(const QString &path, const QString &method, int count) {
  return fault({{QStringLiteral("action"), QStringLiteral("html")}}, path, method, count);
}

bool FakeExchange::truncateBody(const QString &path, const QString &method, int count) {
  return fault({{QStringLiteral("action"), QStringLiteral("truncate")}}, path, method, count);
}

bool FakeExchange::resetConnection(const QString &path, const QString &method, int count) {
  return fault({{QStringLiteral("action"), QStringLiteral("reset")}}, path, method, count);
}

bool FakeExchange::hugeBody(const QString &path, qint64 paddingBytes, const QString &method, int count) {
  return fault({{QStringLiteral("action"), QStringLiteral("huge")}, {QStringLiteral("bytes"), double(paddingBytes)}},
               path, method, count);
}

bool FakeExchange::respond(const QString &path, int status, const QByteArray &contentType, const QByteArray &body,
                           const QString &method, int count, const QList<QPair<QByteArray, QByteArray>> &extraHeaders) {
  QJsonArray headers;
  for (const auto &h : extraHeaders)
    headers.append(QJsonArray{QString::fromLatin1(h.first), QString::fromLatin1(h.second)});
  return fault({{QStringLiteral("action"), QStringLiteral("respond")},
                {QStringLiteral("status"), status},
                {QStringLiteral("content_type"), QString::fromLatin1(contentType)},
                {QStringLiteral("body_base64"), QString::fromLatin1(body.toBase64())},
                {QStringLiteral("headers"), headers}},
               path, method, count);
}

bool FakeExchange::expireTokens(bool on) {
  return command({{QStringLiteral("cmd"), QStringLiteral("expired-token")}, {QStringLiteral("on"), on}});
}

bool FakeExchange::clearFaults() {
  return command({{QStringLiteral("cmd"), QStringLiteral("clear-faults")}});
}

bool FakeExchange::setCredentials(const QString &login, const QString &password) {
  if (!command({{QStringLiteral("cmd"), QStringLiteral("credentials")},
                {QStringLiteral("login"), login},
                {QStringLiteral("password"), password}}))
    return false;
  m_login = login;
  m_password = password;
  return true;
}

bool FakeExchange::loadUsers(int users) {
  return command({{QStringLiteral("cmd"), QStringLiteral("load")}, {QStringLiteral("users"), users}});
}

bool FakeExchange::loadDataset(const QString &dataset) {
  return command({{QStringLiteral("cmd"), QStringLiteral("load")}, {QStringLiteral("file"), dataPath(dataset)}});
}

QJsonObject FakeExchange::state() {
  QByteArray answer;
  if (!command({{QStringLiteral("cmd"), QStringLiteral("state")}}, &answer))
    return {};
  return QJsonDocument::fromJson(answer).object();
}
