#include "LarkspanError.h"
#include "MemTable.h"

#include <QTest>

// Rows given as (firstname, lastname, extensions); "~" stands for null.
struct Person {
  const char *first;
  const char *last;
  const char *ext;
};

class TestMemTable : public QObject {
  Q_OBJECT
private slots:
  void fields();
  void nullDistinctFromEmpty();
  void longValuesKeptWhole();
  void sort_data();
  void sort();
  void sortIsStableBothWays();
  void sortSpecRefused_data();
  void sortSpecRefused();
  void filter_data();
  void filter();
  void filterSwitchAndCaseOption();
  void malformedFilterRefused_data();
  void malformedFilterRefused();
  void quotedTextStaysAPattern();
  void sortAndFilterSurviveRefill();
  void visibleRowsFollowChanges();
};

namespace {

void makePeople(TMemTable &t, const QList<Person> &people) {
  if (t.fieldCount() == 0) {
    t.addField("firstname", 80, "firstname");
    t.addField("lastname", 80, "lastname");
    t.addField("extensions", 20, "extensions");
  }
  for (const Person &p : people) {
    const int row = t.appendRow();
    const char *vals[] = {p.first, p.last, p.ext};
    for (int f = 0; f < 3; ++f)
      if (QByteArray(vals[f]) != "~")
        t.setValue(row, f, QString::fromUtf8(vals[f]));
  }
}

// Visible rows as the texts of one field, joined by "|".
QString column(const TMemTable &t, int field) {
  QStringList out;
  for (int row : t.visibleRows())
    out << (t.isNull(row, field) ? QStringLiteral("~") : t.value(row, field));
  return out.join(u'|');
}

const QList<Person> kPeople = {
    {"John", "Smith", "1001"},     {"jane", "Johnson", "1205"},  {"Joanna", "O'Brien", "2001"},
    {"Jo Ann", "Anderson", "105"}, {"Émile", "Durand", "3000"},  {"émilie", "Martin", "1500"},
    {"Jan", "Watson", "15"},       {"Jn", "Nobody", "~"},        {"Bob", "Stone%_x", "1"},
    {"~", "Nameless", "20"},       {"X😀Z", "Emoji", "99"},
};

} // namespace

void TestMemTable::fields() {
  TMemTable t;
  QCOMPARE(t.addField("firstname", 80, "firstname"), 0);
  QCOMPARE(t.addField("call_permissions", 80, "call permissions"), 1);
  QCOMPARE(t.fieldCount(), 2);
  QCOMPARE(t.field(1).name, QString("call_permissions"));
  QCOMPARE(t.field(1).size, 80);
  QCOMPARE(t.field(1).displayLabel, QString("call permissions"));
  QCOMPARE(t.findField("CALL_Permissions"), 1);
  QCOMPARE(t.findField("nosuch"), -1);
  QCOMPARE(t.fieldIndex("FirstName"), 0);
  QVERIFY_THROWS_EXCEPTION(LarkspanError, t.fieldIndex("nosuch"));
  QVERIFY_THROWS_EXCEPTION(LarkspanError, t.addField("FIRSTNAME", 10, "x"));

  // A field added after rows exist starts null in every row.
  t.appendRow();
  const int late = t.addField("late", 5, "late");
  QVERIFY(t.isNull(0, late));
}

void TestMemTable::nullDistinctFromEmpty() {
  TMemTable t;
  t.addField("a", 10, "a");
  const int r = t.appendRow();
  QVERIFY(t.isNull(r, 0));
  QCOMPARE(t.value(r, 0), QString());
  QVERIFY(!t.valueOrNull(r, 0).has_value());

  t.setValue(r, 0, QString(""));
  QVERIFY(!t.isNull(r, 0));
  QCOMPARE(t.valueOrNull(r, 0), std::optional<QString>(QString("")));

  t.setValue(r, 0, QString()); // a null QString is still a value, the empty text
  QVERIFY(!t.isNull(r, 0));

  t.setNull(r, 0);
  QVERIFY(t.isNull(r, 0));
  QVERIFY_THROWS_EXCEPTION(LarkspanError, t.value(1, 0));
  QVERIFY_THROWS_EXCEPTION(LarkspanError, t.value(0, 1));
}

void TestMemTable::longValuesKeptWhole() {
  // A cut id would send an update to another user.
  TMemTable t;
  t.addField("id", 5, "id");
  const int r = t.appendRow();
  t.setValue(r, 0, "1234567");
  QCOMPARE(t.value(r, 0), QString("1234567"));
  QCOMPARE(t.field(0).size, 5);
}

void TestMemTable::sort_data() {
  QTest::addColumn<QStringList>("values");
  QTest::addColumn<QString>("spec");
  QTest::addColumn<QString>("expected");
  const QStringList ext = {"20", "100", "3"};
  QTest::newRow("text order of numbers") << ext << "v" << "100|20|3";
  QTest::newRow("descending") << ext << "v:D" << "3|20|100";
  QTest::newRow("explicit ascending") << ext << "v:A" << "100|20|3";
  QTest::newRow("field name in any case") << ext << "V" << "100|20|3";
  QTest::newRow("storage order without spec") << ext << "" << "20|100|3";
  QTest::newRow("case folded, exact text breaks ties")
      << QStringList{"bob", "Bob", "alice", "Alice", "Carl"} << "v" << "Alice|alice|Bob|bob|Carl";
  QTest::newRow("accented letters fold alike")
      << QStringList{"émile", "Zoé", "Émile", "adam"} << "v" << "adam|Zoé|Émile|émile";
  QTest::newRow("null sorts as empty, first")
      << QStringList{"b", "~", "", "a"} << "v" << "~||a|b";
  QTest::newRow("null last descending") << QStringList{"b", "~", "a"} << "v:D" << "b|a|~";
}

void TestMemTable::sort() {
  QFETCH(QStringList, values);
  QFETCH(QString, spec);
  QFETCH(QString, expected);
  TMemTable t;
  t.addField("v", 20, "v");
  for (const QString &v : values) {
    const int r = t.appendRow();
    if (v != "~")
      t.setValue(r, 0, v);
  }
  t.setIndexFieldNames(spec);
  QCOMPARE(t.indexFieldNames(), spec);
  QCOMPARE(column(t, 0), expected);
}

void TestMemTable::sortIsStableBothWays() {
  TMemTable t;
  t.addField("k", 5, "k");
  t.addField("tag", 5, "tag");
  const char *rows[][2] = {{"b", "1"}, {"a", "2"}, {"B", "3"}, {"a", "4"}, {"b", "5"}, {"a", "6"}};
  for (auto &r : rows) {
    const int i = t.appendRow();
    t.setValue(i, 0, r[0]);
    t.setValue(i, 1, r[1]);
  }
  t.setIndexFieldNames("k");
  QCOMPARE(column(t, 1), QString("2|4|6|3|1|5"));
  // Descending reverses the keys, not the rows of equal keys.
  t.setIndexFieldNames("k:D");
  QCOMPARE(column(t, 1), QString("1|5|3|2|4|6"));
}

void TestMemTable::sortSpecRefused_data() {
  QTest::addColumn<QString>("spec");
  QTest::newRow("unknown field") << "nosuch";
  QTest::newRow("unknown direction") << "v:X";
  QTest::newRow("two fields") << "v;w";
}

void TestMemTable::sortSpecRefused() {
  QFETCH(QString, spec);
  TMemTable t;
  t.addField("v", 5, "v");
  t.setIndexFieldNames("v:D");
  QVERIFY_THROWS_EXCEPTION(LarkspanError, t.setIndexFieldNames(spec));
  QCOMPARE(t.indexFieldNames(), QString("v:D"));
}

void TestMemTable::filter_data() {
  QTest::addColumn<QString>("expression");
  QTest::addColumn<QString>("firstnames");

  // The filter bar appends "%" to what is typed and turns "*" into "%".
  QTest::newRow("j") << "firstname LIKE 'j%'" << "John|jane|Joanna|Jo Ann|Jan|Jn";
  QTest::newRow("jo") << "firstname LIKE 'jo%'" << "John|Joanna|Jo Ann";
  QTest::newRow("JO upper case") << "firstname LIKE 'JO%'" << "John|Joanna|Jo Ann";
  QTest::newRow("trailing blank is part of the pattern") << "firstname LIKE 'jo %'" << "Jo Ann";
  QTest::newRow("contains son") << "lastname LIKE '%son%'" << "jane|Jo Ann|Jan";
  QTest::newRow("1*5: begins with 1, a 5 later") << "extensions LIKE '1%5%'" << "jane|Jo Ann|émilie|Jan";
  QTest::newRow("quote matched as itself") << "lastname LIKE 'O''B%'" << "Joanna";
  QTest::newRow("underscore is one character") << "firstname LIKE 'J_n%'" << "jane|Jan";
  QTest::newRow("underscore needs a character") << "firstname LIKE 'Jn_%'" << "";
  QTest::newRow("E acute matches e acute") << "firstname LIKE 'é%'" << "Émile|émilie";
  QTest::newRow("e acute matches E acute") << "firstname LIKE 'ÉMILE'" << "Émile";
  QTest::newRow("plain e is not e acute") << "firstname LIKE 'e%'" << "";
  QTest::newRow("underscore is one character outside the basic plane")
      << "firstname LIKE 'X_Z'" << "X😀Z";
  QTest::newRow("percent and underscore in the data are plain text to a literal pattern")
      << "lastname LIKE 'Stone%'" << "Bob";
  QTest::newRow("without wildcard the whole text must match") << "firstname LIKE 'jo'" << "";
  QTest::newRow("back-tracking over several runs") << "lastname LIKE '%o%o%'" << "jane|Jn";
  QTest::newRow("null field is the empty text") << "firstname LIKE ''" << "~";
  QTest::newRow("jo and extension 1, no blank before AND")
      << "firstname LIKE 'jo%'AND extensions LIKE '1%'" << "John|Jo Ann";
  QTest::newRow("three conditions")
      << "firstname LIKE 'j%'AND lastname LIKE '%o%'AND extensions LIKE '1%'" << "jane|Jo Ann|Jan";
  QTest::newRow("keywords and field names in any case")
      << "FirstName like 'jo%' and EXTENSIONS LIKE '1%'" << "John|Jo Ann";
  QTest::newRow("percent alone matches every row, null included") << "extensions LIKE '%'" << "John|jane|Joanna|Jo Ann|Émile|émilie|Jan|Jn|Bob|~|X😀Z";
  QTest::newRow("blank expression shows everything")
      << "   " << "John|jane|Joanna|Jo Ann|Émile|émilie|Jan|Jn|Bob|~|X😀Z";
}

void TestMemTable::filter() {
  QFETCH(QString, expression);
  QFETCH(QString, firstnames);
  TMemTable t;
  t.setFilterCaseInsensitive(true);
  makePeople(t, kPeople);
  t.setFilter(expression);
  t.setFiltered(true);
  QCOMPARE(t.filter(), expression);
  QCOMPARE(column(t, 0), firstnames);
}

void TestMemTable::filterSwitchAndCaseOption() {
  TMemTable t;
  makePeople(t, kPeople);
  t.setFilter("firstname LIKE 'j%'");
  QCOMPARE(t.visibleRows().size(), kPeople.size()); // switch off: no filtering
  t.setFiltered(true);
  QCOMPARE(column(t, 0), QString("jane")); // case-sensitive by default
  t.setFilterCaseInsensitive(true);
  QVERIFY(t.filterCaseInsensitive());
  QCOMPARE(column(t, 0), QString("John|jane|Joanna|Jo Ann|Jan|Jn"));
  t.setFilter(QString());
  QCOMPARE(t.visibleRows().size(), kPeople.size());
}

void TestMemTable::malformedFilterRefused_data() {
  QTest::addColumn<QString>("expression");
  QTest::newRow("pattern not quoted") << "firstname LIKE jo%";
  QTest::newRow("unterminated pattern") << "firstname LIKE 'jo%";
  QTest::newRow("lone quote inside") << "firstname LIKE 'O'Brien'";
  QTest::newRow("unknown field") << "nosuch LIKE 'a%'";
  QTest::newRow("other operator") << "firstname = 'a'";
  QTest::newRow("OR is not supported") << "firstname LIKE 'a%' OR lastname LIKE 'b%'";
  QTest::newRow("dangling AND") << "firstname LIKE 'a%'AND ";
  QTest::newRow("AND glued to the field") << "firstname LIKE 'a%'ANDlastname LIKE 'b%'";
  QTest::newRow("no field") << "LIKE 'a%'";
  QTest::newRow("field glued to LIKE") << "firstnameLIKE 'a%'";
  QTest::newRow("leading AND") << "AND firstname LIKE 'a%'";
  QTest::newRow("text after the pattern") << "firstname LIKE 'a%' 1";
  QTest::newRow("parenthesis") << "(firstname LIKE 'a%')";
}

void TestMemTable::malformedFilterRefused() {
  QFETCH(QString, expression);
  TMemTable t;
  t.setFilterCaseInsensitive(true);
  makePeople(t, kPeople);
  t.setFilter("firstname LIKE 'jo%'");
  t.setFiltered(true);
  try {
    t.setFilter(expression);
    QFAIL("malformed filter accepted");
  } catch (const LarkspanError &e) {
    QVERIFY2(e.message().contains(expression), qPrintable(e.message()));
  }
  // The previous expression stays in force.
  QCOMPARE(t.filter(), QString("firstname LIKE 'jo%'"));
  QCOMPARE(column(t, 0), QString("John|Joanna|Jo Ann"));
}

void TestMemTable::quotedTextStaysAPattern() {
  // Text that looks like a second condition, quoted the way the filter bar
  // quotes it, matches only itself.
  TMemTable t;
  t.setFilterCaseInsensitive(true);
  const QString tricky = "x' AND lastname LIKE '%";
  makePeople(t, {{"x", "a", "1"}, {"x' AND lastname LIKE '%", "b", "2"}, {"xy", "c", "3"}});
  QString quoted = tricky;
  quoted.replace("'", "''");
  t.setFilter("firstname LIKE '" + quoted + "'");
  t.setFiltered(true);
  QCOMPARE(column(t, 1), QString("b"));
}

void TestMemTable::sortAndFilterSurviveRefill() {
  TMemTable t;
  t.setFilterCaseInsensitive(true);
  makePeople(t, kPeople);
  t.setIndexFieldNames("extensions:D");
  t.setFilter("firstname LIKE 'j%'");
  t.setFiltered(true);
  QCOMPARE(column(t, 2), QString("2001|15|1205|105|1001|~"));
  t.clearRows();
  QCOMPARE(t.rowCount(), 0);
  QVERIFY(t.visibleRows().isEmpty());
  makePeople(t, {{"Jack", "A", "7"}, {"Zed", "B", "8"}, {"jill", "C", "9"}});
  QCOMPARE(t.indexFieldNames(), QString("extensions:D"));
  QCOMPARE(column(t, 0), QString("jill|Jack"));
}

void TestMemTable::visibleRowsFollowChanges() {
  TMemTable t;
  t.setFilterCaseInsensitive(true);
  makePeople(t, {{"b", "x", "2"}, {"a", "y", "1"}});
  t.setIndexFieldNames("firstname");
  QCOMPARE(column(t, 0), QString("a|b"));
  // A value set later moves its row and enters or leaves the filter.
  t.setValue(0, 0, "0");
  QCOMPARE(column(t, 0), QString("0|a"));
  t.setFilter("firstname LIKE 'a%'");
  t.setFiltered(true);
  QCOMPARE(column(t, 0), QString("a"));
  t.setValue(0, 0, "ab");
  QCOMPARE(column(t, 0), QString("a|ab"));
  const int r = t.appendRow();
  t.setValue(r, 0, "Aa");
  QCOMPARE(column(t, 0), QString("a|Aa|ab"));
  t.setNull(r, 0);
  QCOMPARE(column(t, 0), QString("a|ab"));
}

QTEST_APPLESS_MAIN(TestMemTable)
#include "test_memtable.moc"
