#include "LarkspanError.h"
#include "MemTable.h"
#include "MemTableRecord.h"
#include "OPortDesc.h"

#include <QTest>

// TPortDesc::GetProp reading a connection description out of a table row.
class TestMemTableRecord : public QObject {
  Q_OBJECT
private slots:
  void fieldValue();
  void getPropFromRow();
  void getPropMissingField();
};

namespace {

// One field per PB_ property, in an order of its own to show that fields are
// found by name.
void addPropertyFields(TMemTable &t, const QString &skip = QString()) {
  const auto &props = TOProtoTypePBX::pbxPropertyTable();
  for (auto it = props.rbegin(); it != props.rend(); ++it) {
    const QString name = QString::fromLatin1(it->name);
    if (name.contains("PB_") && name != skip)
      t.addField(name.toLower(), 80, name);
  }
}

} // namespace

void TestMemTableRecord::fieldValue() {
  TMemTable t;
  t.addField("a", 5, "a");
  t.addField("b", 5, "b");
  t.appendRow();
  const int r = t.appendRow();
  t.setValue(r, 0, "second");
  t.setValue(r, 1, "");
  const TMemTableRecord rec(t, r);
  QCOMPARE(rec.fieldValue("A"), std::optional<QString>("second"));
  QCOMPARE(rec.fieldValue("b"), std::optional<QString>(""));
  QVERIFY(!TMemTableRecord(t, 0).fieldValue("a").has_value());
  QVERIFY_THROWS_EXCEPTION(LarkspanError, rec.fieldValue("c"));
}

void TestMemTableRecord::getPropFromRow() {
  TMemTable t;
  addPropertyFields(t);
  t.appendRow(); // another row that must not be read
  t.setValue(0, t.fieldIndex("PB_HTTP_USERNAME"), "wrong");
  const int r = t.appendRow();
  t.setValue(r, t.fieldIndex("PB_HTTP_USERNAME"), "admin");
  t.setValue(r, t.fieldIndex("PB_HTTP_BASE_URL"), "https://pbx.example:8443");
  t.setValue(r, t.fieldIndex("PB_TYPEPORT"), "9");
  t.setValue(r, t.fieldIndex("PB_FILESUPP"), "false");
  t.setValue(r, t.fieldIndex("PB_STOCKEBRUT"), "TRUE");
  t.setValue(r, t.fieldIndex("PB_HTTP_PASSW"), ""); // empty, not null: written

  TOProtoTypePBX p;
  p.SetPB_HTTP_PASSW("secret");
  QVERIFY(p.PB_FILESUPP());
  QCOMPARE(p.GetProp(TMemTableRecord(t, r)), 0);
  QCOMPARE(p.PB_HTTP_USERNAME(), QString("admin"));
  QCOMPARE(p.PB_HTTP_BASE_URL(), QString("https://pbx.example:8443"));
  QCOMPARE(p.PB_TYPEPORT(), 9);
  QVERIFY(!p.PB_FILESUPP());
  QVERIFY(p.PB_STOCKEBRUT());
  QCOMPARE(p.PB_HTTP_PASSW(), QString());
  // Null fields leave the properties as they were.
  QCOMPARE(p.PB_TLNADDRESS(), QString("127.0.0.1"));
  QCOMPARE(p.PB_NUM(), 1);
}

void TestMemTableRecord::getPropMissingField() {
  TMemTable t;
  addPropertyFields(t, "PB_VERSION");
  const int r = t.appendRow();
  TOProtoTypePBX p;
  QVERIFY_THROWS_EXCEPTION(LarkspanError, p.GetProp(TMemTableRecord(t, r)));
}

QTEST_APPLESS_MAIN(TestMemTableRecord)
#include "test_memtablerecord.moc"
