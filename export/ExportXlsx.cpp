// Excel 2007 workbook through libxlsxwriter.

#include "ExportWriter.h"
#include "LarkspanError.h"

#include <QFile>
#include <QStringEncoder>

#include <xlsxwriter.h>

namespace {

// Closes the workbook on every path; libxlsxwriter frees it on close.
class TWorkbook {
public:
  explicit TWorkbook(const QString &path) {
    lxw_workbook_options options = {};
    // Rows go to disk as they are written, so memory stays flat for long lists.
    options.constant_memory = LXW_TRUE;
    m_book = workbook_new_opt(QFile::encodeName(path).constData(), &options);
    if (!m_book)
      throw LarkspanError(QStringLiteral("cannot create the workbook"));
  }
  ~TWorkbook() {
    if (m_book)
      workbook_close(m_book);
  }
  TWorkbook(const TWorkbook &) = delete;
  TWorkbook &operator=(const TWorkbook &) = delete;

  lxw_workbook *get() const { return m_book; }
  void close() {
    lxw_error error = workbook_close(m_book);
    m_book = nullptr;
    if (error != LXW_NO_ERROR)
      throw LarkspanError(QString::fromUtf8(lxw_strerror(error)));
  }

private:
  lxw_workbook *m_book = nullptr;
};

void check(lxw_error error) {
  if (error != LXW_NO_ERROR)
    throw LarkspanError(QString::fromUtf8(lxw_strerror(error)));
}

// UTF-8 for libxlsxwriter in one reused buffer: a conversion per cell
// without an allocation per cell.
class TUtf8Buffer {
public:
  const char *operator()(const QString &text) {
    const qsizetype need = m_encoder.requiredSpace(text.size()) + 1;
    if (m_buffer.size() < need)
      m_buffer.resize(need);
    char *end = m_encoder.appendToBuffer(m_buffer.data(), text);
    *end = '\0';
    return m_buffer.constData();
  }

private:
  QStringEncoder m_encoder{QStringConverter::Utf8, QStringConverter::Flag::Stateless};
  QByteArray m_buffer;
};

class TXlsxWriter final : public TExportWriter {
public:
  void write(const TExportSnapshot &s, const QString &path) const override {
    if (s.rows.size() >= LXW_ROW_MAX)
      throw LarkspanError(QStringLiteral("%1 rows do not fit an .xlsx sheet").arg(s.rows.size()));
    if (s.columns.size() > LXW_COL_MAX)
      throw LarkspanError(QStringLiteral("%1 columns do not fit an .xlsx sheet").arg(s.columns.size()));

    TWorkbook book(path);
    QByteArray title = ExportStyle::title().toUtf8();
    lxw_doc_properties properties = {};
    properties.title = title.data();
    check(workbook_set_properties(book.get(), &properties));

    lxw_worksheet *sheet = workbook_add_worksheet(book.get(), nullptr);
    if (!sheet)
      throw LarkspanError(QStringLiteral("cannot add a worksheet"));

    lxw_format *header = workbook_add_format(book.get());
    format_set_font_name(header, ExportStyle::headerFontFamily());
    format_set_font_size(header, ExportStyle::headerFontSize);
    format_set_bold(header);
    format_set_bg_color(header, ExportStyle::headerRgb);
    format_set_pattern(header, LXW_PATTERN_SOLID);
    format_set_align(header, LXW_ALIGN_CENTER);
    format_set_align(header, LXW_ALIGN_VERTICAL_CENTER);
    format_set_border(header, LXW_BORDER_THIN);

    lxw_format *data = workbook_add_format(book.get());
    format_set_font_size(data, ExportStyle::dataFontSize);
    format_set_align(data, LXW_ALIGN_CENTER);
    format_set_align(data, LXW_ALIGN_VERTICAL_CENTER);
    format_set_border(data, LXW_BORDER_THIN);

    const int columns = s.columns.size();
    for (int c = 0; c < columns; ++c)
      check(worksheet_set_column(sheet, c, c, qMax(1, s.columns[c].width), nullptr));
    // The 13 pt header needs a taller row than the default 15 pt.
    check(worksheet_set_row(sheet, 0, 18, nullptr));

    TUtf8Buffer utf8;
    for (int c = 0; c < columns; ++c)
      check(worksheet_write_string(sheet, 0, c, utf8(s.columns[c].header), header));
    lxw_row_t r = 1;
    for (const TExportRow &row : s.rows) {
      for (int c = 0; c < columns; ++c) {
        if (c < row.size() && row[c] && !row[c]->isEmpty()) {
          check(worksheet_write_string(sheet, r, c, utf8(*row[c]), data));
        } else {
          // Blank but styled, so the cell keeps its lines.
          check(worksheet_write_blank(sheet, r, c, data));
        }
      }
      ++r;
    }
    book.close();
  }
};

}  // namespace

std::unique_ptr<TExportWriter> makeXlsxExportWriter() { return std::make_unique<TXlsxWriter>(); }
