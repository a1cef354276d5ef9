// Excel workbook in the older binary format: a BIFF8 workbook stream and a
// summary information stream (the title) inside a compound document.
//
// Only what a reader needs is written: code page, window, fonts, the style
// records, a palette carrying the header colour, one sheet with a shared
// string table, column widths, row heights and the cells.

#include "CompoundFile.h"
#include "ExportWriter.h"
#include "LarkspanError.h"

#include <QFile>
#include <QHash>
#include <QtEndian>

namespace {

constexpr int maxRecordData = 8224;  // longer data goes on in CONTINUE records
constexpr int maxSheetRows = 65536;
constexpr int maxSheetColumns = 256;
constexpr int maxCellChars = 32767;

enum : quint16 {
  recBof = 0x0809, recEof = 0x000A, recCodepage = 0x0042, recWindow1 = 0x003D,
  recFont = 0x0031, recXf = 0x00E0, recStyle = 0x0293, recPalette = 0x0092,
  recBoundSheet = 0x0085, recSst = 0x00FC, recContinue = 0x003C, recExtSst = 0x00FF,
  recDefaultRowHeight = 0x0225, recColInfo = 0x007D, recDimensions = 0x0200,
  recRow = 0x0208, recLabelSst = 0x00FD, recBlank = 0x0201, recWindow2 = 0x023E,
};

// Cell formats (XF indexes) and fonts. Font index 4 does not exist in the
// format, so the fifth font record is font 5.
constexpr quint16 xfDefault = 15, xfHeader = 16, xfData = 17;
constexpr quint16 fontHeader = 5, fontData = 6;
constexpr quint8 colourBlack = 8;
constexpr quint8 colourHeader = 42;  // palette slot given the header colour
constexpr quint16 colourAutoFore = 0x40, colourAutoBack = 0x41;

class TBytes {
public:
  QByteArray data;
  void u8(quint8 v) { data.append(char(v)); }
  void u16(quint16 v) { char b[2]; qToLittleEndian(v, b); data.append(b, 2); }
  void u32(quint32 v) { char b[4]; qToLittleEndian(v, b); data.append(b, 4); }
  void zeros(int n) { data.append(QByteArray(n, '\0')); }
};

class TBiffStream {
public:
  QByteArray bytes;
  qsizetype pos() const { return bytes.size(); }
  void record(quint16 type, const QByteArray &body) {
    char h[4];
    qToLittleEndian(type, h);
    qToLittleEndian(quint16(body.size()), h + 2);
    bytes.append(h, 4);
    bytes.append(body);
  }
};

bool fitsLatin1(const QString &s) {
  for (const QChar c : s)
    if (c.unicode() > 0xFF)
      return false;
  return true;
}

void appendChars(TBytes &b, const QString &s, qsizetype from, qsizetype n, bool wide) {
  for (qsizetype i = from; i < from + n; ++i) {
    if (wide)
      b.u16(s[i].unicode());
    else
      b.u8(quint8(s[i].unicode()));
  }
}

// Short string with a one-byte length (font and sheet names).
void appendShortString(TBytes &b, const QString &s) {
  const bool wide = !fitsLatin1(s);
  b.u8(quint8(s.size()));
  b.u8(wide ? 1 : 0);
  appendChars(b, s, 0, s.size(), wide);
}

QByteArray bof(quint16 kind) {
  TBytes b;
  b.u16(0x0600);  // BIFF8
  b.u16(kind);
  b.u16(0x0DBB);
  b.u16(0x07CC);
  b.u32(0);
  b.u32(0x00000006);
  return b.data;
}

QByteArray font(int sizePt, bool bold, const QString &name) {
  TBytes b;
  b.u16(quint16(sizePt * 20));
  b.u16(bold ? 1 : 0);      // the old bold bit, which some readers still use
  b.u16(0x7FFF);            // automatic colour
  b.u16(bold ? 700 : 400);
  b.u16(0);
  b.u8(0);
  b.u8(2);                  // swiss family
  b.u8(0);
  b.u8(0);
  appendShortString(b, name);
  return b.data;
}

QByteArray styleXf(quint16 fontIndex, quint16 usedAttributes) {
  TBytes b;
  b.u16(fontIndex);
  b.u16(0);
  b.u16(0xFFF5);            // locked, style XF, no parent
  b.u8(0x20);               // bottom aligned
  b.u8(0);
  b.u16(usedAttributes);
  b.u32(0);
  b.u32(0);
  b.u16(quint16(colourAutoBack << 7 | colourAutoFore));
  return b.data;
}

// Cell XF: centred both ways, thin black lines all round, optionally filled.
QByteArray cellXf(quint16 fontIndex, bool lines, int fillColour) {
  TBytes b;
  b.u16(fontIndex);
  b.u16(0);
  b.u16(0x0001);            // locked, cell XF, parent style 0
  b.u8(lines ? 0x12 : 0x20);
  b.u8(0);
  b.u16(lines ? 0xFC00 : 0x0000);
  if (lines) {
    b.u32(0x1111u | quint32(colourBlack) << 16 | quint32(colourBlack) << 23);
    b.u32(quint32(colourBlack) | quint32(colourBlack) << 7 | quint32(fillColour >= 0 ? 1 : 0) << 26);
  } else {
    b.u32(0);
    b.u32(0);
  }
  const quint16 fore = fillColour >= 0 ? quint16(fillColour) : colourAutoFore;
  b.u16(quint16(colourAutoBack << 7 | fore));
  return b.data;
}

QByteArray palette() {
  // The default BIFF8 colours 8..63, with the header colour in one slot.
  static const quint32 colours[56] = {
      0x000000, 0xFFFFFF, 0xFF0000, 0x00FF00, 0x0000FF, 0xFFFF00, 0xFF00FF, 0x00FFFF,
      0x800000, 0x008000, 0x000080, 0x808000, 0x800080, 0x008080, 0xC0C0C0, 0x808080,
      0x9999FF, 0x993366, 0xFFFFCC, 0xCCFFFF, 0x660066, 0xFF8080, 0x0066CC, 0xCCCCFF,
      0x000080, 0xFF00FF, 0xFFFF00, 0x00FFFF, 0x800080, 0x800000, 0x008080, 0x0000FF,
      0x00CCFF, 0xCCFFFF, 0xCCFFCC, 0xFFFF99, 0x99CCFF, 0xFF99CC, 0xCC99FF, 0xFFCC99,
      0x3366FF, 0x33CCCC, 0x99CC00, 0xFFCC00, 0xFF9900, 0xFF6600, 0x666699, 0x969696,
      0x003366, 0x339966, 0x003300, 0x333300, 0x993300, 0x993366, 0x333399, 0x333333};
  TBytes b;
  b.u16(56);
  for (int i = 0; i < 56; ++i) {
    const quint32 rgb = i + 8 == colourHeader ? ExportStyle::headerRgb : colours[i];
    b.u8(quint8(rgb >> 16));
    b.u8(quint8(rgb >> 8));
    b.u8(quint8(rgb));
    b.u8(0);
  }
  return b.data;
}

// The shared string table, split into CONTINUE records where it grows past
// the record limit; a string cut in two repeats its option byte after the
// cut, as the format wants. Every eighth-or-so string start is noted for
// the EXTSST index.
class TSstBuilder {
public:
  TSstBuilder(TBiffStream &stream, quint32 total, quint32 unique) : m_stream(stream) {
    m_bucket = qMax<quint32>(8, (unique + 127) / 128);
    TBytes b;
    b.u32(total);
    b.u32(unique);
    m_current = b.data;
    m_type = recSst;
  }

  void add(const QString &s) {
    const bool wide = !fitsLatin1(s);
    const int unit = wide ? 2 : 1;
    if (m_current.size() + 3 + (s.isEmpty() ? 0 : unit) > maxRecordData)
      flush(recContinue);
    if (m_count % m_bucket == 0) {
      m_index.append(quint32(m_stream.pos() + 4 + m_current.size()));
      m_index.append(quint16(4 + m_current.size()));
    }
    ++m_count;
    TBytes head;
    head.u16(quint16(s.size()));
    head.u8(wide ? 1 : 0);
    m_current += head.data;
    qsizetype done = 0;
    while (done < s.size()) {
      const qsizetype room = (maxRecordData - m_current.size()) / unit;
      if (room <= 0) {
        flush(recContinue);
        m_current.append(char(wide ? 1 : 0));
        continue;
      }
      const qsizetype n = qMin(room, s.size() - done);
      TBytes chars;
      appendChars(chars, s, done, n, wide);
      m_current += chars.data;
      done += n;
    }
  }

  // Ends the table and writes the EXTSST index after it.
  void finish() {
    flush(recContinue);
    TBytes ext;
    ext.u16(quint16(m_bucket));
    for (int i = 0; i + 1 < m_index.size(); i += 2) {
      ext.u32(m_index[i]);
      ext.u16(quint16(m_index[i + 1]));
      ext.u16(0);
    }
    m_stream.record(recExtSst, ext.data);
  }

private:
  void flush(quint16 nextType) {
    m_stream.record(m_type, m_current);
    m_current.clear();
    m_type = nextType;
  }

  TBiffStream &m_stream;
  QByteArray m_current;
  quint16 m_type;
  quint32 m_bucket = 8;
  quint32 m_count = 0;
  QVector<quint32> m_index;  // pairs: stream offset of the string, offset in its record
};

struct TStringTable {
  QHash<QString, quint32> ids;
  QVector<QString> strings;
  quint32 uses = 0;
  quint32 idFor(const QString &s) {
    ++uses;
    auto it = ids.find(s);
    if (it != ids.end())
      return *it;
    const quint32 id = quint32(strings.size());
    ids.insert(s, id);
    strings.append(s);
    return id;
  }
};

void checkCell(const QString &s) {
  if (s.size() > maxCellChars)
    throw LarkspanError(QStringLiteral("a value of %1 characters exceeds the %2 an .xls cell holds")
                            .arg(s.size())
                            .arg(maxCellChars));
}

QByteArray workbookStream(const TExportSnapshot &s) {
  const int columns = s.columns.size();
  if (s.rows.size() + 1 > maxSheetRows)
    throw LarkspanError(QStringLiteral("%1 rows do not fit an .xls sheet (at most %2)")
                            .arg(s.rows.size())
                            .arg(maxSheetRows - 1));
  if (columns > maxSheetColumns)
    throw LarkspanError(QStringLiteral("%1 columns do not fit an .xls sheet (at most %2)")
                            .arg(columns)
                            .arg(maxSheetColumns));

  // Strings first: the sheet's cells refer to them by index.
  TStringTable strings;
  QVector<quint32> headerIds;
  for (const TExportColumn &col : s.columns) {
    checkCell(col.header);
    headerIds.append(strings.idFor(col.header));
  }
  QVector<qint64> cellIds;  // -1: blank cell
  cellIds.reserve(s.rows.size() * columns);
  for (const TExportRow &row : s.rows) {
    for (int c = 0; c < columns; ++c) {
      if (c < row.size() && row[c] && !row[c]->isEmpty()) {
        checkCell(*row[c]);
        cellIds.append(strings.idFor(*row[c]));
      } else {
        cellIds.append(-1);
      }
    }
  }

  TBiffStream w;
  w.record(recBof, bof(0x0005));
  {
    TBytes b;
    b.u16(1200);  // UTF-16
    w.record(recCodepage, b.data);
  }
  {
    TBytes b;
    b.u16(0);
    b.u16(0);
    b.u16(0x3000);
    b.u16(0x2000);
    b.u16(0x0038);
    b.u16(0);
    b.u16(0);
    b.u16(1);
    b.u16(600);
    w.record(recWindow1, b.data);
  }
  const QString family = QString::fromLatin1(ExportStyle::headerFontFamily());
  for (int i = 0; i < 4; ++i)
    w.record(recFont, font(10, false, family));
  w.record(recFont, font(ExportStyle::headerFontSize, true, family));  // font 5
  w.record(recFont, font(ExportStyle::dataFontSize, false, family));   // font 6
  w.record(recXf, styleXf(0, 0x0000));
  for (int i = 1; i < 15; ++i)
    w.record(recXf, styleXf(i < 3 ? 1 : 0, 0xF400));
  w.record(recXf, cellXf(0, false, -1));                     // 15
  w.record(recXf, cellXf(fontHeader, true, colourHeader));   // 16
  w.record(recXf, cellXf(fontData, true, -1));               // 17
  {
    TBytes b;
    b.u16(0x8000);  // built-in style on XF 0: Normal
    b.u8(0);
    b.u8(0xFF);
    w.record(recStyle, b.data);
  }
  w.record(recPalette, palette());
  const qsizetype sheetOffsetAt = w.pos() + 4;
  {
    TBytes b;
    b.u32(0);  // the sheet's offset, filled in below
    b.u8(0);
    b.u8(0);
    appendShortString(b, QStringLiteral("Sheet1"));
    w.record(recBoundSheet, b.data);
  }
  TSstBuilder sst(w, strings.uses, quint32(strings.strings.size()));
  for (const QString &str : strings.strings)
    sst.add(str);
  sst.finish();
  w.record(recEof, QByteArray());

  qToLittleEndian(quint32(w.pos()), w.bytes.data() + sheetOffsetAt);
  w.record(recBof, bof(0x0010));
  {
    TBytes b;
    b.u16(0x0001);  // rows' heights differ from the font's
    b.u16(300);     // 15 pt: fits the 11 pt data font
    w.record(recDefaultRowHeight, b.data);
  }
  for (int c = 0; c < columns; ++c) {
    TBytes b;
    b.u16(quint16(c));
    b.u16(quint16(c));
    b.u16(quint16(qBound(1, s.columns[c].width, 255) * 256));
    b.u16(xfDefault);
    b.u16(0);
    b.u16(0);
    w.record(recColInfo, b.data);
  }
  const int rows = s.rows.size() + 1;
  {
    TBytes b;
    b.u32(0);
    b.u32(columns ? quint32(rows) : 0);
    b.u16(0);
    b.u16(quint16(columns));
    b.u16(0);
    w.record(recDimensions, b.data);
  }
  // Rows in blocks of 32: the block's ROW records, then its cells.
  for (int first = 0; columns && first < rows; first += 32) {
    const int last = qMin(rows, first + 32);
    for (int r = first; r < last; ++r) {
      TBytes b;
      b.u16(quint16(r));
      b.u16(0);
      b.u16(quint16(columns));
      b.u16(r == 0 ? 360 : 300);
      b.u16(0);
      b.u16(0);
      b.u32(0x000F0140);  // custom height, default XF
      w.record(recRow, b.data);
    }
    for (int r = first; r < last; ++r) {
      for (int c = 0; c < columns; ++c) {
        const qint64 id = r == 0 ? qint64(headerIds[c]) : cellIds[qsizetype(r - 1) * columns + c];
        TBytes b;
        b.u16(quint16(r));
        b.u16(quint16(c));
        b.u16(r == 0 ? xfHeader : xfData);
        if (id >= 0) {
          b.u32(quint32(id));
          w.record(recLabelSst, b.data);
        } else {
          w.record(recBlank, b.data);
        }
      }
    }
  }
  {
    TBytes b;
    b.u16(0x06B6);
    b.u16(0);
    b.u16(0);
    b.u16(colourAutoFore);
    b.u16(0);
    b.u16(0);
    b.u16(0);
    b.u16(0);
    b.u16(0);
    w.record(recWindow2, b.data);
  }
  w.record(recEof, QByteArray());
  return w.bytes;
}

// Property set with the code page and the document title.
QByteArray summaryInformation() {
  const QByteArray title = ExportStyle::title().toUtf8() + '\0';
  TBytes props;
  // Section: size, count, (id, offset) pairs, then the values.
  const quint32 headerSize = 8 + 2 * 8;
  const quint32 codepageAt = headerSize;
  const quint32 titleAt = codepageAt + 8;
  quint32 titleSize = 8 + quint32(title.size());
  titleSize = (titleSize + 3) & ~3u;
  props.u32(titleAt + titleSize);
  props.u32(2);
  props.u32(1);  // code page
  props.u32(codepageAt);
  props.u32(2);  // title
  props.u32(titleAt);
  props.u16(0x0002);  // VT_I2
  props.u16(0);
  props.u16(65001);   // UTF-8
  props.u16(0);
  props.u16(0x001E);  // VT_LPSTR
  props.u16(0);
  props.u32(quint32(title.size()));
  props.data += title;
  while (props.data.size() % 4)
    props.u8(0);

  TBytes b;
  b.u16(0xFFFE);
  b.u16(0);
  b.u32(0x00020006);
  b.zeros(16);
  b.u32(1);
  static const unsigned char fmtid[16] = {0xE0, 0x85, 0x9F, 0xF2, 0xF9, 0x4F, 0x68, 0x10,
                                          0xAB, 0x91, 0x08, 0x00, 0x2B, 0x27, 0xB3, 0xD9};
  b.data.append(reinterpret_cast<const char *>(fmtid), 16);
  b.u32(48);
  b.data += props.data;
  return b.data;
}

class TXlsWriter final : public TExportWriter {
public:
  void write(const TExportSnapshot &s, const QString &path) const override {
    TCompoundFileWriter document;
    document.addStream(QStringLiteral("Workbook"), workbookStream(s));
    document.addStream(QStringLiteral("\x05SummaryInformation"), summaryInformation());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
      throw LarkspanError(file.errorString());
    document.write(file);
    if (!file.flush())
      throw LarkspanError(file.errorString());
    file.close();
    if (file.error() != QFileDevice::NoError)
      throw LarkspanError(file.errorString());
  }
};

}  // namespace

std::unique_ptr<TExportWriter> makeXlsExportWriter() { return std::make_unique<TXlsWriter>(); }
