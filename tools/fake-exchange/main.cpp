// fake-exchange: a stand-in for the exchange's token and configuration
// services, over HTTPS on the loopback, for the tests and the demo.
//
//   fake-exchange [--port P] [--users N | --dataset FILE]
//                 [--login L] [--password W] [--record FILE]
//                 [--fault action:path[:argument]]... [--expired-token]
//                 [--cert FILE --key FILE] [--control]
//
// Prints "listening on https://127.0.0.1:PORT" on stdout once it accepts
// connections. With --control it reads commands from stdin (see
// FakeServer.h) and ends when stdin closes, so it never outlives the test
// that started it.

#include "FakeServer.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QJsonDocument>
#include <QSocketNotifier>
#include <QSslCertificate>
#include <QSslKey>

#include <cstdio>
#include <unistd.h>

namespace {

QByteArray readAll(const QString &fileName) {
  QFile file(fileName);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

int fail(const QString &message) {
  std::fprintf(stderr, "fake-exchange: %s\n", qPrintable(message));
  return 2;
}

void answerLine(const QString &line) {
  std::fputs(line.toUtf8().constData(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

// Reads control commands from stdin, one JSON object per line.
void watchStdin(FakeServer *server) {
  auto *notifier = new QSocketNotifier(STDIN_FILENO, QSocketNotifier::Read, server);
  auto *pending = new QByteArray;
  QObject::connect(notifier, &QObject::destroyed, [pending] { delete pending; });
  QObject::connect(notifier, &QSocketNotifier::activated, server, [server, notifier, pending] {
    char chunk[65536];
    const ssize_t n = ::read(STDIN_FILENO, chunk, sizeof chunk);
    if (n <= 0) {
      notifier->setEnabled(false);
      QCoreApplication::quit();
      return;
    }
    pending->append(chunk, n);
    qsizetype end;
    while ((end = pending->indexOf('\n')) >= 0) {
      const QByteArray line = pending->left(end).trimmed();
      pending->remove(0, end + 1);
      if (line.isEmpty())
        continue;
      QJsonParseError error;
      const QJsonDocument doc = QJsonDocument::fromJson(line, &error);
      answerLine(doc.isObject() ? server->command(doc.object())
                                : QStringLiteral("error not a JSON object: ") + error.errorString());
    }
  });
}

} // namespace

int main(int argc, char **argv) {
  QCoreApplication app(argc, argv);
  QCoreApplication::setApplicationName(QStringLiteral("fake-exchange"));

  QCommandLineParser parser;
  parser.setApplicationDescription(QStringLiteral("Stand-in for the exchange's token and configuration services."));
  parser.addHelpOption();
  const QCommandLineOption portOption(QStringLiteral("port"), QStringLiteral("Port on 127.0.0.1 (0: any free one)."),
                                      QStringLiteral("port"), QStringLiteral("0"));
  const QCommandLineOption usersOption(QStringLiteral("users"), QStringLiteral("Generate a dataset of N users."),
                                       QStringLiteral("N"));
  const QCommandLineOption datasetOption(QStringLiteral("dataset"), QStringLiteral("Serve the dataset in FILE."),
                                         QStringLiteral("file"));
  const QCommandLineOption loginOption(QStringLiteral("login"), QStringLiteral("Accepted login."),
                                       QStringLiteral("login"), QStringLiteral("admin"));
  const QCommandLineOption passwordOption(QStringLiteral("password"), QStringLiteral("Accepted password."),
                                          QStringLiteral("password"), QStringLiteral("secret"));
  const QCommandLineOption recordOption(
      QStringLiteral("record"), QStringLiteral("Append every request to FILE as a JSON line."), QStringLiteral("file"));
  const QCommandLineOption faultOption(
      QStringLiteral("fault"), QStringLiteral("Fault action:path[:argument]; repeatable."), QStringLiteral("fault"));
  const QCommandLineOption expiredOption(QStringLiteral("expired-token"),
                                         QStringLiteral("Answer 401 to every configuration request."));
  const QCommandLineOption certOption(QStringLiteral("cert"), QStringLiteral("PEM certificate."),
                                      QStringLiteral("file"), QStringLiteral(":/tls/fake-exchange.crt"));
  const QCommandLineOption keyOption(QStringLiteral("key"), QStringLiteral("PEM private key."), QStringLiteral("file"),
                                     QStringLiteral(":/tls/fake-exchange.key"));
  const QCommandLineOption controlOption(QStringLiteral("control"),
                                         QStringLiteral("Read commands from stdin; exit when it closes."));
  parser.addOptions({portOption, usersOption, datasetOption, loginOption, passwordOption, recordOption, faultOption,
                     expiredOption, certOption, keyOption, controlOption});
  parser.process(app);

  QString error;
  std::optional<FakeData> data;
  if (parser.isSet(datasetOption))
    data = loadDatasetFile(parser.value(datasetOption), &error);
  else
    data = FakeData::generate(parser.isSet(usersOption) ? parser.value(usersOption).toInt() : 50);
  if (!data)
    return fail(error);

  const QSslCertificate certificate(readAll(parser.value(certOption)), QSsl::Pem);
  const QSslKey key(readAll(parser.value(keyOption)), QSsl::Rsa, QSsl::Pem);
  if (certificate.isNull() || key.isNull())
    return fail(QStringLiteral("cannot read the certificate or the key"));
  QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
  tls.setLocalCertificate(certificate);
  tls.setPrivateKey(key);
  tls.setPeerVerifyMode(QSslSocket::VerifyNone);

  FakeServer server(std::move(*data), parser.value(loginOption), parser.value(passwordOption));
  if (parser.isSet(recordOption) && !server.openRecord(parser.value(recordOption)))
    return fail(QStringLiteral("cannot open the record file %1").arg(parser.value(recordOption)));
  for (const QString &text : parser.values(faultOption)) {
    const auto fault = FakeFault::fromText(text, &error);
    if (!fault)
      return fail(error);
    server.addFault(*fault);
  }
  server.setExpiredTokens(parser.isSet(expiredOption));

  bool portOk = false;
  const uint port = parser.value(portOption).toUInt(&portOk);
  if (!portOk || port > 65535)
    return fail(QStringLiteral("bad port %1").arg(parser.value(portOption)));
  if (!server.listen(tls, QHostAddress::LocalHost, quint16(port)))
    return fail(QStringLiteral("cannot listen: %1").arg(server.errorString()));
  if (parser.isSet(controlOption))
    watchStdin(&server);

  answerLine(QStringLiteral("listening on https://127.0.0.1:%1").arg(server.port()));
  return app.exec();
}
