#pragma once
// Connection description: a connection-type code and a flat set of named
// settings. Every setting is a property with a reader and a writer; the
// writer applies the setting's write rule. The generic text operations walk
// a static property table in ascending name order.

#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

// The 14 connection-type names in code order, each quoted, comma separated.
extern const char *const PortTypeNames;

// One record of a data set whose fields bear property names. A missing
// field throws LarkspanError; a null value is std::nullopt.
class TDataRecord {
public:
  virtual ~TDataRecord() = default;
  virtual std::optional<QString> fieldValue(const QString &name) const = 0;
};

class TPortDesc;

enum class PropKind { Integer, Boolean, Text };

struct PropInfo {
  const char *name;
  PropKind kind;
  QString (*read)(const TPortDesc &);          // value as text
  void (*write)(TPortDesc &, const QString &); // converted by kind, through the writer
};

#define LARKSPAN_TEXT_PROP(NAME)                                               \
public:                                                                        \
  const QString &NAME() const { return F##NAME; }                              \
  void Set##NAME(const QString &value);                                        \
                                                                               \
private:                                                                       \
  QString F##NAME;

#define LARKSPAN_INT_PROP(NAME)                                                \
public:                                                                        \
  qint32 NAME() const { return F##NAME; }                                      \
  void Set##NAME(qint32 value) { F##NAME = value; }                            \
                                                                               \
private:                                                                       \
  qint32 F##NAME = 0;

#define LARKSPAN_BOOL_PROP(NAME)                                               \
public:                                                                        \
  bool NAME() const { return F##NAME; }                                        \
  void Set##NAME(bool value) { F##NAME = value; }                              \
                                                                               \
private:                                                                       \
  bool F##NAME = false;

class TPortDesc {
  LARKSPAN_INT_PROP(PB_TYPEPORT)
  LARKSPAN_TEXT_PROP(PB_TLNNUMPORT)
  LARKSPAN_TEXT_PROP(PB_FILEREN)
  LARKSPAN_TEXT_PROP(PB_FILETYPE)
  LARKSPAN_TEXT_PROP(PB_TLNLOGIN)
  LARKSPAN_TEXT_PROP(PB_FILEREP)
  LARKSPAN_TEXT_PROP(PB_TLNADDRESS)
  LARKSPAN_TEXT_PROP(PB_TLNPASSW)
  LARKSPAN_BOOL_PROP(PB_FILESUPP)
  LARKSPAN_BOOL_PROP(PB_FTPSUPP)
  LARKSPAN_TEXT_PROP(PB_FTPREP)
  LARKSPAN_TEXT_PROP(PB_FTPFILE)
  LARKSPAN_TEXT_PROP(PB_FTPREN)
  LARKSPAN_TEXT_PROP(PB_FTPNUMPORT)
  LARKSPAN_TEXT_PROP(PB_BDQUERY)
  LARKSPAN_TEXT_PROP(PB_BDPASSW)
  LARKSPAN_TEXT_PROP(PB_BDDATABASE)
  LARKSPAN_TEXT_PROP(PB_BDNUMPORT)
  LARKSPAN_TEXT_PROP(PB_BDLOGIN)
  LARKSPAN_TEXT_PROP(PB_BDHOSTNAME)
  LARKSPAN_TEXT_PROP(PB_BDIDCOM)
  LARKSPAN_TEXT_PROP(PB_BDPROTOCOL)
  LARKSPAN_BOOL_PROP(PB_BDSUPP)
  LARKSPAN_TEXT_PROP(PB_FTPPASSW)
  LARKSPAN_TEXT_PROP(PB_FTPADDRESS)
  LARKSPAN_TEXT_PROP(PB_FTPLOGIN)
  LARKSPAN_TEXT_PROP(PB_CONNEXION)
  LARKSPAN_TEXT_PROP(PB_HTTP_TOKENURL)
  LARKSPAN_TEXT_PROP(PB_HTTP_PASSW)
  LARKSPAN_TEXT_PROP(PB_HTTP_NUMPORT)
  LARKSPAN_TEXT_PROP(PB_HTTP_USERNAME)
  LARKSPAN_TEXT_PROP(PB_HTTP_URL)
  LARKSPAN_TEXT_PROP(PB_HTTP_DATA)
  LARKSPAN_TEXT_PROP(PB_HTTP_BASE_URL)
  LARKSPAN_TEXT_PROP(PB_OPEN)
  LARKSPAN_TEXT_PROP(PB_CLOSE)
  LARKSPAN_TEXT_PROP(PB_USEPERM)

public:
  TPortDesc() = default;
  virtual ~TPortDesc() = default;
  TPortDesc(const TPortDesc &) = delete;
  TPortDesc &operator=(const TPortDesc &) = delete;

  void ConfPort(const QString &sIn, qint32 iTypeP);
  // One-line summary: type name, ":", the distinct non-empty values of the
  // type's family of settings, sorted without regard to case.
  QString PortToString() const;
  // Loads the PB_ properties from a record whose fields bear their names.
  qint32 GetProp(const TDataRecord &DataIn);

  // The property table of this class, in ascending name order.
  virtual const std::vector<PropInfo> &properties() const;
  static const std::vector<PropInfo> &basePropertyTable();
};

class TOProtoTypePBX : public TPortDesc {
  LARKSPAN_TEXT_PROP(PB_FTICKET)
  LARKSPAN_INT_PROP(PB_NUM)
  LARKSPAN_TEXT_PROP(PB_NOM)
  LARKSPAN_TEXT_PROP(PB_PERIODE)
  LARKSPAN_BOOL_PROP(PB_STOCKEBRUT)
  LARKSPAN_TEXT_PROP(PB_IDLAST)
  LARKSPAN_TEXT_PROP(PB_VERSION)
  LARKSPAN_TEXT_PROP(encoding)

public:
  TOProtoTypePBX();
  // Loads PB_ properties from percent-encoded NAME=value items; cDelim NUL
  // means one item per line. Throws LarkspanError on a malformed escape.
  void FromString(const QString &sIn, QChar cDelim);

  const std::vector<PropInfo> &properties() const override;
  static const std::vector<PropInfo> &pbxPropertyTable();
};

// The one connection description of the program.
extern TOProtoTypePBX *PortConfig;
void createPortConfig();
void releasePortConfig();

// Text helpers of the text form.
QString PercentDecode(const QString &text);
QString GetDelimitedField(const QString &text, QChar delim, int n, bool unquote);
QString StripQuotes(const QString &text, bool trim, bool keepSingleQuotes);
// Leading and trailing characters of code 32 or less removed.
QString trimControl(const QString &text);
