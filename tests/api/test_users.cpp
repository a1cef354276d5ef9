#include "APIWazoData.h"
#include "LarkspanError.h"
#include "TempWorkDir.h"

#include <QFile>
#include <QTest>

#include <memory>

class TestUsers : public QObject {
  Q_OBJECT
private slots:
  void init();
  void cleanup();

  void tableLayout();
  void usersOfAnExchange();
  void users_data();
  void users();
  void didJoin();
  void emptyBodyKeepsRows();
  void bodyRefusedKeepsRows_data();
  void bodyRefusedKeepsRows();
  void unreadableUser_data();
  void unreadableUser();
  void sortAndFilterSurviveReload();
  void freeDirectoryReleasesAll();

private:
  std::unique_ptr<TempWorkDir> m_dir;
};

namespace {

QString fixture(const char *name) {
  QFile f(QStringLiteral(LARKSPAN_TEST_DATA_DIR "/api/") + QLatin1String(name));
  if (!f.open(QIODevice::ReadOnly))
    qFatal("missing fixture %s", name);
  return QString::fromUtf8(f.readAll());
}

// Rows in storage order, each "field=value" for the named fields, "~" for null.
QStringList rows(const QStringList &fields) {
  QStringList out;
  for (int r = 0; r < UserTable->rowCount(); ++r) {
    QStringList cells;
    for (const QString &f : fields) {
      const int i = UserTable->fieldIndex(f);
      cells << (UserTable->isNull(r, i) ? QStringLiteral("~") : UserTable->value(r, i));
    }
    out << cells.join(u'|');
  }
  return out;
}

QStringList traceLines(const QString &path) {
  QString text = QString::fromUtf8(readFileBytes(path));
  QStringList lines = text.split(QStringLiteral("\r\n"));
  if (!lines.isEmpty() && lines.last().isEmpty())
    lines.removeLast();
  return lines;
}

const QStringList kAllFields = {"firstname", "lastname",           "email", "call_permissions",
                                "extensions", "caller_id",         "did",   "outgoing_caller_id",
                                "id",         "uuid"};

} // namespace

void TestUsers::init() {
  m_dir.reset(); // a failed init is not followed by cleanup
  m_dir = std::make_unique<TempWorkDir>();
  traceOpenFile(m_dir->filePath("trace.log"));
  CreateUserTable();
}

void TestUsers::cleanup() {
  FreeDirectory();
  TraceClose();
  m_dir.reset();
}

void TestUsers::tableLayout() {
  QVERIFY(PermMap && DidMap && ExtMap && UserTable);
  QVERIFY(PermMap->isEmpty() && DidMap->isEmpty() && ExtMap->isEmpty());
  QCOMPARE(UserTable->rowCount(), 0);
  const QStringList labels = {"firstname", "lastname",  "email", "call permissions",
                              "extensions", "caller id", "did",   "outgoing caller id",
                              "id",         "uuid"};
  const int sizes[] = {80, 80, 80, 80, 20, 80, 20, 80, 5, 80};
  QCOMPARE(UserTable->fieldCount(), 10);
  for (int i = 0; i < 10; ++i) {
    QCOMPARE(UserTable->field(i).name, kAllFields[i]);
    QCOMPARE(UserTable->field(i).displayLabel, labels[i]);
    QCOMPARE(UserTable->field(i).size, sizes[i]);
  }
  QCOMPARE(UserTable->indexFieldNames(), QString("extensions"));
  QVERIFY(UserTable->filterCaseInsensitive());
  QVERIFY(traceLines(m_dir->filePath("trace.log")).isEmpty());
}

void TestUsers::usersOfAnExchange() {
  LoadIncalls(fixture("incalls.json"));
  LoadUsers(fixture("users.json"));
  QCOMPARE(rows(kAllFields),
           QStringList({"Alice|Martin|alice.martin@example.com|Internal|1001|\"Alice Martin\"|"
                        "0123456789|~|12|5b5c0f4e-3d2a-4c1e-9f1b-8a7c6d5e4f30",
                        "Bob|~|~|~|~|\"Bob\"|~|anonymous|13|0a1b2c3d-4e5f-4061-8273-94a5b6c7d8e9",
                        // first permission only; first line's first extension only
                        "Dan|Roe|dan@example.com|National|~|\"Dan Roe\"|0123456791|+33123456791|15|"
                        "f0e1d2c3-b4a5-4697-8877-665544332211"}));
  // Sorted by extensions: nulls first, then by text.
  QVector<int> order = UserTable->visibleRows();
  QCOMPARE(order, QVector<int>({1, 2, 0}));
  QVERIFY(traceLines(m_dir->filePath("trace.log")).isEmpty());
}

void TestUsers::users_data() {
  QTest::addColumn<QString>("body");
  QTest::addColumn<QStringList>("fields");
  QTest::addColumn<QStringList>("expected");
  const QStringList key = {"firstname", "call_permissions", "extensions"};
  QTest::newRow("line with 1001 and Internal, then a user without line")
      << R"({"items": [
             {"id": 1, "firstname": "A", "lines": [{"id": 7, "extensions": [{"exten": "1001"}]}],
              "call_permissions": [{"id": 3, "name": "Internal"}]},
             {"id": 2, "firstname": "B"}]})"
      << key << QStringList({"A|Internal|1001", "B|~|~"});
  QTest::newRow("two permissions: the first")
      << R"({"items": [{"firstname": "A", "call_permissions": [{"name": "P1"}, {"name": "P2"}]}]})"
      << key << QStringList({"A|P1|~"});
  QTest::newRow("empty extensions array, the next user still read")
      << R"({"items": [{"firstname": "A", "lines": [{"id": 7, "extensions": []}]},
                       {"firstname": "B", "lines": [{"id": 8, "extensions": [{"exten": "1002"}]}]}]})"
      << key << QStringList({"A|~|~", "B|~|1002"});
  QTest::newRow("empty items") << R"({"total": 0, "items": []})" << key << QStringList();
  QTest::newRow("no items member") << R"({"total": 0})" << key << QStringList();
  QTest::newRow("null and empty stay apart")
      << R"({"items": [{"firstname": "", "lastname": null, "email": "e"}]})"
      << QStringList({"firstname", "lastname", "email", "uuid"}) << QStringList({"|~|e|~"});
  QTest::newRow("numbers and booleans read as text")
      << R"({"items": [{"id": 123456, "firstname": 42, "lastname": true, "caller_id": 1.5}]})"
      << QStringList({"id", "firstname", "lastname", "caller_id"})
      << QStringList({"123456|42|true|1.5"}); // id longer than 5 kept whole
  QTest::newRow("permission without name is the empty text")
      << R"({"items": [{"firstname": "A", "call_permissions": [{"id": 3}]}]})" << key
      << QStringList({"A||~"});
}

void TestUsers::users() {
  QFETCH(QString, body);
  QFETCH(QStringList, fields);
  QFETCH(QStringList, expected);
  LoadUsers(R"({"items": [{"firstname": "Stale"}]})");
  LoadUsers(body);
  QCOMPARE(rows(fields), expected);
  QVERIFY(traceLines(m_dir->filePath("trace.log")).isEmpty());
}

void TestUsers::didJoin() {
  LoadIncalls(R"({"items": [
      {"id": 1, "destination": {"type": "user", "user_id": 12}, "extensions": [{"exten": "0123456789"}]},
      {"id": 2, "destination": {"type": "user", "user_id": 20}, "extensions": [{"exten": "0300"}]},
      {"id": 3, "destination": {"type": "user", "user_id": 20}, "extensions": [{"exten": "0200"}]},
      {"id": 4, "destination": {"type": "none"}, "extensions": [{"exten": "0999"}]},
      {"id": 5, "destination": {"type": "user", "user_id": 120}, "extensions": [{"exten": "0120"}]}]})");
  LoadUsers(R"({"items": [{"id": 12}, {"id": "12"}, {"id": 20}, {"id": 1}, {"firstname": "no id"}]})");
  QCOMPARE(rows({"id", "did"}),
           QStringList({"12|0123456789", "12|0123456789",
                        "20|0200", // several incoming calls: the lowest number
                        "1|~",     // compared exactly, 1 is not 12 nor 120
                        "~|~"}));  // no id: never a free DID

  // Without incoming calls every DID stays null.
  LoadIncalls(QString());
  LoadUsers(R"({"items": [{"id": 12}]})");
  QCOMPARE(rows({"did"}), QStringList({"~"}));
}

void TestUsers::emptyBodyKeepsRows() {
  LoadUsers(fixture("users.json"));
  LoadUsers(QString());
  LoadUsers("\n  ");
  QCOMPARE(UserTable->rowCount(), 3);
}

void TestUsers::bodyRefusedKeepsRows_data() {
  QTest::addColumn<QString>("body");
  QTest::newRow("top-level array") << R"([{"id": 1}])";
  QTest::newRow("not JSON") << "Internal Server Error";
  QTest::newRow("truncated") << R"({"items": [{"id": 1})";
}

void TestUsers::bodyRefusedKeepsRows() {
  QFETCH(QString, body);
  LoadUsers(fixture("users.json"));
  QVERIFY_THROWS_EXCEPTION(LarkspanError, LoadUsers(body));
  QCOMPARE(UserTable->rowCount(), 3);
  QVERIFY(traceLines(m_dir->filePath("trace.log")).isEmpty());
}

void TestUsers::unreadableUser_data() {
  QTest::addColumn<QString>("body");
  QTest::addColumn<QStringList>("expected");
  QTest::addColumn<QString>("trace");
  const QString pre = QStringLiteral("Erreur lecture users lecture: ");
  QTest::newRow("first element a number: no line") << R"({"items": [5, {"firstname": "B"}]})"
                                                    << QStringList() << QString();
  QTest::newRow("items null: no line") << R"({"items": null})" << QStringList() << QString();
  QTest::newRow("second element a number: the line names uuid")
      << R"({"items": [{"firstname": "A", "uuid": "u1"}, 5, {"firstname": "C"}]})"
      << QStringList({"A|~|~|u1"}) << pre + "uuid , N°:user is a number, not an object : ";
  QTest::newRow("lastname an object: partial row kept")
      << R"({"items": [{"firstname": "A"}, {"firstname": "B", "lastname": {"x": 1}, "email": "b@x"}]})"
      << QStringList({"A|~|~|~", "B|~|~|~"}) << pre + "lastname , N°:\"lastname\" holds an object, not a text : ";
  QTest::newRow("lines null: the line names extensions")
      << R"({"items": [{"firstname": "A", "lastname": "L", "lines": null}]})"
      << QStringList({"A|L|~|~"}) << pre + "extensions , N°:\"lines\" holds null, not an array : ";
  QTest::newRow("permission not an object")
      << R"({"items": [{"firstname": "A", "call_permissions": ["Internal"]}]})"
      << QStringList({"A|~|~|~"})
      << pre + "call_permissions , N°:call permission is a string, not an object : ";
  QTest::newRow("id an array, in the first user: before any field, no line")
      << R"({"items": [{"firstname": "A", "id": [1]}]})" << QStringList({"~|~|~|~"}) << QString();
}

void TestUsers::unreadableUser() {
  QFETCH(QString, body);
  QFETCH(QStringList, expected);
  QFETCH(QString, trace);
  LoadUsers(fixture("users.json"));
  LoadUsers(body); // nothing escapes
  QCOMPARE(rows({"firstname", "lastname", "extensions", "uuid"}), expected);
  const QStringList lines = traceLines(m_dir->filePath("trace.log"));
  QCOMPARE(lines, trace.isEmpty() ? QStringList() : QStringList({trace}));
}

void TestUsers::sortAndFilterSurviveReload() {
  UserTable->setIndexFieldNames("firstname:D");
  UserTable->setFilter("firstname LIKE '%a%'");
  UserTable->setFiltered(true);
  LoadUsers(fixture("users.json"));
  auto firstnames = [] {
    QStringList out;
    for (int r : UserTable->visibleRows())
      out << UserTable->value(r, 0);
    return out;
  };
  QCOMPARE(firstnames(), QStringList({"Dan", "Alice"}));
  LoadUsers(R"({"items": [{"firstname": "anna"}, {"firstname": "Zoë"}, {"firstname": "ALAN"}]})");
  QCOMPARE(firstnames(), QStringList({"anna", "ALAN"}));
}

void TestUsers::freeDirectoryReleasesAll() {
  FreeDirectory();
  QVERIFY(!UserTable && !PermMap && !DidMap && !ExtMap);
  QVERIFY_THROWS_EXCEPTION(LarkspanError, LoadUsers(R"({"items": []})"));
  QVERIFY_THROWS_EXCEPTION(LarkspanError, LoadIncalls(R"({"items": []})"));
  FreeDirectory(); // twice is harmless
  CreateUserTable();
  QVERIFY(UserTable && PermMap && DidMap && ExtMap);
}

QTEST_GUILESS_MAIN(TestUsers)
#include "test_users.moc"
