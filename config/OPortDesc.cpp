#include "OPortDesc.h"

#include <QtGlobal>

#include <algorithm>

const char *const PortTypeNames =
    "\"???\",\"Client Telnet\",\"Serveur Telnet\",\"Fichiers\",\"Client FTP\",\"OXE FTP\",\"Base\","
    "\"FTP/SQLite\",\"MySQL Sans Index\",\"API HTTP/HTTPS\",\"API OVH\",\"FTP Quorvel\",\"API A5000\",\"API WAZO\"";

TOProtoTypePBX *PortConfig = nullptr;

void createPortConfig() {
  delete PortConfig;
  PortConfig = new TOProtoTypePBX;
}

void releasePortConfig() {
  delete PortConfig;
  PortConfig = nullptr;
}

QString trimControl(const QString &text) {
  qsizetype begin = 0;
  qsizetype end = text.size();
  while (begin < end && text.at(begin).unicode() <= 32)
    ++begin;
  while (end > begin && text.at(end - 1).unicode() <= 32)
    --end;
  return begin == 0 && end == text.size() ? text : text.mid(begin, end - begin);
}

namespace {
QString portText(const QString &value) {
  bool ok = false;
  const int port = trimControl(value).toInt(&ok);
  return ok ? QString::number(port) : QStringLiteral("23");
}
} // namespace

// Write rules: plain (inline in the header for non-text kinds), trimmed,
// port with default 23, trimmed and cut to 80.
#define PLAIN(CLASS, NAME)                                                     \
  void CLASS::Set##NAME(const QString &value) { F##NAME = value; }
#define TRIMMED(CLASS, NAME)                                                   \
  void CLASS::Set##NAME(const QString &value) { F##NAME = trimControl(value); }
#define PORT23(CLASS, NAME)                                                    \
  void CLASS::Set##NAME(const QString &value) { F##NAME = portText(value); }
#define TRIMMED80(CLASS, NAME)                                                 \
  void CLASS::Set##NAME(const QString &value) { F##NAME = trimControl(value).left(80); }

PORT23(TPortDesc, PB_TLNNUMPORT)
TRIMMED(TPortDesc, PB_FILEREN)
TRIMMED(TPortDesc, PB_FILETYPE)
TRIMMED(TPortDesc, PB_TLNLOGIN)
TRIMMED(TPortDesc, PB_FILEREP)
TRIMMED(TPortDesc, PB_TLNADDRESS)
TRIMMED(TPortDesc, PB_TLNPASSW)
TRIMMED(TPortDesc, PB_FTPREP)
TRIMMED(TPortDesc, PB_FTPFILE)
TRIMMED(TPortDesc, PB_FTPREN)
TRIMMED(TPortDesc, PB_FTPNUMPORT)
PLAIN(TPortDesc, PB_BDQUERY)
PLAIN(TPortDesc, PB_BDPASSW)
PLAIN(TPortDesc, PB_BDDATABASE)
PLAIN(TPortDesc, PB_BDNUMPORT)
PLAIN(TPortDesc, PB_BDLOGIN)
PLAIN(TPortDesc, PB_BDHOSTNAME)
PLAIN(TPortDesc, PB_BDIDCOM)
PLAIN(TPortDesc, PB_BDPROTOCOL)
PLAIN(TPortDesc, PB_FTPPASSW)
PLAIN(TPortDesc, PB_FTPADDRESS)
PLAIN(TPortDesc, PB_FTPLOGIN)
PLAIN(TPortDesc, PB_CONNEXION)
PLAIN(TPortDesc, PB_HTTP_TOKENURL)
PLAIN(TPortDesc, PB_HTTP_PASSW)
PLAIN(TPortDesc, PB_HTTP_NUMPORT)
PLAIN(TPortDesc, PB_HTTP_USERNAME)
PLAIN(TPortDesc, PB_HTTP_URL)
PLAIN(TPortDesc, PB_HTTP_DATA)
PLAIN(TPortDesc, PB_HTTP_BASE_URL)
PLAIN(TPortDesc, PB_OPEN)
PLAIN(TPortDesc, PB_CLOSE)
PLAIN(TPortDesc, PB_USEPERM)
TRIMMED(TOProtoTypePBX, PB_FTICKET)
TRIMMED80(TOProtoTypePBX, PB_NOM)
TRIMMED(TOProtoTypePBX, PB_PERIODE)
PLAIN(TOProtoTypePBX, PB_IDLAST)
PLAIN(TOProtoTypePBX, PB_VERSION)
PLAIN(TOProtoTypePBX, encoding)

namespace {
qint32 toInteger(const QString &value) {
  bool ok = false;
  const qint32 n = trimControl(value).toInt(&ok);
  return ok ? n : 0;
}

bool toBoolean(const QString &value) {
  const QString v = trimControl(value);
  if (v.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0)
    return true;
  bool ok = false;
  const qlonglong n = v.toLongLong(&ok);
  return ok && n != 0;
}

QString booleanText(bool b) { return b ? QStringLiteral("True") : QStringLiteral("False"); }

template <class C> const C &as(const TPortDesc &p) { return static_cast<const C &>(p); }
template <class C> C &as(TPortDesc &p) { return static_cast<C &>(p); }

#define TEXT_ENTRY(CLASS, NAME)                                                \
  PropInfo{#NAME, PropKind::Text, [](const TPortDesc &p) { return as<CLASS>(p).NAME(); },             \
           [](TPortDesc &p, const QString &v) { as<CLASS>(p).Set##NAME(v); }}
#define INT_ENTRY(CLASS, NAME)                                                 \
  PropInfo{#NAME, PropKind::Integer,                                                                  \
           [](const TPortDesc &p) { return QString::number(as<CLASS>(p).NAME()); },                  \
           [](TPortDesc &p, const QString &v) { as<CLASS>(p).Set##NAME(toInteger(v)); }}
#define BOOL_ENTRY(CLASS, NAME)                                                \
  PropInfo{#NAME, PropKind::Boolean, [](const TPortDesc &p) { return booleanText(as<CLASS>(p).NAME()); }, \
           [](TPortDesc &p, const QString &v) { as<CLASS>(p).Set##NAME(toBoolean(v)); }}

std::vector<PropInfo> baseEntries() {
  return {
      INT_ENTRY(TPortDesc, PB_TYPEPORT),       TEXT_ENTRY(TPortDesc, PB_TLNNUMPORT),
      TEXT_ENTRY(TPortDesc, PB_FILEREN),       TEXT_ENTRY(TPortDesc, PB_FILETYPE),
      TEXT_ENTRY(TPortDesc, PB_TLNLOGIN),      TEXT_ENTRY(TPortDesc, PB_FILEREP),
      TEXT_ENTRY(TPortDesc, PB_TLNADDRESS),    TEXT_ENTRY(TPortDesc, PB_TLNPASSW),
      BOOL_ENTRY(TPortDesc, PB_FILESUPP),      BOOL_ENTRY(TPortDesc, PB_FTPSUPP),
      TEXT_ENTRY(TPortDesc, PB_FTPREP),        TEXT_ENTRY(TPortDesc, PB_FTPFILE),
      TEXT_ENTRY(TPortDesc, PB_FTPREN),        TEXT_ENTRY(TPortDesc, PB_FTPNUMPORT),
      TEXT_ENTRY(TPortDesc, PB_BDQUERY),       TEXT_ENTRY(TPortDesc, PB_BDPASSW),
      TEXT_ENTRY(TPortDesc, PB_BDDATABASE),    TEXT_ENTRY(TPortDesc, PB_BDNUMPORT),
      TEXT_ENTRY(TPortDesc, PB_BDLOGIN),       TEXT_ENTRY(TPortDesc, PB_BDHOSTNAME),
      TEXT_ENTRY(TPortDesc, PB_BDIDCOM),       TEXT_ENTRY(TPortDesc, PB_BDPROTOCOL),
      BOOL_ENTRY(TPortDesc, PB_BDSUPP),        TEXT_ENTRY(TPortDesc, PB_FTPPASSW),
      TEXT_ENTRY(TPortDesc, PB_FTPADDRESS),    TEXT_ENTRY(TPortDesc, PB_FTPLOGIN),
      TEXT_ENTRY(TPortDesc, PB_CONNEXION),     TEXT_ENTRY(TPortDesc, PB_HTTP_TOKENURL),
      TEXT_ENTRY(TPortDesc, PB_HTTP_PASSW),    TEXT_ENTRY(TPortDesc, PB_HTTP_NUMPORT),
      TEXT_ENTRY(TPortDesc, PB_HTTP_USERNAME), TEXT_ENTRY(TPortDesc, PB_HTTP_URL),
      TEXT_ENTRY(TPortDesc, PB_HTTP_DATA),     TEXT_ENTRY(TPortDesc, PB_HTTP_BASE_URL),
      TEXT_ENTRY(TPortDesc, PB_OPEN),          TEXT_ENTRY(TPortDesc, PB_CLOSE),
      TEXT_ENTRY(TPortDesc, PB_USEPERM),
  };
}

void sortByName(std::vector<PropInfo> &props) {
  std::sort(props.begin(), props.end(), [](const PropInfo &a, const PropInfo &b) {
    return QLatin1String(a.name).compare(QLatin1String(b.name), Qt::CaseInsensitive) < 0;
  });
}
} // namespace

const std::vector<PropInfo> &TPortDesc::basePropertyTable() {
  static const std::vector<PropInfo> table = [] {
    auto props = baseEntries();
    sortByName(props);
    return props;
  }();
  return table;
}

const std::vector<PropInfo> &TOProtoTypePBX::pbxPropertyTable() {
  static const std::vector<PropInfo> table = [] {
    auto props = baseEntries();
    props.insert(props.end(), {
                                  TEXT_ENTRY(TOProtoTypePBX, PB_FTICKET),
                                  INT_ENTRY(TOProtoTypePBX, PB_NUM),
                                  TEXT_ENTRY(TOProtoTypePBX, PB_NOM),
                                  TEXT_ENTRY(TOProtoTypePBX, PB_PERIODE),
                                  BOOL_ENTRY(TOProtoTypePBX, PB_STOCKEBRUT),
                                  TEXT_ENTRY(TOProtoTypePBX, PB_IDLAST),
                                  TEXT_ENTRY(TOProtoTypePBX, PB_VERSION),
                                  TEXT_ENTRY(TOProtoTypePBX, encoding),
                              });
    sortByName(props);
    return props;
  }();
  return table;
}

const std::vector<PropInfo> &TPortDesc::properties() const { return basePropertyTable(); }
const std::vector<PropInfo> &TOProtoTypePBX::properties() const { return pbxPropertyTable(); }

TOProtoTypePBX::TOProtoTypePBX() {
  SetPB_NUM(1);
  ConfPort(QStringLiteral("127.0.0.1:23"), 1);
  ConfPort(QStringLiteral("c:\\*.TAX"), 3);
  SetPB_FILESUPP(true);
  SetPB_HTTP_BASE_URL(QString());
  SetPB_HTTP_TOKENURL(QString());
  SetPB_HTTP_URL(QString());
}

void TPortDesc::ConfPort(const QString &sIn, qint32 iTypeP) {
  if (iTypeP >= 0 && iTypeP <= 5) {
    SetPB_TYPEPORT(iTypeP);
  } else {
    const QString s = trimControl(sIn).toUpper();
    if (s.startsWith(QLatin1String("COM")))
      SetPB_TYPEPORT(0);
    else if (s.startsWith(QLatin1String("TELNET://")))
      SetPB_TYPEPORT(1);
    else if (s.startsWith(QLatin1String("FTP://")))
      SetPB_TYPEPORT(4);
    else if (s.startsWith(QLatin1String("OXE://")))
      SetPB_TYPEPORT(5);
    else if (s.startsWith(QLatin1String("FILE://")))
      SetPB_TYPEPORT(3);
    else
      SetPB_TYPEPORT(1);
  }

  if (PB_TYPEPORT() == 1) {
    const qsizetype colon = sIn.indexOf(QLatin1Char(':'));
    if (colon >= 0) {
      SetPB_TLNADDRESS(sIn.left(colon));
      SetPB_TLNNUMPORT(sIn.mid(colon + 1));
    } else {
      SetPB_TLNADDRESS(sIn);
      SetPB_TLNNUMPORT(QStringLiteral("23"));
    }
  } else if (PB_TYPEPORT() == 3) {
    // Directory part up to and including the last "\" or ":".
    const qsizetype cut = std::max(sIn.lastIndexOf(QLatin1Char('\\')), sIn.lastIndexOf(QLatin1Char(':')));
    SetPB_FILEREP(sIn.left(cut + 1));
    SetPB_FILETYPE(sIn.mid(cut + 1));
  }
}
