// Every format written from the users fixture and read back by a reader
// that is not ours: openpyxl, xlrd, odfpy, Python's csv, html.parser and
// json, pdftotext.

#include "CompoundFile.h"
#include "ExportFile.h"
#include "ExportTestSupport.h"
#include "TempWorkDir.h"

#include <QClipboard>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QJsonArray>
#include <QRegularExpression>
#include <QTest>

Q_DECLARE_METATYPE(TExportFormat)

namespace {

// A cell's text as pdftotext gives it: tabs are drawn as blanks.
QStringList pdfValues(const TExportRow &row) {
  QStringList values;
  for (const TExportValue &v : row)
    if (v && !v->isEmpty())
      values.append(QString(*v).replace(QLatin1Char('\t'), QLatin1Char(' ')));
  return values;
}

QStringList headerTexts(const TExportSnapshot &s) {
  QStringList out;
  for (const TExportColumn &c : s.columns)
    out.append(c.header);
  return out;
}

QByteArray utf16le(const QString &text) {
  QByteArray out("\xFF\xFE", 2);
  for (const QChar c : text) {
    out.append(char(c.unicode() & 0xFF));
    out.append(char(c.unicode() >> 8));
  }
  return out;
}

QStringList filesIn(const QString &dir) {
  return QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
}

// The small table of the byte-exact delimited text checks.
TExportSnapshot quotingSnapshot() {
  TExportSnapshot s;
  s.columns = {{"a", 10}, {"b c", 10}};
  s.rows = {{QString("x\"y"), std::nullopt},
            {QString(""), QString("1,2")},
            {QString("a\tb"), QString("\"q")},
            {QString("0042"), QString("l1\nl2")}};
  return s;
}

}  // namespace

class TestExportFormats : public QObject {
  Q_OBJECT
private slots:
  void formatFromExtension_data();
  void formatFromExtension();
  void readBack_data();
  void readBack();
  void emptyTable_data();
  void emptyTable();
  void headerStyle_data();
  void headerStyle();
  void csvBytes();
  void tabTextBytes();
  void odsPackage();
  void xlsLongAndWideStrings();
  void compoundDocumentStreams_data();
  void compoundDocumentStreams();
  void pdfTable();
  void pdfPagesRepeatHeader();
  void pdfPortraitWhenNarrow();
  void clipboardGetsTabTextAndNoFile();
};

void TestExportFormats::formatFromExtension_data() {
  QTest::addColumn<QString>("name");
  QTest::addColumn<TExportFormat>("format");
  QTest::newRow("xlsx") << "/tmp/u.xlsx" << TExportFormat::Xlsx;
  QTest::newRow("XlSx") << "/tmp/u.XlSx" << TExportFormat::Xlsx;
  QTest::newRow("xls") << "u.XLS" << TExportFormat::Xls;
  QTest::newRow("ods") << "u.Ods" << TExportFormat::Ods;
  QTest::newRow("csv") << "u.csv" << TExportFormat::Csv;
  QTest::newRow("html") << "u.HTML" << TExportFormat::Html;
  QTest::newRow("htm is not html") << "u.htm" << TExportFormat::TabText;
  QTest::newRow("json") << "u.json" << TExportFormat::Json;
  QTest::newRow("pdf") << "u.Pdf" << TExportFormat::Pdf;
  QTest::newRow("clp") << "u.CLP" << TExportFormat::Clipboard;
  QTest::newRow("txt") << "u.txt" << TExportFormat::TabText;
  QTest::newRow("none") << "/tmp/users" << TExportFormat::TabText;
  QTest::newRow("dot in directory only") << "/tmp/a.xlsx/users" << TExportFormat::TabText;
  QTest::newRow("last extension counts") << "u.xlsx.csv" << TExportFormat::Csv;
  QTest::newRow("trailing dot") << "u.xlsx." << TExportFormat::TabText;
}

void TestExportFormats::formatFromExtension() {
  QFETCH(QString, name);
  QFETCH(TExportFormat, format);
  QCOMPARE(exportFormatFor(name), format);
}

void TestExportFormats::readBack_data() {
  QTest::addColumn<QString>("fileName");
  QTest::addColumn<QString>("reader");
  QTest::newRow("xlsx") << "users.xlsx" << "xlsx";
  QTest::newRow(".XlSx is xlsx") << "users.XlSx" << "xlsx";
  QTest::newRow("xls") << "users.xls" << "xls";
  QTest::newRow("ods") << "users.ods" << "ods";
  QTest::newRow("csv") << "users.csv" << "csv";
  QTest::newRow(".txt is tab text") << "users.txt" << "tab";
  QTest::newRow("no extension is tab text") << "users" << "tab";
  QTest::newRow("html") << "users.html" << "html";
  QTest::newRow("json") << "users.json" << "json";
}

void TestExportFormats::readBack() {
  QFETCH(QString, fileName);
  QFETCH(QString, reader);
  TempWorkDir dir;
  const TExportSnapshot s = fixtureSnapshot();
  const QString path = dir.filePath(fileName);
  QCOMPARE(exportSnapshot(s, path), path);

  QJsonObject read;
  QString error;
  QVERIFY2(readExport(reader, path, read, error), qPrintable(error));
  QCOMPARE(read.value("header").toArray(), headersOf(s));
  QCOMPARE(read.value("rows").toArray(), rowsAsRead(s.rows, reader == "json"));
  const QJsonObject meta = read.value("meta").toObject();
  if (meta.contains("title"))
    QCOMPARE(meta.value("title").toString(), QString("Export en cours"));
  if (reader == "json") {
    // Members in column order in every object.
    for (const QJsonValue keys : meta.value("keys").toArray())
      QCOMPARE(keys.toArray(), headersOf(s));
  }
  if (reader == "csv" || reader == "tab") {
    QCOMPARE(meta.value("bom").toString(), QString("fffe"));
    QVERIFY(meta.value("crlfOnly").toBool());
  }
  QCOMPARE(filesIn(dir.path()), QStringList{fileName});  // no temporary left behind
}

void TestExportFormats::emptyTable_data() {
  QTest::addColumn<QString>("fileName");
  QTest::addColumn<QString>("reader");
  QTest::newRow("xlsx") << "empty.xlsx" << "xlsx";
  QTest::newRow("xls") << "empty.xls" << "xls";
  QTest::newRow("ods") << "empty.ods" << "ods";
  QTest::newRow("csv") << "empty.csv" << "csv";
  QTest::newRow("tab") << "empty.txt" << "tab";
  QTest::newRow("html") << "empty.html" << "html";
  QTest::newRow("json") << "empty.json" << "json";
  QTest::newRow("pdf") << "empty.pdf" << "pdf";
}

void TestExportFormats::emptyTable() {
  QFETCH(QString, fileName);
  QFETCH(QString, reader);
  TempWorkDir dir;
  TExportSnapshot s = fixtureSnapshot();
  s.rows.clear();
  const QString path = dir.filePath(fileName);
  QCOMPARE(exportSnapshot(s, path), path);

  QJsonObject read;
  QString error;
  QVERIFY2(readExport(reader, path, read, error), qPrintable(error));
  QCOMPARE(read.value("rows").toArray(), QJsonArray());
  if (reader == "json") {
    QCOMPARE(readFileBytes(path), QByteArray("[]\n"));  // an empty array: no objects to name members
  } else if (reader == "pdf") {
    const QStringList pages = read.value("meta").toObject().value("pages").toVariant().toStringList();
    QCOMPARE(pages.size(), 1);
    QVERIFY2(lineWithValues(pages[0].split('\n'), 0, headerTexts(s)) >= 0, qPrintable(pages[0]));
  } else {
    QCOMPARE(read.value("header").toArray(), headersOf(s));
  }
}

void TestExportFormats::headerStyle_data() {
  QTest::addColumn<QString>("fileName");
  QTest::addColumn<QString>("reader");
  QTest::addColumn<bool>("hasWidths");
  QTest::newRow("xlsx") << "s.xlsx" << "xlsx" << true;
  QTest::newRow("xls") << "s.xls" << "xls" << true;
  QTest::newRow("ods") << "s.ods" << "ods" << true;
  QTest::newRow("html") << "s.html" << "html" << false;
}

void TestExportFormats::headerStyle() {
  QFETCH(QString, fileName);
  QFETCH(QString, reader);
  QFETCH(bool, hasWidths);
  TempWorkDir dir;
  const QString path = dir.filePath(fileName);
  QCOMPARE(exportSnapshot(fixtureSnapshot(), path), path);
  QJsonObject read;
  QString error;
  QVERIFY2(readExport(reader, path, read, error), qPrintable(error));
  const QJsonObject style = read.value("style").toObject();

  QJsonObject expected{{"headerFill", "C0DCC0"}, {"headerBold", true},     {"headerSize", 13},
                       {"headerFont", "Arial"},  {"headerAlign", "center"}, {"headerLines", true},
                       {"dataSize", 11},         {"dataAlign", "center"},   {"dataLines", true}};
  if (hasWidths)
    expected.insert("widths", QJsonArray{30, 30, 30, 30, 20, 30, 20, 30, 5, 30});
  QCOMPARE(style, expected);
}

void TestExportFormats::csvBytes() {
  TempWorkDir dir;
  const QString path = dir.filePath("q.csv");
  QCOMPARE(exportSnapshot(quotingSnapshot(), path), path);
  // Every present value quoted with inner quotes doubled; a null is an
  // empty field, an empty text a pair of quotes.
  QCOMPARE(readFileBytes(path), utf16le("\"a\",\"b c\"\r\n"
                                        "\"x\"\"y\",\r\n"
                                        "\"\",\"1,2\"\r\n"
                                        "\"a\tb\",\"\"\"q\"\r\n"
                                        "\"0042\",\"l1\nl2\"\r\n"));
}

void TestExportFormats::tabTextBytes() {
  TempWorkDir dir;
  const QString path = dir.filePath("q.txt");
  QCOMPARE(exportSnapshot(quotingSnapshot(), path), path);
  // No qualifier, except where a value would otherwise break the columns:
  // one holding a tab or line break, or starting with a quote.
  QCOMPARE(readFileBytes(path), utf16le("a\tb c\r\n"
                                        "x\"y\t\r\n"
                                        "\t1,2\r\n"
                                        "\"a\tb\"\t\"\"\"q\"\r\n"
                                        "0042\t\"l1\nl2\"\r\n"));
}

void TestExportFormats::odsPackage() {
  TempWorkDir dir;
  const QString path = dir.filePath("p.ods");
  QCOMPARE(exportSnapshot(fixtureSnapshot(), path), path);
  QJsonObject read;
  QString error;
  QVERIFY2(readExport("ods", path, read, error), qPrintable(error));
  const QJsonObject package = read.value("meta").toObject().value("package").toObject();
  QCOMPARE(package.value("firstEntry").toString(), QString("mimetype"));
  QVERIFY(package.value("firstStored").toBool());
  QCOMPARE(package.value("firstExtra").toInt(), 0);
  QCOMPARE(package.value("mimetype").toString(),
           QString("application/vnd.oasis.opendocument.spreadsheet"));
  QCOMPARE(package.value("entries").toArray(),
           (QJsonArray{"META-INF/manifest.xml", "content.xml", "meta.xml", "mimetype", "styles.xml"}));
}

void TestExportFormats::xlsLongAndWideStrings() {
  // Enough text for the shared string table to run over many CONTINUE
  // records, with strings cut across them in both character widths.
  TExportSnapshot s;
  s.columns = {{"text", 30}, {"n", 5}};
  for (int i = 0; i < 700; ++i)
    s.rows.append({QString("value %1 ").arg(i, 4, 10, QChar('0')).repeated(5), QString::number(i)});
  s.rows.insert(100, {QString("é").repeated(20000), QString("long latin")});
  s.rows.insert(200, {QString("Ω€").repeated(6000), QString("long wide")});
  s.rows.insert(300, {QString("x").repeated(32767), QString("longest")});
  s.rows.append({QString("value 0001 ").repeated(5), QString("repeat")});

  TempWorkDir dir;
  const QString path = dir.filePath("long.xls");
  QCOMPARE(exportSnapshot(s, path), path);
  QJsonObject read;
  QString error;
  QVERIFY2(readExport("xls", path, read, error), qPrintable(error));
  QCOMPARE(read.value("rows").toArray(), rowsAsRead(s.rows, false));
}

void TestExportFormats::compoundDocumentStreams_data() {
  QTest::addColumn<QList<int>>("sizes");
  QTest::newRow("mini streams only") << QList<int>{200, 64, 1};
  QTest::newRow("cutoff exactly") << QList<int>{4095, 4096};
  QTest::newRow("big and small") << QList<int>{70000, 100};
  QTest::newRow("FAT beyond the header's 109 sectors") << QList<int>{8 * 1024 * 1024, 300};
  QTest::newRow("many entries") << QList<int>{10, 5000, 20, 30, 40, 50, 60};
}

void TestExportFormats::compoundDocumentStreams() {
  QFETCH(QList<int>, sizes);
  TCompoundFileWriter writer;
  QJsonObject expected;
  for (int i = 0; i < sizes.size(); ++i) {
    QByteArray data(sizes[i], '\0');
    for (int k = 0; k < data.size(); ++k)
      data[k] = char((k * 7 + i * 13) % 251);
    const QString name = QString("Stream%1").arg(i);
    writer.addStream(name, data);
    expected.insert(name, QJsonObject{{"size", data.size()},
                                      {"sha1", QString(QCryptographicHash::hash(
                                                           data, QCryptographicHash::Sha1)
                                                           .toHex())}});
  }
  TempWorkDir dir;
  const QString path = dir.filePath("doc.cfb");
  QFile f(path);
  QVERIFY(f.open(QIODevice::WriteOnly));
  writer.write(f);
  f.close();
  QCOMPARE(f.size() % 512, 0);

  QJsonObject read;
  QString error;
  QVERIFY2(readExport("cfb", path, read, error), qPrintable(error));
  QCOMPARE(read.value("meta").toObject().value("streams").toObject(), expected);
}

void TestExportFormats::pdfTable() {
  TempWorkDir dir;
  const TExportSnapshot s = fixtureSnapshot();
  const QString path = dir.filePath("users.pdf");
  QCOMPARE(exportSnapshot(s, path), path);
  QJsonObject read;
  QString error;
  QVERIFY2(readExport("pdf", path, read, error), qPrintable(error));
  const QJsonObject meta = read.value("meta").toObject();
  QCOMPARE(meta.value("title").toString(), QString("Export en cours"));
  QVERIFY(meta.value("landscape").toBool());  // ten columns need the width
  const QStringList pages = meta.value("pages").toVariant().toStringList();
  QCOMPARE(pages.size(), 1);
  const QStringList lines = pages[0].split('\n');
  int at = lineWithValues(lines, 0, headerTexts(s));
  QVERIFY2(at >= 0, qPrintable(pages[0]));
  for (const TExportRow &row : s.rows) {
    const int next = lineWithValues(lines, at + 1, pdfValues(row));
    QVERIFY2(next > at, qPrintable(pdfValues(row).join('|') + "\n" + pages[0]));
    at = next;
  }
}

void TestExportFormats::pdfPagesRepeatHeader() {
  TExportSnapshot s = fixtureSnapshot();
  s.rows.clear();
  for (int i = 0; i < 130; ++i) {
    TExportRow row(s.columns.size());  // nulls but the first and the last
    row[0] = QString("row %1").arg(i, 3, 10, QChar('0'));
    // Far wider than its column: wraps over several lines of the cell.
    row[9] = QString("%1-5a1f0c7e-2b44-4e8a-9d3c-8f6e1b2a7c90").arg(i, 3, 10, QChar('0'));
    s.rows.append(row);
  }
  TempWorkDir dir;
  const QString path = dir.filePath("many.pdf");
  QCOMPARE(exportSnapshot(s, path), path);
  QJsonObject read;
  QString error;
  QVERIFY2(readExport("pdf", path, read, error), qPrintable(error));
  const QStringList pages = read.value("meta").toObject().value("pages").toVariant().toStringList();
  QVERIFY(pages.size() >= 3);

  int expectedRow = 0;
  for (const QString &page : pages) {
    const QStringList lines = page.split('\n');
    QVERIFY2(lineWithValues(lines, 0, headerTexts(s)) >= 0, qPrintable(page));
    // Besides the row names, the page holds only the pieces of the wrapped
    // values, one piece a line.
    const QRegularExpression rowName("row (\\d{3})");
    QString wrapped;
    for (int i = 1; i < lines.size(); ++i)
      wrapped += QString(lines[i]).remove(rowName).simplified();
    for (auto it = rowName.globalMatch(page); it.hasNext();) {
      const int n = it.next().captured(1).toInt();
      QCOMPARE(n, expectedRow++);  // each once, in order
      QVERIFY2(wrapped.contains(*s.rows[n][9]), qPrintable(*s.rows[n][9] + "\n" + page));  // nothing cut off
    }
  }
  QCOMPARE(expectedRow, s.rows.size());
}

void TestExportFormats::pdfPortraitWhenNarrow() {
  TExportSnapshot s;
  s.columns = {{"name", 20}, {"id", 5}};
  s.rows = {{QString("Zoë"), QString("1")}};
  TempWorkDir dir;
  const QString path = dir.filePath("narrow.pdf");
  QCOMPARE(exportSnapshot(s, path), path);
  QJsonObject read;
  QString error;
  QVERIFY2(readExport("pdf", path, read, error), qPrintable(error));
  QVERIFY(!read.value("meta").toObject().value("landscape").toBool());
}

void TestExportFormats::clipboardGetsTabTextAndNoFile() {
  TempWorkDir dir;
  QGuiApplication::clipboard()->setText("before");
  const QString path = dir.filePath("users.CLP");
  QCOMPARE(exportSnapshot(fixtureSnapshot(), path), path);
  QCOMPARE(filesIn(dir.path()), QStringList());
  QCOMPARE(QGuiApplication::clipboard()->text(),
           QString("firstname\tlastname\temail\tcall permissions\textensions\tcaller id\tdid\t"
                   "outgoing caller id\tid\tuuid\r\n"
                   "Élodie\tLefèvre\telo@ex.fr\tInterne\t1002\tÉlodie L\t0142\tanonymous\t7\tu-0007\r\n"
                   "Jean \"JJ\"\tDupont, fils\tjj@ex.fr\tExterne\t0042\tJJ\t\tdefault\t12\tu-0012\r\n"
                   "\"Anne\tMarie\"\tMüller\t\tInterne\t1001\tAnne\t0143\t\t3\tu-0003\r\n"
                   "Ñoño\tØrsted\tno@ex.fr\t\t1003\tÑ <x> & y\t0144\t\t25\tu-0025\r\n"
                   "Bob\tMartin\tbob@ex.fr\tInterne\t2001\tBob\t0145\tdefault\t40\tu-0040\r\n"));
}

QTEST_MAIN(TestExportFormats)
#include "test_export_formats.moc"
