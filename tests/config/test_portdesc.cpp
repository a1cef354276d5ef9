#include "LarkspanError.h"
#include "OPortDesc.h"

#include <QMap>
#include <QTest>

class TestPortDesc : public QObject {
  Q_OBJECT
private slots:
  void defaults();
  void propertyTables();
  void writeRules_data();
  void writeRules();
  void confPort_data();
  void confPort();
  void portToString_data();
  void portToString();
  void fromString_data();
  void fromString();
  void fromStringStopsAtBadEscape();
  void percentDecode_data();
  void percentDecode();
  void delimitedField_data();
  void delimitedField();
  void stripQuotes_data();
  void stripQuotes();
  void getProp();
};

void TestPortDesc::defaults() {
  TOProtoTypePBX p;
  QCOMPARE(p.PB_TYPEPORT(), 3);
  QCOMPARE(p.PB_TLNADDRESS(), QString("127.0.0.1"));
  QCOMPARE(p.PB_TLNNUMPORT(), QString("23"));
  QCOMPARE(p.PB_FILEREP(), QString("c:\\"));
  QCOMPARE(p.PB_FILETYPE(), QString("*.TAX"));
  QVERIFY(p.PB_FILESUPP());
  QCOMPARE(p.PB_NUM(), 1);
  for (const PropInfo &prop : p.properties()) {
    const QString name(prop.name);
    if (name.startsWith("PB_HTTP") || name == "encoding" || name == "PB_NOM")
      QCOMPARE(prop.read(p), QString());
  }
}

void TestPortDesc::propertyTables() {
  QCOMPARE(TPortDesc::basePropertyTable().size(), size_t(37));
  const auto &all = TOProtoTypePBX::pbxPropertyTable();
  QCOMPARE(all.size(), size_t(45));
  for (size_t i = 1; i < all.size(); ++i)
    QVERIFY(QString(all[i - 1].name).compare(all[i].name, Qt::CaseInsensitive) < 0);
}

void TestPortDesc::writeRules_data() {
  QTest::addColumn<QString>("property");
  QTest::addColumn<QString>("written");
  QTest::addColumn<QString>("stored");
  QTest::newRow("port not a number") << "PB_TLNNUMPORT" << "abc" << "23";
  QTest::newRow("port leading zeros") << "PB_TLNNUMPORT" << "0080" << "80";
  QTest::newRow("port too large") << "PB_TLNNUMPORT" << "99999999999" << "23";
  QTest::newRow("trimmed") << "PB_TLNADDRESS" << "  host  " << "host";
  QTest::newRow("trimmed control chars") << "PB_FTPREP" << "\t\x01" "dir\r\n" << "dir";
  QTest::newRow("plain keeps blanks") << "PB_HTTP_USERNAME" << "  host  " << "  host  ";
  QTest::newRow("name cut to 80") << "PB_NOM" << ("  " + QString(100, 'n')) << QString(80, 'n');
}

void TestPortDesc::writeRules() {
  QFETCH(QString, property);
  QFETCH(QString, written);
  QFETCH(QString, stored);
  TOProtoTypePBX p;
  for (const PropInfo &prop : p.properties()) {
    if (property == prop.name) {
      prop.write(p, written);
      QCOMPARE(prop.read(p), stored);
      return;
    }
  }
  QFAIL("no such property");
}

void TestPortDesc::confPort_data() {
  QTest::addColumn<QString>("in");
  QTest::addColumn<int>("type");
  QTest::addColumn<int>("resultType");
  QTest::addColumn<QString>("first");  // address or directory
  QTest::addColumn<QString>("second"); // port or pattern
  QTest::newRow("COM detected") << "COM3" << 6 << 0 << "127.0.0.1" << "23";
  QTest::newRow("ftp detected") << "  ftp://server" << -1 << 4 << "127.0.0.1" << "23";
  QTest::newRow("oxe detected") << "oxe://x" << 7 << 5 << "127.0.0.1" << "23";
  QTest::newRow("file detected") << "file://x" << 9 << 3 << "file:" << "//x";
  QTest::newRow("nothing detected is telnet") << "host:99" << 99 << 1 << "host" << "99";
  QTest::newRow("telnet without port") << "pbx-host" << 1 << 1 << "pbx-host" << "23";
  QTest::newRow("telnet with port") << "10.0.0.5:2323" << 1 << 1 << "10.0.0.5" << "2323";
  QTest::newRow("files") << "d:\\data\\calls.txt" << 3 << 3 << "d:\\data\\" << "calls.txt";
  QTest::newRow("files without directory") << "calls.txt" << 3 << 3 << "" << "calls.txt";
}

void TestPortDesc::confPort() {
  QFETCH(QString, in);
  QFETCH(int, type);
  QFETCH(int, resultType);
  QFETCH(QString, first);
  QFETCH(QString, second);
  TOProtoTypePBX p;
  p.ConfPort(in, type);
  QCOMPARE(p.PB_TYPEPORT(), resultType);
  if (resultType == 3) {
    QCOMPARE(p.PB_FILEREP(), first);
    QCOMPARE(p.PB_FILETYPE(), second);
  } else {
    QCOMPARE(p.PB_TLNADDRESS(), first);
    QCOMPARE(p.PB_TLNNUMPORT(), second);
    QCOMPARE(p.PB_FILEREP(), QString("c:\\")); // untouched
  }
}

using Settings = QMap<QString, QString>;
Q_DECLARE_METATYPE(Settings)

void TestPortDesc::portToString_data() {
  QTest::addColumn<int>("type");
  QTest::addColumn<Settings>("settings");
  QTest::addColumn<QString>("summary");
  QTest::newRow("http empty") << 9 << Settings{} << "API HTTP/HTTPS:";
  QTest::newRow("login and port") << 9 << Settings{{"PB_HTTP_USERNAME", "admin"}, {"PB_HTTP_NUMPORT", "443"}}
                                  << "API HTTP/HTTPS:443,admin";
  QTest::newRow("data default quoted") << 9 << Settings{{"PB_HTTP_DATA", "{\"expiration\": 6}"}}
                                       << "API HTTP/HTTPS:\"{\"\"expiration\"\": 6}\"";
  QTest::newRow("permissions never listed")
      << 9 << Settings{{"PB_OPEN", "Internal"}, {"PB_CLOSE", "x"}, {"PB_USEPERM", "1"}, {"PB_CONNEXION", "c"}}
      << "API HTTP/HTTPS:";
  QTest::newRow("same value once") << 9 << Settings{{"PB_HTTP_USERNAME", "Admin"}, {"PB_HTTP_PASSW", "admin"}}
                                   << "API HTTP/HTTPS:admin";
  QTest::newRow("comma quoted") << 9 << Settings{{"PB_HTTP_PASSW", "a,b"}} << "API HTTP/HTTPS:\"a,b\"";
  QTest::newRow("case ignored in order")
      << 9 << Settings{{"PB_HTTP_USERNAME", "beta"}, {"PB_HTTP_PASSW", "Alpha"}, {"PB_HTTP_URL", "Gamma"}}
      << "API HTTP/HTTPS:Alpha,beta,Gamma";
  QTest::newRow("wazo type") << 13 << Settings{{"PB_HTTP_USERNAME", "u"}} << "API WAZO:u";
  QTest::newRow("type 0") << 0 << Settings{{"PB_HTTP_USERNAME", "u"}} << "???:";
  QTest::newRow("type 7") << 7 << Settings{{"PB_HTTP_USERNAME", "u"}} << "FTP/SQLite:";
  QTest::newRow("type above 13") << 20 << Settings{} << ":";
  QTest::newRow("files after construction") << 3 << Settings{} << "Fichiers:*.TAX,c:\\";
  QTest::newRow("files with blank") << 3 << Settings{{"PB_FILEREP", "c:\\my dir\\"}} << "Fichiers:*.TAX,\"c:\\my dir\\\"";
}

void TestPortDesc::portToString() {
  QFETCH(int, type);
  QFETCH(Settings, settings);
  QFETCH(QString, summary);
  TOProtoTypePBX p;
  for (auto it = settings.begin(); it != settings.end(); ++it)
    for (const PropInfo &prop : p.properties())
      if (it.key() == prop.name)
        prop.write(p, it.value());
  p.SetPB_TYPEPORT(type);
  QCOMPARE(p.PortToString(), summary);
}

void TestPortDesc::fromString_data() {
  QTest::addColumn<QString>("text");
  QTest::addColumn<QString>("delim");
  QTest::addColumn<QString>("property");
  QTest::addColumn<QString>("value");
  QTest::newRow("plus is blank") << "PB_NOM=Main+PBX" << "" << "PB_NOM" << "Main PBX";
  QTest::newRow("num unchanged") << "PB_NUM=7" << "" << "PB_NUM" << "1";
  QTest::newRow("name case ignored") << "pb_nom=x" << "" << "PB_NOM" << "x";
  QTest::newRow("escape") << "PB_HTTP_DATA=50%25" << "" << "PB_HTTP_DATA" << "50%";
  QTest::newRow("lines") << "PB_OPEN=a\r\nPB_CLOSE=b\nPB_USEPERM=0" << "" << "PB_CLOSE" << "b";
  QTest::newRow("first item counts") << "PB_OPEN=a\nPB_OPEN=b" << "" << "PB_OPEN" << "a";
  QTest::newRow("integer") << "PB_TYPEPORT=9" << "" << "PB_TYPEPORT" << "9";
  QTest::newRow("integer not a number") << "PB_TYPEPORT=x" << "" << "PB_TYPEPORT" << "0";
  QTest::newRow("boolean word") << "PB_FTPSUPP=TRUE" << "" << "PB_FTPSUPP" << "True";
  QTest::newRow("boolean number") << "PB_FILESUPP=0" << "" << "PB_FILESUPP" << "False";
  QTest::newRow("write rule applies") << "PB_TLNNUMPORT=abc" << "" << "PB_TLNNUMPORT" << "23";
  QTest::newRow("encoding cannot be set") << "encoding=UTF7" << "" << "encoding" << "";
  QTest::newRow("delimited") << "PB_OPEN=a;PB_CLOSE=b" << ";" << "PB_CLOSE" << "b";
  QTest::newRow("quoted item") << "\"PB_OPEN=a;b\";PB_CLOSE=c" << ";" << "PB_OPEN" << "a;b";
  QTest::newRow("doubled quote") << "\"PB_OPEN=a\"\"b\"" << ";" << "PB_OPEN" << "a\"b";
  QTest::newRow("blanks are part of items") << "PB_OPEN=a ; PB_CLOSE=c" << ";" << "PB_OPEN" << "a ";
  QTest::newRow("blank before name") << "PB_OPEN=a; PB_CLOSE=c" << ";" << "PB_CLOSE" << "";
}

void TestPortDesc::fromString() {
  QFETCH(QString, text);
  QFETCH(QString, delim);
  QFETCH(QString, property);
  QFETCH(QString, value);
  TOProtoTypePBX p;
  p.FromString(text, delim.isEmpty() ? QChar() : delim.at(0));
  for (const PropInfo &prop : p.properties())
    if (property == prop.name)
      QCOMPARE(prop.read(p), value);
}

void TestPortDesc::fromStringStopsAtBadEscape() {
  TOProtoTypePBX p;
  try {
    p.FromString("PB_BDLOGIN=ok\nPB_HTTP_DATA=50%\nPB_OPEN=later", QChar());
    QFAIL("no error");
  } catch (const LarkspanError &e) {
    QCOMPARE(e.message(), QString("HTTP decode err. / 50%"));
  }
  QCOMPARE(p.PB_BDLOGIN(), QString("ok")); // written before the failure
  QCOMPARE(p.PB_OPEN(), QString());       // after it: not reached
  QCOMPARE(p.PB_NUM(), 1);
}

void TestPortDesc::percentDecode_data() {
  QTest::addColumn<QString>("in");
  QTest::addColumn<QString>("out");
  QTest::addColumn<bool>("fails");
  QTest::newRow("hex") << "%41%42" << "AB" << false;
  QTest::newRow("lower hex") << "%e9t%C3%a9" << QString::fromUtf8("étÃ©") << false;
  QTest::newRow("double percent") << "100%%" << "100%" << false;
  QTest::newRow("plus") << "a+b" << "a b" << false;
  QTest::newRow("latin1 kept") << QString::fromUtf8("café") << QString::fromUtf8("café") << false;
  QTest::newRow("not hex") << "%zz" << "" << true;
  QTest::newRow("one digit") << "%4" << "" << true;
  QTest::newRow("alone at end") << "50%" << "" << true;
}

void TestPortDesc::percentDecode() {
  QFETCH(QString, in);
  QFETCH(QString, out);
  QFETCH(bool, fails);
  try {
    QCOMPARE(PercentDecode(in), out);
    QVERIFY(!fails);
  } catch (const LarkspanError &e) {
    QVERIFY(fails);
    QCOMPARE(e.message(), "HTTP decode err. / " + in);
  }
}

void TestPortDesc::delimitedField_data() {
  QTest::addColumn<QString>("text");
  QTest::addColumn<int>("n");
  QTest::addColumn<bool>("unquote");
  QTest::addColumn<QString>("field");
  QTest::newRow("second") << "a,b,c" << 2 << false << "b";
  QTest::newRow("last") << "a,b,c" << 3 << false << "c";
  QTest::newRow("beyond") << "a,b,c" << 4 << false << "";
  QTest::newRow("no delimiter") << "abc" << 1 << false << "abc";
  QTest::newRow("no delimiter beyond") << "abc" << 2 << false << "";
  QTest::newRow("empty") << "" << 1 << false << "";
  QTest::newRow("unquoted") << "\"a\",\"b c\"" << 2 << true << "b c";
  QTest::newRow("type name") << QString::fromLatin1(PortTypeNames) << 10 << true << "API HTTP/HTTPS";
}

void TestPortDesc::delimitedField() {
  QFETCH(QString, text);
  QFETCH(int, n);
  QFETCH(bool, unquote);
  QFETCH(QString, field);
  QCOMPARE(GetDelimitedField(text, ',', n, unquote), field);
}

void TestPortDesc::stripQuotes_data() {
  QTest::addColumn<QString>("in");
  QTest::addColumn<bool>("trim");
  QTest::addColumn<bool>("keepSingle");
  QTest::addColumn<QString>("out");
  QTest::newRow("double") << "\"abc\"" << false << false << "abc";
  QTest::newRow("only opening") << "\"abc" << false << false << "abc";
  QTest::newRow("single") << "'abc'" << false << false << "abc";
  QTest::newRow("single kept") << "'abc'" << false << true << "'abc'";
  QTest::newRow("trim") << "\" abc \"" << true << false << "abc";
  QTest::newRow("empty") << "" << true << false << "";
  QTest::newRow("lone quote") << "\"" << false << false << "";
}

void TestPortDesc::stripQuotes() {
  QFETCH(QString, in);
  QFETCH(bool, trim);
  QFETCH(bool, keepSingle);
  QFETCH(QString, out);
  QCOMPARE(StripQuotes(in, trim, keepSingle), out);
}

namespace {
class MapRecord : public TDataRecord {
public:
  QMap<QString, std::optional<QString>> fields;
  std::optional<QString> fieldValue(const QString &name) const override {
    if (!fields.contains(name))
      throw LarkspanError("Field '" + name + "' not found");
    return fields.value(name);
  }
};
} // namespace

void TestPortDesc::getProp() {
  MapRecord rec;
  for (const PropInfo &prop : TOProtoTypePBX::pbxPropertyTable())
    if (QString(prop.name).contains("PB_"))
      rec.fields.insert(prop.name, std::nullopt);
  rec.fields["PB_HTTP_USERNAME"] = QString("admin");
  rec.fields["PB_TYPEPORT"] = QString("9");
  rec.fields["PB_NOM"] = QString("  pbx  ");
  TOProtoTypePBX p;
  QCOMPARE(p.GetProp(rec), 0);
  QCOMPARE(p.PB_HTTP_USERNAME(), QString("admin"));
  QCOMPARE(p.PB_TYPEPORT(), 9);
  QCOMPARE(p.PB_NOM(), QString("pbx"));
  QCOMPARE(p.PB_TLNADDRESS(), QString("127.0.0.1")); // null field: unchanged

  rec.fields.remove("PB_VERSION");
  QVERIFY_THROWS_EXCEPTION(LarkspanError, p.GetProp(rec));
}

QTEST_APPLESS_MAIN(TestPortDesc)
#include "test_portdesc.moc"
