// The reload's four lists at 20,000 users against the fake exchange on
// loopback, next to the floor: fetching the same four bodies and parsing
// them with QJsonDocument alone.
//
// Both sides pay what the program must pay per request: a fresh network
// manager, so a fresh TLS connection, and one token request per reload.

#include "APIWazo.h"
#include "FakeExchange.h"
#include "TempWorkDir.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>

#include <benchmark/benchmark.h>

#include <memory>

namespace {

constexpr int kUsers = 20000;

const char *const kLists[] = {"/api/confd/1.1/callpermissions", "/api/confd/1.1/incalls",
                              "/api/confd/1.1/extensions", "/api/confd/1.1/users"};

FakeExchange *fake = nullptr;

QByteArray fetch(const QString &url, const QByteArray &method,
                 const QList<QPair<QByteArray, QByteArray>> &headers, const QByteArray &body = {}) {
  QNetworkAccessManager nam;
  QNetworkRequest request{QUrl(url)};
  for (const auto &h : headers)
    request.setRawHeader(h.first, h.second);
  QNetworkReply *reply = nam.sendCustomRequest(request, method, body);
  QObject::connect(reply, &QNetworkReply::sslErrors, reply,
                   [reply](const QList<QSslError> &) { reply->ignoreSslErrors(); });
  QEventLoop loop;
  QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
  loop.exec();
  const QByteArray answer = reply->readAll();
  delete reply;
  return answer;
}

// The reload as the main window runs it, through the program's own calls.
void programLoad(benchmark::State &state) {
  QString token;
  TResExtract res;
  GetToken(*PortConfig, token, res);
  if (res.iRes != 0) {
    state.SkipWithError("no token");
    return;
  }
  QString body;
  RestGet(*PortConfig, token, kLists[0], body, res);
  LoadPermissions(body);
  RestGet(*PortConfig, token, kLists[1], body, res);
  LoadIncalls(body);
  RestGet(*PortConfig, token, kLists[2], body, res);
  LoadExtensions(body);
  RestGet(*PortConfig, token, kLists[3], body, res);
  if (res.iRes != 0) {
    state.SkipWithError("users request failed");
    return;
  }
  LoadUsers(body);
}

void setUp() {
  createPortConfig();
  fake->configure(*PortConfig);
  CreateUserTable();
}

void tearDown() {
  FreeDirectory();
  releasePortConfig();
}

void checkLoaded(benchmark::State &state) {
  if (!UserTable || UserTable->rowCount() != kUsers || DidMap->isEmpty() || PermMap->isEmpty())
    state.SkipWithError("lists not loaded");
}

} // namespace

// With the trace log open, as in the program: every body is also written to
// the log. The log is emptied between iterations, outside the timing.
static void BM_ProgramReload_Traced(benchmark::State &state) {
  TempWorkDir dir;
  const QString log = dir.filePath("bench.log");
  setUp();
  for (auto _ : state) {
    state.PauseTiming();
    TraceClose();
    QFile::remove(log);
    traceOpenFile(log);
    state.ResumeTiming();
    programLoad(state);
  }
  TraceClose();
  checkLoaded(state);
  tearDown();
}
BENCHMARK(BM_ProgramReload_Traced)->Unit(benchmark::kMillisecond)->UseRealTime();

// The same without a trace log: the cost of the client and the loaders.
static void BM_ProgramReload_Untraced(benchmark::State &state) {
  setUp();
  for (auto _ : state)
    programLoad(state);
  checkLoaded(state);
  tearDown();
}
BENCHMARK(BM_ProgramReload_Untraced)->Unit(benchmark::kMillisecond)->UseRealTime();

// The floor: one token request with credentials, four GETs, four parses.
static void BM_RawFetchAndParse(benchmark::State &state) {
  const QString base = fake->baseUrl();
  const QByteArray basic =
      "Basic " + (fake->login() + ':' + fake->password()).toUtf8().toBase64();
  qsizetype items = 0;
  for (auto _ : state) {
    const QByteArray tokenBody =
        fetch(base + QStringLiteral("/api/auth/0.1/token"), "POST", {{"Authorization", basic}},
              "{\"expiration\":30}");
    const QByteArray token =
        QJsonDocument::fromJson(tokenBody).object().value("data").toObject().value("token").toString().toUtf8();
    for (const char *path : kLists) {
      const QByteArray body =
          fetch(base + QLatin1String(path), "GET", {{"X-Auth-Token", token}, {"Accept", "*/*"}});
      const QJsonDocument doc = QJsonDocument::fromJson(body);
      items += doc.object().value("items").toArray().size();
    }
  }
  if (items == 0)
    state.SkipWithError("nothing fetched");
  benchmark::DoNotOptimize(items);
}
BENCHMARK(BM_RawFetchAndParse)->Unit(benchmark::kMillisecond)->UseRealTime();

int main(int argc, char **argv) {
  QCoreApplication app(argc, argv);
  if (qEnvironmentVariableIsEmpty("LARKSPAN_FAKE_EXCHANGE"))
    qputenv("LARKSPAN_FAKE_EXCHANGE", LARKSPAN_FAKE_EXCHANGE_PATH);
  benchmark::Initialize(&argc, argv);
  FakeExchange exchange;
  if (!exchange.startWithUsers(kUsers)) {
    fprintf(stderr, "fake exchange: %s\n", qPrintable(exchange.errorString()));
    return 1;
  }
  fake = &exchange;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  fake = nullptr;
  exchange.stop();
  return 0;
}
