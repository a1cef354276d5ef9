#pragma once
// A table snapshot and the writers that turn it into one file format each.
//
// Writers see plain data only (header texts, widths, rows of nullable texts),
// never the data set or a window, so each format is tested on its own.

#include <QString>
#include <QVector>
#include <memory>
#include <optional>

struct TExportColumn {
  QString header;   // the field's display label
  int width = 0;    // in characters, already capped
};

using TExportValue = std::optional<QString>;  // nullopt: the table holds no value
using TExportRow = QVector<TExportValue>;

// What one export writes: the columns in field order and the rows in the
// order the table shows them, already filtered.
struct TExportSnapshot {
  QVector<TExportColumn> columns;
  QVector<TExportRow> rows;
};

// The look every format carries as far as it can.
namespace ExportStyle {
constexpr int maxColumnWidth = 30;
constexpr int headerRed = 192, headerGreen = 220, headerBlue = 192;
constexpr unsigned headerRgb = (headerRed << 16) | (headerGreen << 8) | headerBlue;
constexpr int headerFontSize = 13;  // bold, centred
constexpr int dataFontSize = 11;    // centred
inline const char *headerFontFamily() { return "Arial"; }
// Recorded where a format keeps a document title or generator.
inline QString title() { return QStringLiteral("Export en cours"); }
}  // namespace ExportStyle

enum class TExportFormat { Xlsx, Xls, Ods, Csv, Html, Json, Pdf, Clipboard, TabText };

// The format for a file name's extension, compared in any letter case;
// any other extension, or none, gives tab-separated text.
TExportFormat exportFormatFor(const QString &fileName);

class TExportWriter {
public:
  virtual ~TExportWriter() = default;
  // False for the clipboard writer: nothing goes to disk.
  virtual bool writesFile() const { return true; }
  // Writes the snapshot to the file at `path`, creating or truncating it.
  // Throws LarkspanError whose message is the cause (the caller names the
  // file).
  virtual void write(const TExportSnapshot &snapshot, const QString &path) const = 0;
};

std::unique_ptr<TExportWriter> exportWriterFor(TExportFormat format);

// One factory per format (exportWriterFor picks among them).
std::unique_ptr<TExportWriter> makeXlsxExportWriter();
std::unique_ptr<TExportWriter> makeXlsExportWriter();
std::unique_ptr<TExportWriter> makeOdsExportWriter();
std::unique_ptr<TExportWriter> makeCsvExportWriter();
std::unique_ptr<TExportWriter> makeTabTextExportWriter();
std::unique_ptr<TExportWriter> makeClipboardExportWriter();
std::unique_ptr<TExportWriter> makeHtmlExportWriter();
std::unique_ptr<TExportWriter> makeJsonExportWriter();
std::unique_ptr<TExportWriter> makePdfExportWriter();
