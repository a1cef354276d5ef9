// Delimited text: ".csv" (comma, double-quote qualifier), the tab-separated
// fallback, and the same tab-separated text on the clipboard. Files are
// UTF-16 little-endian with a byte-order mark, lines end with CR LF.

#include "ExportIo.h"
#include "ExportWriter.h"
#include "LarkspanError.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QStringEncoder>

namespace {

const QLatin1String lineEnd("\r\n");

void appendQuoted(QString &out, const QString &value) {
  out += QLatin1Char('"');
  for (const QChar c : value) {
    if (c == QLatin1Char('"'))
      out += QLatin1Char('"');
    out += c;
  }
  out += QLatin1Char('"');
}

// CSV: every value that is there is quoted, so separators, quotes, line
// breaks and leading zeros all survive; a null is an empty field.
void appendCsvField(QString &out, const TExportValue &value) {
  if (value)
    appendQuoted(out, *value);
}

// Tab text has no qualifier. A value that holds a tab or a line break would
// shift every later column, so such a value (or one that starts with a
// quote) is quoted the way spreadsheets read pasted text; all others go
// out verbatim.
void appendTabField(QString &out, const TExportValue &value) {
  if (!value)
    return;
  const QString &v = *value;
  const bool needsQuotes = v.startsWith(QLatin1Char('"')) || v.contains(QLatin1Char('\t')) ||
                           v.contains(QLatin1Char('\n')) || v.contains(QLatin1Char('\r'));
  if (needsQuotes)
    appendQuoted(out, v);
  else
    out += v;
}

using FieldAppender = void (*)(QString &, const TExportValue &);

void appendHeaderLine(QString &out, const TExportSnapshot &s, QChar sep, FieldAppender field) {
  for (int c = 0; c < s.columns.size(); ++c) {
    if (c)
      out += sep;
    field(out, s.columns[c].header);
  }
  out += lineEnd;
}

void appendRowLine(QString &out, const TExportRow &row, int columns, QChar sep,
                   FieldAppender field) {
  for (int c = 0; c < columns; ++c) {
    if (c)
      out += sep;
    field(out, c < row.size() ? row[c] : TExportValue());
  }
  out += lineEnd;
}

void writeDelimitedFile(const TExportSnapshot &s, const QString &path, QChar sep,
                        FieldAppender field) {
  TExportOutput out(path);
  QStringEncoder encoder(QStringConverter::Utf16LE);
  out.buffer().append("\xFF\xFE", 2);
  QString line;
  auto flushLine = [&] {
    out.buffer() += encoder.encode(line);
    line.clear();
    out.flushIfFull();
  };
  appendHeaderLine(line, s, sep, field);
  flushLine();
  for (const TExportRow &row : s.rows) {
    appendRowLine(line, row, s.columns.size(), sep, field);
    flushLine();
  }
  out.finish();
}

class TCsvWriter final : public TExportWriter {
public:
  void write(const TExportSnapshot &s, const QString &path) const override {
    writeDelimitedFile(s, path, QLatin1Char(','), appendCsvField);
  }
};

class TTabTextWriter final : public TExportWriter {
public:
  void write(const TExportSnapshot &s, const QString &path) const override {
    writeDelimitedFile(s, path, QLatin1Char('\t'), appendTabField);
  }
};

class TClipboardWriter final : public TExportWriter {
public:
  bool writesFile() const override { return false; }
  void write(const TExportSnapshot &s, const QString &) const override {
    if (!qobject_cast<QGuiApplication *>(QCoreApplication::instance()))
      throw LarkspanError(QStringLiteral("no clipboard without a window system"));
    QClipboard *clipboard = QGuiApplication::clipboard();
    if (!clipboard)
      throw LarkspanError(QStringLiteral("no clipboard available"));
    QString text;
    appendHeaderLine(text, s, QLatin1Char('\t'), appendTabField);
    for (const TExportRow &row : s.rows)
      appendRowLine(text, row, s.columns.size(), QLatin1Char('\t'), appendTabField);
    clipboard->setText(text);
  }
};

}  // namespace

std::unique_ptr<TExportWriter> makeCsvExportWriter() { return std::make_unique<TCsvWriter>(); }
std::unique_ptr<TExportWriter> makeTabTextExportWriter() {
  return std::make_unique<TTabTextWriter>();
}
std::unique_ptr<TExportWriter> makeClipboardExportWriter() {
  return std::make_unique<TClipboardWriter>();
}
