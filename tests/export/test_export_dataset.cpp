// ExportDataSet on a real in-memory table: the rows the table shows, in its
// sort order, through its filter, in every format; and the texts the main
// window shows around an export.

#include "ExportTestSupport.h"
#include "MemTable.h"
#include "TXLSExport.h"
#include "TempWorkDir.h"

#include <QClipboard>
#include <QDir>
#include <QGuiApplication>
#include <QJsonArray>
#include <QTest>

#include <memory>

namespace {

std::unique_ptr<TMemTable> fixtureTable() {
  auto table = std::make_unique<TMemTable>();
  const QJsonObject fixture = fixtureJson();
  for (const QJsonValue field : fixture.value("fields").toArray()) {
    const QJsonObject f = field.toObject();
    table->addField(f.value("name").toString(), f.value("size").toInt(), f.value("label").toString());
  }
  for (const QJsonValue row : fixture.value("rows").toArray()) {
    const int r = table->appendRow();
    const QJsonArray values = row.toArray();
    for (int f = 0; f < values.size(); ++f) {
      if (values[f].isNull())
        table->setNull(r, f);
      else
        table->setValue(r, f, values[f].toString());
    }
  }
  table->setFilterCaseInsensitive(true);
  return table;
}

// Fixture rows by their storage index.
QVector<TExportRow> fixtureRows(const QList<int> &indexes) {
  const TExportSnapshot all = fixtureSnapshot();
  QVector<TExportRow> rows;
  for (int i : indexes)
    rows.append(all.rows[i]);
  return rows;
}

const QStringList labels{"firstname", "lastname",  "email", "call permissions", "extensions",
                         "caller id", "did", "outgoing caller id", "id", "uuid"};

}  // namespace

class TestExportDataSet : public QObject {
  Q_OBJECT
private slots:
  void sortedFilteredRowsInEveryFormat_data();
  void sortedFilteredRowsInEveryFormat();
  void filterLettingNothingThroughStillWritesHeader();
  void columnsFromFields();
  void clipboardThroughDataSet();
  void failureMessageNamesTheFile();
  void saveDialogTexts();
  void outcomeMessage_data();
  void outcomeMessage();
};

void TestExportDataSet::sortedFilteredRowsInEveryFormat_data() {
  QTest::addColumn<QString>("fileName");
  QTest::addColumn<QString>("reader");
  QTest::newRow("xlsx") << "users.xlsx" << "xlsx";
  QTest::newRow("xls") << "users.xls" << "xls";
  QTest::newRow("ods") << "users.ods" << "ods";
  QTest::newRow("csv") << "users.csv" << "csv";
  QTest::newRow("tab text") << "users.txt" << "tab";
  QTest::newRow("html") << "users.html" << "html";
  QTest::newRow("json") << "users.json" << "json";
  QTest::newRow("pdf") << "users.pdf" << "pdf";
}

void TestExportDataSet::sortedFilteredRowsInEveryFormat() {
  QFETCH(QString, fileName);
  QFETCH(QString, reader);
  const auto table = fixtureTable();
  table->setIndexFieldNames("extensions:D");
  table->setFilter("lastname LIKE '%R%'");  // case-insensitive: drops only "Dupont, fils"
  table->setFiltered(true);
  // Extensions 2001, 1003, 1002, 1001.
  const QVector<TExportRow> expected = fixtureRows({4, 3, 0, 2});

  TempWorkDir dir;
  const QString path = dir.filePath(fileName);
  QCOMPARE(ExportDataSet(*table, path), path);
  QJsonObject read;
  QString error;
  QVERIFY2(readExport(reader, path, read, error), qPrintable(error));

  if (reader == "pdf") {
    const QStringList lines =
        read.value("meta").toObject().value("pages").toVariant().toStringList().value(0).split('\n');
    int at = lineWithValues(lines, 0, labels);
    QVERIFY(at >= 0);
    for (const TExportRow &row : expected) {
      QStringList values;
      for (const TExportValue &v : row)
        if (v && !v->isEmpty())
          values.append(QString(*v).replace('\t', ' '));
      const int next = lineWithValues(lines, at + 1, values);
      QVERIFY2(next > at, qPrintable(lines.join('\n')));
      at = next;
    }
    QVERIFY(lineWithValues(lines, 0, {"Dupont, fils"}) < 0);
    return;
  }
  QCOMPARE(read.value("header").toArray(), QJsonArray::fromStringList(labels));
  QCOMPARE(read.value("rows").toArray(), rowsAsRead(expected, reader == "json"));
}

void TestExportDataSet::filterLettingNothingThroughStillWritesHeader() {
  const auto table = fixtureTable();
  table->setFilter("lastname LIKE 'zzz%'");
  table->setFiltered(true);
  TempWorkDir dir;
  const QString path = dir.filePath("none.xlsx");
  QCOMPARE(ExportDataSet(*table, path), path);
  QJsonObject read;
  QString error;
  QVERIFY2(readExport("xlsx", path, read, error), qPrintable(error));
  QCOMPARE(read.value("header").toArray(), QJsonArray::fromStringList(labels));
  QCOMPARE(read.value("rows").toArray(), QJsonArray());
}

void TestExportDataSet::columnsFromFields() {
  TMemTable table;
  table.addField("long", 80, "Long one");
  table.addField("exact", 30, "exact");
  table.addField("short", 5, "short");
  table.addField("unlabelled", 12, "");
  const TExportSnapshot s = exportSnapshotOf(table);
  QCOMPARE(s.columns.size(), 4);
  const QStringList headers{s.columns[0].header, s.columns[1].header, s.columns[2].header,
                            s.columns[3].header};
  QCOMPARE(headers, (QStringList{"Long one", "exact", "short", "unlabelled"}));
  const QList<int> widths{s.columns[0].width, s.columns[1].width, s.columns[2].width,
                          s.columns[3].width};
  QCOMPARE(widths, (QList<int>{30, 30, 5, 12}));
}

void TestExportDataSet::clipboardThroughDataSet() {
  const auto table = fixtureTable();
  table->setFilter("firstname LIKE 'b%' AND email LIKE '%.fr'");
  table->setFiltered(true);
  TempWorkDir dir;
  const QString name = dir.filePath("list.clp");
  const QString result = ExportDataSet(*table, name);
  QCOMPARE(result, name);
  QCOMPARE(exportOutcomeMessage(result, name), "Exported to " + name);
  QCOMPARE(QDir(dir.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::Hidden),
           QStringList());
  QCOMPARE(QGuiApplication::clipboard()->text(),
           labels.join('\t') + "\r\nBob\tMartin\tbob@ex.fr\tInterne\t2001\tBob\t0145\tdefault\t40\tu-0040\r\n");
}

void TestExportDataSet::failureMessageNamesTheFile() {
  const auto table = fixtureTable();
  TempWorkDir dir;
  const QString name = dir.filePath("missing/users.csv");
  const QString message = exportOutcomeMessage(ExportDataSet(*table, name), name);
  QVERIFY2(message.startsWith(QString("Error: Cannot write \"%1\": No such file or directory").arg(name)),
           qPrintable(message));
}

void TestExportDataSet::saveDialogTexts() {
  QCOMPARE(exportSaveDialogFilter(),
           QString("Excel 2007 file(*.xlsx)|*.xlsx|OpenOffice Calc(*.ods)|*.ods|Excel file(*.xls)|*.xls|"
                   "Comma sep. file (*.csv) |*.csv|HTML file (*.html)|*.html|JSON file|*.json|"
                   "Acrobat file PDF|*.pdf|"));
  QCOMPARE(exportSaveDialogNameFilters(),
           (QStringList{"Excel 2007 file(*.xlsx)", "OpenOffice Calc(*.ods)", "Excel file(*.xls)",
                        "Comma sep. file (*.csv)", "HTML file (*.html)", "JSON file (*.json)",
                        "Acrobat file PDF (*.pdf)"}));
  QCOMPARE(exportDefaultSuffix(), QString("csv"));
  QCOMPARE(exportMessageCaption(), QString("Users list export"));
  QCOMPARE(exportMessageButtons(), QStringList{"OK"});
}

void TestExportDataSet::outcomeMessage_data() {
  QTest::addColumn<QString>("result");
  QTest::addColumn<QString>("message");
  QTest::newRow("success") << "/home/a/u.xlsx" << "Exported to /home/a/u.xlsx";
  QTest::newRow("error") << "@Cannot write \"x\": full" << "Error: Cannot write \"x\": full";
  QTest::newRow("bare @") << "@" << "Error: ";
  QTest::newRow("empty result is success") << "" << "Exported to /home/a/u.xlsx";
}

void TestExportDataSet::outcomeMessage() {
  QFETCH(QString, result);
  QFETCH(QString, message);
  QCOMPARE(exportOutcomeMessage(result, "/home/a/u.xlsx"), message);
}

QTEST_MAIN(TestExportDataSet)
#include "test_export_dataset.moc"
