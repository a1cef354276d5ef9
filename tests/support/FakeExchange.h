#pragma once
// Runs the fake exchange (the program named by LARKSPAN_FAKE_EXCHANGE) as a
// subprocess on a free loopback port, for tests that talk to it over real
// HTTPS. The fake records every request it reads; requests() gives them
// back in order, with the headers as they came over the wire.
//
//   FakeExchange fake;
//   QVERIFY2(fake.start(), qPrintable(fake.errorString()));   // 50 users
//   fake.configure(*PortConfig);                               // base URL, login, password
//   ... run the code under test ...
//   const auto posts = fake.requests("POST", "/api/auth/0.1/token");
//   QCOMPARE(posts.size(), 2);
//   QVERIFY(!posts.at(0).hasHeader("Authorization"));
//
// Faults (hang, delay, status, html, truncate, reset, huge, respond) and
// other changes take effect at once, for the requests that follow.

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QPair>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

struct FakeRequest {
  int seq = 0;
  QByteArray method;
  QByteArray target; // as on the request line, query included
  QByteArray path;   // target up to "?"
  QByteArray query;
  QList<QPair<QByteArray, QByteArray>> headers; // in the order received
  QByteArray body;

  // First header of that name, compared without regard to case; null when absent.
  QByteArray header(const QByteArray &name) const;
  bool hasHeader(const QByteArray &name) const;
  QList<QByteArray> headerNames() const;
  // "METHOD target", one "Name: value" line per header, a blank line, the body.
  QString wireText() const;
};

class FakeExchange {
public:
  struct Options {
    int users = 50;  // generated dataset, unless `dataset` is given
    QString dataset; // a dataset file; relative names are under tests/data
    QString login = QStringLiteral("admin");
    QString password = QStringLiteral("secret");
    QStringList faults; // "action:path[:argument]", applied from the start
    QStringList extraArguments;
  };

  FakeExchange();
  ~FakeExchange();
  FakeExchange(const FakeExchange &) = delete;
  FakeExchange &operator=(const FakeExchange &) = delete;

  // Starts the fake and waits until it listens. False, with errorString(),
  // when it cannot.
  bool start() { return start(Options()); }
  bool start(const Options &options);
  bool startWithUsers(int users);
  bool startWithDataset(const QString &dataset);
  void stop();
  bool isRunning() const;
  QString errorString() const { return m_error; }

  QString baseUrl() const { return m_baseUrl; } // "https://127.0.0.1:PORT"
  quint16 port() const { return m_port; }
  QString login() const { return m_login; }
  QString password() const { return m_password; }

  // Points a connection description (TOProtoTypePBX or anything with the
  // same setters) at this fake.
  template <class Port> void configure(Port &port) const {
    port.SetPB_HTTP_BASE_URL(m_baseUrl);
    port.SetPB_HTTP_USERNAME(m_login);
    port.SetPB_HTTP_PASSW(m_password);
  }

  // Requests read so far, in order; filtered by method and/or path (the
  // path as sent, without the query) when given.
  QList<FakeRequest> requests(const QByteArray &method = {}, const QByteArray &path = {}) const;
  bool clearRequests();

  // Faults on a path (exact, or a prefix ending in "*"), for every request
  // or for the next `count`; `method` empty means any method.
  bool hang(const QString &path, const QString &method = {}, int count = -1);
  bool delay(const QString &path, int ms, const QString &method = {}, int count = -1);
  bool failWith(const QString &path, int status, const QString &method = {}, int count = -1);
  bool htmlPage(const QString &path, const QString &method = {}, int count = -1);
  bool truncateBody(const QString &path, const QString &method = {}, int count = -1);
  bool resetConnection(const QString &path, const QString &method = {}, int count = -1);
  bool hugeBody(const QString &path, qint64 paddingBytes, const QString &method = {}, int count = -1);
  // A fixed answer; an empty contentType sends no Content-Type header.
  bool respond(const QString &path, int status, const QByteArray &contentType, const QByteArray &body,
               const QString &method = {}, int count = -1,
               const QList<QPair<QByteArray, QByteArray>> &extraHeaders = {});
  bool expireTokens(bool on = true);
  bool clearFaults(); // also ends expireTokens

  bool setCredentials(const QString &login, const QString &password);
  // Replaces the data: a generated dataset or a dataset file.
  bool loadUsers(int users);
  bool loadDataset(const QString &dataset);
  // The data as the fake holds it now, in the dataset file's form.
  QJsonObject state();

  // One raw control command; `answer` gets what follows "ok ".
  bool command(const QJsonObject &command, QByteArray *answer = nullptr);

  static QString dataPath(const QString &name);

private:
  bool fault(QJsonObject command, const QString &path, const QString &method, int count);
  bool readLine(QByteArray *line);

  QProcess m_process;
  QTemporaryDir m_dir;
  QString m_recordFile;
  QString m_baseUrl;
  quint16 m_port = 0;
  QString m_login;
  QString m_password;
  QString m_error;
  QByteArray m_stdout;
};
