// OpenDocument spreadsheet, zipped with libzip: "mimetype" first and
// stored, then the manifest, styles, meta data and content.

#include "ExportWriter.h"
#include "LarkspanError.h"

#include <QFile>

#include <list>
#include <zip.h>

namespace {

const char *const mimeType = "application/vnd.oasis.opendocument.spreadsheet";
const char *const headerStyle = "ExportHeader";
const char *const dataStyle = "ExportData";

const char *const namespaces =
    " xmlns:office=\"urn:oasis:names:tc:opendocument:xmlns:office:1.0\""
    " xmlns:style=\"urn:oasis:names:tc:opendocument:xmlns:style:1.0\""
    " xmlns:text=\"urn:oasis:names:tc:opendocument:xmlns:text:1.0\""
    " xmlns:table=\"urn:oasis:names:tc:opendocument:xmlns:table:1.0\""
    " xmlns:fo=\"urn:oasis:names:tc:opendocument:xmlns:xsl-fo-compatible:1.0\""
    " xmlns:svg=\"urn:oasis:names:tc:opendocument:xmlns:svg-compatible:1.0\""
    " xmlns:meta=\"urn:oasis:names:tc:opendocument:xmlns:meta:1.0\""
    " xmlns:dc=\"http://purl.org/dc/elements/1.1/\""
    " office:version=\"1.2\"";

bool validXmlChar(char32_t u) {
  return u == 0x9 || u == 0xA || u == 0xD || (u >= 0x20 && u <= 0xD7FF) ||
         (u >= 0xE000 && u <= 0xFFFD) || (u >= 0x10000 && u <= 0x10FFFF);
}

void appendXmlChar(QString &out, char32_t u) {
  switch (u) {
  case '&': out += QLatin1String("&amp;"); break;
  case '<': out += QLatin1String("&lt;"); break;
  case '>': out += QLatin1String("&gt;"); break;
  case '"': out += QLatin1String("&quot;"); break;
  default:
    if (!validXmlChar(u))
      u = 0xFFFD;
    out += QString::fromUcs4(&u, 1);
  }
}

void appendEscaped(QByteArray &out, const QString &text) {
  QString escaped;
  for (const char32_t u : text.toUcs4())
    appendXmlChar(escaped, u);
  out += escaped.toUtf8();
}

// Paragraph text keeps its white space only through elements: a tab is
// <text:tab/>, a line break <text:line-break/>, and runs of blanks (and any
// blank at an edge) <text:s/>.
void appendParagraphText(QString &out, const QString &text) {
  const QList<uint> chars = text.toUcs4();
  const qsizetype n = chars.size();
  bool atEdge = true;  // start of the paragraph, or after a tab or break
  for (qsizetype i = 0; i < n;) {
    const char32_t u = chars[i];
    if (u == ' ') {
      qsizetype run = 0;
      while (i + run < n && chars[i + run] == ' ')
        ++run;
      const bool toEnd = i + run == n || chars[i + run] == '\t' || chars[i + run] == '\n' ||
                         chars[i + run] == '\r';
      qsizetype asElement = run;
      if (!atEdge && !toEnd) {
        out += QLatin1Char(' ');
        asElement = run - 1;
      }
      if (asElement == 1)
        out += QLatin1String("<text:s/>");
      else if (asElement > 1)
        out += QStringLiteral("<text:s text:c=\"%1\"/>").arg(asElement);
      i += run;
      atEdge = false;
      continue;
    }
    if (u == '\t') {
      out += QLatin1String("<text:tab/>");
      atEdge = true;
    } else if (u == '\n' || u == '\r') {
      if (u == '\r' && i + 1 < n && chars[i + 1] == '\n')
        ++i;
      out += QLatin1String("<text:line-break/>");
      atEdge = true;
    } else {
      appendXmlChar(out, u);
      atEdge = false;
    }
    ++i;
  }
}

void appendCell(QByteArray &out, const char *style, const TExportValue &value) {
  out += "<table:table-cell table:style-name=\"";
  out += style;
  if (!value || value->isEmpty()) {
    out += "\"/>";
    return;
  }
  out += "\" office:value-type=\"string\"><text:p>";
  QString text;
  appendParagraphText(text, *value);
  out += text.toUtf8();
  out += "</text:p></table:table-cell>";
}

QByteArray manifestXml() {
  QByteArray x =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<manifest:manifest xmlns:manifest=\"urn:oasis:names:tc:opendocument:xmlns:manifest:1.0\""
      " manifest:version=\"1.2\">\n"
      " <manifest:file-entry manifest:full-path=\"/\" manifest:version=\"1.2\" manifest:media-type=\"";
  x += mimeType;
  x += "\"/>\n";
  for (const char *part : {"content.xml", "styles.xml", "meta.xml"}) {
    x += " <manifest:file-entry manifest:full-path=\"";
    x += part;
    x += "\" manifest:media-type=\"text/xml\"/>\n";
  }
  x += "</manifest:manifest>\n";
  return x;
}

QByteArray metaXml() {
  QByteArray x = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<office:document-meta";
  x += namespaces;
  x += "><office:meta><meta:generator>Larkspan</meta:generator><dc:title>";
  appendEscaped(x, ExportStyle::title());
  x += "</dc:title></office:meta></office:document-meta>\n";
  return x;
}

QByteArray stylesXml() {
  const QByteArray family = ExportStyle::headerFontFamily();
  char colour[8];
  qsnprintf(colour, sizeof colour, "#%06x", ExportStyle::headerRgb);
  const QByteArray lines = "0.75pt solid #000000";
  QByteArray x = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<office:document-styles";
  x += namespaces;
  x += ">\n<office:font-face-decls><style:font-face style:name=\"" + family +
       "\" svg:font-family=\"" + family +
       "\" style:font-family-generic=\"swiss\"/></office:font-face-decls>\n<office:styles>\n";
  x += "<style:style style:name=\"" + QByteArray(headerStyle) +
       "\" style:family=\"table-cell\">"
       "<style:table-cell-properties fo:background-color=\"" + QByteArray(colour) +
       "\" fo:border=\"" + lines +
       "\" style:text-align-source=\"fix\" style:vertical-align=\"middle\"/>"
       "<style:paragraph-properties fo:text-align=\"center\"/>"
       "<style:text-properties style:font-name=\"" + family + "\" fo:font-family=\"" + family +
       "\" fo:font-size=\"" + QByteArray::number(ExportStyle::headerFontSize) +
       "pt\" fo:font-weight=\"bold\"/></style:style>\n";
  x += "<style:style style:name=\"" + QByteArray(dataStyle) +
       "\" style:family=\"table-cell\">"
       "<style:table-cell-properties fo:border=\"" + lines +
       "\" style:text-align-source=\"fix\" style:vertical-align=\"middle\"/>"
       "<style:paragraph-properties fo:text-align=\"center\"/>"
       "<style:text-properties fo:font-size=\"" + QByteArray::number(ExportStyle::dataFontSize) +
       "pt\"/></style:style>\n";
  // A page style of our own: without one, office suites print their default
  // header and footer on every page.
  x += "</office:styles>\n<office:automatic-styles><style:page-layout style:name=\"pm1\">"
       "<style:page-layout-properties/></style:page-layout></office:automatic-styles>\n"
       "<office:master-styles><style:master-page style:name=\"Default\" style:page-layout-name=\"pm1\"/>"
       "</office:master-styles>\n</office:document-styles>\n";
  return x;
}

// A character of the default font is about 1.9 mm wide.
QByteArray columnWidth(int chars) {
  return QByteArray::number(qMax(1, chars) * 1.9, 'f', 1) + "mm";
}

QByteArray contentXml(const TExportSnapshot &s) {
  const int columns = s.columns.size();
  // Reserved up front: growing a buffer of tens of megabytes step by step
  // holds the old and the new copy at once.
  qsizetype estimate = 4096 + qsizetype(columns) * 200;
  for (const TExportRow &row : s.rows) {
    estimate += 64 + qsizetype(columns) * 128;
    for (const TExportValue &v : row)
      if (v)
        estimate += v->size() + v->size() / 4;
  }
  QByteArray x;
  x.reserve(estimate);
  x += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<office:document-content";
  x += namespaces;
  x += ">\n<office:automatic-styles>\n";
  for (int c = 0; c < columns; ++c)
    x += "<style:style style:name=\"co" + QByteArray::number(c) +
         "\" style:family=\"table-column\"><style:table-column-properties style:column-width=\"" +
         columnWidth(s.columns[c].width) + "\"/></style:style>\n";
  x += "<style:style style:name=\"ro1\" style:family=\"table-row\">"
       "<style:table-row-properties style:use-optimal-row-height=\"true\"/></style:style>\n"
       "</office:automatic-styles>\n<office:body>\n<office:spreadsheet>\n"
       "<table:table table:name=\"Sheet1\">\n";
  for (int c = 0; c < columns; ++c)
    x += "<table:table-column table:style-name=\"co" + QByteArray::number(c) + "\"/>\n";
  if (columns == 0)
    x += "<table:table-column/>\n";
  x += "<table:table-row table:style-name=\"ro1\">";
  for (const TExportColumn &col : s.columns)
    appendCell(x, headerStyle, col.header);
  if (columns == 0)
    x += "<table:table-cell/>";
  x += "</table:table-row>\n";
  for (const TExportRow &row : s.rows) {
    x += "<table:table-row table:style-name=\"ro1\">";
    for (int c = 0; c < columns; ++c)
      appendCell(x, dataStyle, c < row.size() ? row[c] : TExportValue());
    if (columns == 0)
      x += "<table:table-cell/>";
    x += "</table:table-row>\n";
  }
  x += "</table:table>\n</office:spreadsheet>\n</office:body>\n</office:document-content>\n";
  return x;
}

class TZip {
public:
  explicit TZip(const QString &path) {
    int code = 0;
    m_zip = zip_open(QFile::encodeName(path).constData(), ZIP_CREATE | ZIP_TRUNCATE, &code);
    if (!m_zip) {
      zip_error_t error;
      zip_error_init_with_code(&error, code);
      const QString cause = QString::fromLocal8Bit(zip_error_strerror(&error));
      zip_error_fini(&error);
      throw LarkspanError(cause);
    }
  }
  ~TZip() {
    if (m_zip)
      zip_discard(m_zip);
  }
  TZip(const TZip &) = delete;
  TZip &operator=(const TZip &) = delete;

  // libzip reads the bytes only on close, so the archive keeps them.
  void add(const char *name, QByteArray bytes, bool store) {
    m_parts.push_back(std::move(bytes));
    const QByteArray &data = m_parts.back();
    zip_source_t *source = zip_source_buffer(m_zip, data.constData(), zip_uint64_t(data.size()), 0);
    if (!source)
      fail();
    const zip_int64_t index = zip_file_add(m_zip, name, source, ZIP_FL_ENC_UTF_8 | ZIP_FL_OVERWRITE);
    if (index < 0) {
      zip_source_free(source);
      fail();
    }
    if (zip_set_file_compression(m_zip, zip_uint64_t(index), store ? ZIP_CM_STORE : ZIP_CM_DEFLATE,
                                 store ? 0 : 6) != 0)
      fail();
  }

  void close() {
    if (zip_close(m_zip) != 0)
      fail();
    m_zip = nullptr;
  }

private:
  [[noreturn]] void fail() { throw LarkspanError(QString::fromLocal8Bit(zip_strerror(m_zip))); }
  zip_t *m_zip = nullptr;
  std::list<QByteArray> m_parts;
};

class TOdsWriter final : public TExportWriter {
public:
  void write(const TExportSnapshot &s, const QString &path) const override {
    TZip zip(path);
    zip.add("mimetype", QByteArray(mimeType), true);
    zip.add("META-INF/manifest.xml", manifestXml(), false);
    zip.add("styles.xml", stylesXml(), false);
    zip.add("meta.xml", metaXml(), false);
    zip.add("content.xml", contentXml(s), false);
    zip.close();
  }
};

}  // namespace

std::unique_ptr<TExportWriter> makeOdsExportWriter() { return std::make_unique<TOdsWriter>(); }
