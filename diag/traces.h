#pragma once
// Trace log and numbered message catalogue.
//
// The log is plain text, one line per TraceLine call, exactly the text given,
// ended by CR LF, appended across runs and flushed at once. It sits in the
// current working directory and is named after the program file.

#include <QMap>
#include <QString>

struct TResExtract {
  qint32 iRes = 0;  // 0 success, catalogue number on failure, -1 "changed"
  QString sRes;     // detail text
};

// The built-in catalogue: quoted "number=pattern" items, comma separated,
// with a comma after the last item.
extern const char *const MessageCatalogue;

// Exists between TraceOpen and TraceClose only.
extern QMap<qint32, QString> *MessageMap;

void TraceOpen();
void TraceClose();
void TraceLine(const QString &text);
QString ErrorText(qint32 number, const QString &detail);
QString ResultText(const TResExtract &res);

// The program file's name without directory, its extension replaced by
// `extension` (".log", ".ini"); appended when the name has none.
QString ProgramFileName(const QString &extension);

// Opens the log under an explicit file name (TraceOpen uses the program's).
void traceOpenFile(const QString &fileName);
bool traceIsOpen();

// Splits a catalogue text into its quoted items: comma separated, double
// quote as quote character, blanks outside quotes skipped; the trailing
// comma yields one more, empty, item.
QStringList splitCatalogueItems(const QString &text);
// Fills `map` from a catalogue text; throws LarkspanError when an item
// holds a comma.
void buildMessageMap(const QString &catalogue, QMap<qint32, QString> &map);
