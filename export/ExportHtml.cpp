// One HTML document holding the table; the header style lives in the CSS.

#include "ExportIo.h"
#include "ExportWriter.h"

namespace {

// Every text goes through here: markup characters become entities, and
// characters HTML cannot carry become U+FFFD.
void appendEscaped(QByteArray &out, const QString &text) {
  QString escaped;
  escaped.reserve(text.size() + 8);
  for (qsizetype i = 0; i < text.size(); ++i) {
    const QChar c = text[i];
    switch (c.unicode()) {
    case '&': escaped += QLatin1String("&amp;"); break;
    case '<': escaped += QLatin1String("&lt;"); break;
    case '>': escaped += QLatin1String("&gt;"); break;
    case '"': escaped += QLatin1String("&quot;"); break;
    case '\'': escaped += QLatin1String("&#39;"); break;
    default:
      if ((c.unicode() < 0x20 && c != QLatin1Char('\t') && c != QLatin1Char('\n') &&
           c != QLatin1Char('\r')) ||
          c.unicode() == 0x7F)
        escaped += QChar(0xFFFD);
      else
        escaped += c;
    }
  }
  out += escaped.toUtf8();  // a lone surrogate becomes U+FFFD here
}

class THtmlWriter final : public TExportWriter {
public:
  void write(const TExportSnapshot &s, const QString &path) const override {
    TExportOutput out(path);
    QByteArray &b = out.buffer();
    const QByteArray headerColour = QByteArray("rgb(") + QByteArray::number(ExportStyle::headerRed) +
                                    ", " + QByteArray::number(ExportStyle::headerGreen) + ", " +
                                    QByteArray::number(ExportStyle::headerBlue) + ")";
    b += "<!DOCTYPE html>\n<html>\n<head>\n<meta charset=\"utf-8\">\n<title>";
    appendEscaped(b, ExportStyle::title());
    b += "</title>\n<meta name=\"generator\" content=\"";
    appendEscaped(b, ExportStyle::title());
    b += "\">\n<style>\n"
         "table { border-collapse: collapse; }\n"
         "th, td { border: 1px solid #000000; text-align: center; vertical-align: middle;"
         " padding: 1px 4px; white-space: pre-wrap; }\n"
         "th { background-color: " + headerColour + "; font-family: ";
    b += ExportStyle::headerFontFamily();
    b += ", sans-serif; font-weight: bold; font-size: " +
         QByteArray::number(ExportStyle::headerFontSize) +
         "pt; }\n"
         "td { font-size: " + QByteArray::number(ExportStyle::dataFontSize) + "pt; }\n"
         "</style>\n</head>\n<body>\n<table>\n<colgroup>";
    for (const TExportColumn &col : s.columns)
      b += "<col style=\"width: " + QByteArray::number(qMax(1, col.width)) + "ch\">";
    b += "</colgroup>\n<thead>\n<tr>";
    for (const TExportColumn &col : s.columns) {
      b += "<th>";
      appendEscaped(b, col.header);
      b += "</th>";
    }
    b += "</tr>\n</thead>\n<tbody>\n";
    for (const TExportRow &row : s.rows) {
      b += "<tr>";
      for (int c = 0; c < s.columns.size(); ++c) {
        b += "<td>";
        if (c < row.size() && row[c])
          appendEscaped(b, *row[c]);
        b += "</td>";
      }
      b += "</tr>\n";
      out.flushIfFull();
    }
    b += "</tbody>\n</table>\n</body>\n</html>\n";
    out.finish();
  }
};

}  // namespace

std::unique_ptr<TExportWriter> makeHtmlExportWriter() { return std::make_unique<THtmlWriter>(); }
