#include "APIWazoData.h"
#include "LarkspanError.h"
#include "TempWorkDir.h"

#include <QFile>
#include <QTest>

class TestLoaders : public QObject {
  Q_OBJECT
private slots:
  void init();
  void cleanup();

  void permissions_data();
  void permissions();
  void duplicatePermissionName();
  void permissionItemThatCannotBeRead_data();
  void permissionItemThatCannotBeRead();
  void emptyBody();
  void bodyRefused_data();
  void bodyRefused();

  void incallFields();
  void incallsOfAnExchange();
  void incallsPass_data();
  void incallsPass();

  void extensionsOfAnExchange();
  void extensionsPass_data();
  void extensionsPass();

  void quietEndWritesNoTrace();
};

namespace {

QString fixture(const char *name) {
  QFile f(QStringLiteral(LARKSPAN_TEST_DATA_DIR "/api/") + QLatin1String(name));
  if (!f.open(QIODevice::ReadOnly))
    qFatal("missing fixture %s", name);
  return QString::fromUtf8(f.readAll());
}

QString permsText() {
  QStringList out;
  for (auto it = PermMap->cbegin(); it != PermMap->cend(); ++it)
    out << (it.key() == it->name ? it.key() : it.key() + "(" + it->name + ")") + "=" + it->id;
  out.sort();
  return out.join(u';');
}

QString didsText() {
  QStringList out;
  for (auto it = DidMap->cbegin(); it != DidMap->cend(); ++it)
    out << it.key() + "=" + it->id;
  out.sort();
  return out.join(u';');
}

QString extsText() {
  QStringList out;
  for (auto it = ExtMap->cbegin(); it != ExtMap->cend(); ++it)
    out << it.key() + "=" + it->id + "/" + it->line_id;
  out.sort();
  return out.join(u';');
}

const char *kTwoPerms = R"({"items": [{"id": 1, "name": "Internal"}, {"id": 2, "name": "National"}]})";

} // namespace

void TestLoaders::init() {
  CreateUserTable();
}

void TestLoaders::cleanup() {
  FreeDirectory();
}

void TestLoaders::permissions_data() {
  QTest::addColumn<QString>("body");
  QTest::addColumn<QString>("expected");
  QTest::newRow("two permissions, other members ignored")
      << R"({"total": 2, "items": [
             {"id": 3, "name": "Internal", "mode": "allow", "extensions": ["_0X."], "users": [{"id": 12}]},
             {"id": 4, "name": "International", "mode": "deny", "extensions": [], "users": []}]})"
      << "Internal=3;International=4";
  QTest::newRow("without name or with null name: skipped")
      << R"({"items": [{"id": 1}, {"id": 2, "name": null}, {"id": 3, "name": "Kept"}]})"
      << "Kept=3";
  QTest::newRow("without id or with null id: skipped")
      << R"({"items": [{"name": "NoId"}, {"id": null, "name": "NullId"}, {"id": 3, "name": "Kept"}]})"
      << "Kept=3";
  QTest::newRow("id as text and as number")
      << R"({"items": [{"id": "7", "name": "a"}, {"id": 8.0, "name": "b"}, {"id": 123456789012, "name": "c"}]})"
      << "a=7;b=8;c=123456789012";
  QTest::newRow("names compared exactly")
      << R"({"items": [{"id": 1, "name": "internal"}, {"id": 2, "name": "Internal"}]})"
      << "Internal=2;internal=1";
  QTest::newRow("no items member") << R"({"total": 0})" << "";
  QTest::newRow("empty items") << R"({"total": 0, "items": []})" << "";
}

void TestLoaders::permissions() {
  QFETCH(QString, body);
  QFETCH(QString, expected);
  LoadPermissions(R"({"items": [{"id": 99, "name": "Stale"}]})");
  LoadPermissions(body);
  QCOMPARE(permsText(), expected);
}

void TestLoaders::duplicatePermissionName() {
  try {
    LoadPermissions(R"({"items": [{"id": 1, "name": "Internal"}, {"id": 2, "name": "Other"},
                                  {"id": 3, "name": "Internal"}, {"id": 4, "name": "Later"}]})");
    QFAIL("duplicate permission name accepted");
  } catch (const LarkspanError &e) {
    QVERIFY2(e.message().contains("Internal"), qPrintable(e.message()));
  }
  QCOMPARE(permsText(), QString("Internal=1;Other=2"));
}

void TestLoaders::permissionItemThatCannotBeRead_data() {
  QTest::addColumn<QString>("body");
  QTest::newRow("element not an object") << R"({"items": [{"id": 1, "name": "A"}, 5, {"id": 2, "name": "B"}]})";
  QTest::newRow("items null") << R"({"items": null})";
  QTest::newRow("items an object") << R"({"items": {"id": 1}})";
  QTest::newRow("name an object") << R"({"items": [{"id": 1, "name": "A"}, {"id": 2, "name": {}}]})";
}

void TestLoaders::permissionItemThatCannotBeRead() {
  // Not guarded: the failure reaches the caller.
  QFETCH(QString, body);
  LoadPermissions(kTwoPerms);
  QVERIFY_THROWS_EXCEPTION(LarkspanError, LoadPermissions(body));
  QVERIFY(!PermMap->contains("B"));
}

void TestLoaders::emptyBody() {
  // A failed list request hands over the empty text.
  LoadPermissions(kTwoPerms);
  LoadIncalls(fixture("incalls.json"));
  LoadExtensions(fixture("extensions.json"));
  QVERIFY(!DidMap->isEmpty());
  QVERIFY(!ExtMap->isEmpty());
  for (const QString &body : {QString(), QString(" \r\n\t ")}) {
    LoadPermissions(body);
    LoadIncalls(body);
    LoadExtensions(body);
    QCOMPARE(permsText(), QString("Internal=1;National=2"));
    QVERIFY(DidMap->isEmpty());
    QVERIFY(ExtMap->isEmpty());
  }
}

void TestLoaders::bodyRefused_data() {
  QTest::addColumn<QString>("body");
  QTest::newRow("top-level array") << R"([{"id": 1, "name": "X", "exten": "1", "lines": [{"id": 1}]}])";
  QTest::newRow("HTML error page") << "<html><body>502 Bad Gateway</body></html>";
  QTest::newRow("truncated") << R"({"items": [{"id": 1, "name": "X")";
  QTest::newRow("bare number") << "42";
  QTest::newRow("bare string") << R"("items")";
}

void TestLoaders::bodyRefused() {
  QFETCH(QString, body);
  LoadPermissions(kTwoPerms);
  LoadIncalls(fixture("incalls.json"));
  LoadExtensions(fixture("extensions.json"));
  const QString perms = permsText(), dids = didsText(), exts = extsText();
  QVERIFY_THROWS_EXCEPTION(LarkspanError, LoadPermissions(body));
  QVERIFY_THROWS_EXCEPTION(LarkspanError, LoadIncalls(body));
  QVERIFY_THROWS_EXCEPTION(LarkspanError, LoadExtensions(body));
  QCOMPARE(permsText(), perms);
  QCOMPARE(didsText(), dids);
  QCOMPARE(extsText(), exts);
}

void TestLoaders::incallFields() {
  LoadIncalls(R"({"items": [
      {"id": 1, "destination": {"type": "user", "user_id": 12, "user_firstname": "Alice",
                                "user_lastname": "Martin", "ring_time": null},
       "extensions": [{"id": 40, "exten": "0123456789", "context": "from-extern"},
                      {"id": 41, "exten": "0999999999", "context": "from-extern"}],
       "compl_number": 77},
      {"id": 2, "destination": {"type": "group", "group_id": 5}, "extensions": [{"id": 42, "exten": "0555"}]},
      {"id": 3, "user_id": "top", "extension_id": "x", "extension_exten": "0666"}]})");
  QCOMPARE(DidMap->size(), 3);

  const TDid &user = DidMap->value("0123456789");
  QCOMPARE(user.id, QString("1"));
  QCOMPARE(user.user_id, QString("12"));
  QCOMPARE(user.user_firstname, QString("Alice"));
  QCOMPARE(user.user_lastname, QString("Martin"));
  QCOMPARE(user.extension_id, QString("40"));
  QCOMPARE(user.extension_exten, QString("0123456789"));
  QCOMPARE(user.compl_number, QString("77"));
  QVERIFY(!DidMap->contains("0999999999")); // only the first extension counts

  const TDid &group = DidMap->value("0555");
  QCOMPARE(group.id, QString("2"));
  QVERIFY(group.user_id.isEmpty());
  QVERIFY(group.user_firstname.isEmpty());
  QVERIFY(group.user_lastname.isEmpty());
  QVERIFY(group.compl_number.isEmpty());

  // Without "destination" and "extensions" the item's own members are read.
  const TDid &bare = DidMap->value("0666");
  QCOMPARE(bare.user_id, QString("top"));
  QCOMPARE(bare.extension_id, QString("x"));
}

void TestLoaders::incallsOfAnExchange() {
  // Two incoming calls without a number and one number on two incoming
  // calls: the later incoming calls are still read.
  LoadIncalls(fixture("incalls.json"));
  QCOMPARE(didsText(), QString("0123456789=1;0123456790=3;0123456791=6;0123456793=7"));
  QVERIFY(!DidMap->contains(QString()));
  QVERIFY(DidMap->value("0123456790").user_id.isEmpty()); // the first, a group, kept
  QVERIFY(DidMap->value("0123456793").user_id.isEmpty()); // free
}

void TestLoaders::incallsPass_data() {
  QTest::addColumn<QString>("body");
  QTest::addColumn<QString>("expected");
  QTest::newRow("extensions absent or null: no number, skipped")
      << R"({"items": [{"id": 1}, {"id": 2, "extensions": null}, {"id": 3, "extensions": [{"id": 9, "exten": "03"}]}]})"
      << "03=3";
  QTest::newRow("first extension without exten: skipped")
      << R"({"items": [{"id": 1, "extensions": [{"id": 9}]}, {"id": 2, "extensions": [{"exten": "02"}]}]})"
      << "02=2";
  QTest::newRow("destination null reads as absent")
      << R"({"items": [{"id": 1, "destination": null, "extensions": [{"exten": "01"}]}]})" << "01=1";
  QTest::newRow("element not an object ends the pass")
      << R"({"items": [{"id": 1, "extensions": [{"exten": "01"}]}, "x", {"id": 3, "extensions": [{"exten": "03"}]}]})"
      << "01=1";
  QTest::newRow("destination of another kind ends the pass")
      << R"({"items": [{"id": 1, "extensions": [{"exten": "01"}]}, {"id": 2, "destination": "user", "extensions": [{"exten": "02"}]}]})"
      << "01=1";
  QTest::newRow("extension element not an object ends the pass")
      << R"({"items": [{"id": 1, "extensions": [{"exten": "01"}]}, {"id": 2, "extensions": ["02"]}, {"id": 3, "extensions": [{"exten": "03"}]}]})"
      << "01=1";
  QTest::newRow("items null: nothing") << R"({"items": null})" << "";
  QTest::newRow("empty items") << R"({"items": []})" << "";
}

void TestLoaders::incallsPass() {
  QFETCH(QString, body);
  QFETCH(QString, expected);
  LoadIncalls(fixture("incalls.json"));
  LoadIncalls(body);
  QCOMPARE(didsText(), expected);
}

void TestLoaders::extensionsOfAnExchange() {
  LoadExtensions(fixture("extensions.json"));
  // Incoming-call and feature extensions have no line; an extension without
  // number is skipped; 1001 in a second context keeps the first; 1003,
  // after them, is still read.
  QCOMPARE(extsText(), QString("1001=31/7;1002=32/8;1003=36/12"));
}

void TestLoaders::extensionsPass_data() {
  QTest::addColumn<QString>("body");
  QTest::addColumn<QString>("expected");
  QTest::newRow("line id as text")
      << R"({"items": [{"id": 1, "exten": "1001", "lines": [{"id": "7"}]}]})" << "1001=1/7";
  QTest::newRow("lines null ends the pass")
      << R"({"items": [{"id": 1, "exten": "1001", "lines": [{"id": 7}]}, {"id": 2, "exten": "1002", "lines": null}, {"id": 3, "exten": "1003", "lines": [{"id": 9}]}]})"
      << "1001=1/7";
  QTest::newRow("line not an object ends the pass")
      << R"({"items": [{"id": 1, "exten": "1001", "lines": [{"id": 7}]}, {"id": 2, "exten": "1002", "lines": [7]}, {"id": 3, "exten": "1003", "lines": [{"id": 9}]}]})"
      << "1001=1/7";
  QTest::newRow("line without id: not stored")
      << R"({"items": [{"id": 1, "exten": "1001", "lines": [{"name": "x"}]}, {"id": 3, "exten": "1003", "lines": [{"id": 9}]}]})"
      << "1003=3/9";
}

void TestLoaders::extensionsPass() {
  QFETCH(QString, body);
  QFETCH(QString, expected);
  LoadExtensions(fixture("extensions.json"));
  LoadExtensions(body);
  QCOMPARE(extsText(), expected);
}

void TestLoaders::quietEndWritesNoTrace() {
  TempWorkDir dir;
  traceOpenFile(dir.filePath("trace.log"));
  LoadIncalls(R"({"items": [{"id": 1, "extensions": [{"exten": "01"}]}, 5]})");
  LoadExtensions(R"({"items": [{"id": 1, "exten": "1", "lines": [{"id": 1}]}, {"lines": null}]})");
  LoadIncalls(fixture("incalls.json"));
  TraceClose();
  QCOMPARE(readFileBytes(dir.filePath("trace.log")), QByteArray());
}

QTEST_GUILESS_MAIN(TestLoaders)
#include "test_loaders.moc"
