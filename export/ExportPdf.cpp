// PDF through Qt's PDF writer: a ruled table whose header row starts every
// page; landscape when the columns do not fit the width of a portrait page.
// Long values wrap inside their cell, so nothing is cut off.

#include "ExportIo.h"
#include "ExportWriter.h"
#include "LarkspanError.h"

#include <QFontMetricsF>
#include <QGuiApplication>
#include <QPainter>
#include <QPdfWriter>
#include <QTextOption>

namespace {

constexpr int resolution = 300;        // device units per inch
constexpr qreal marginMm = 10;
constexpr qreal paddingPt = 3;         // inside each cell, on every side
constexpr qreal linePt = 0.5;

qreal pt(qreal points) { return points * resolution / 72.0; }

// Tabs would jump to tab stops inside a centred cell; show them as blanks.
QString cellText(const TExportValue &value) {
  if (!value)
    return QString();
  QString text = *value;
  text.replace(QLatin1Char('\t'), QLatin1Char(' '));
  text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
  text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
  return text;
}

// Column widths in device units: the declared widths in characters of the
// data font when they fit, otherwise the page width shared in proportion.
// A column never gets narrower than its header text (or, when the headers
// alone overflow the page, than the header's longest word).
QVector<qreal> columnWidths(const TExportSnapshot &s, const QFontMetricsF &data,
                            const QFontMetricsF &header, qreal pageWidth) {
  const int n = s.columns.size();
  const qreal charWidth = data.averageCharWidth();
  const qreal padding = 2 * pt(paddingPt);
  const qreal digits = data.horizontalAdvance(QStringLiteral("000"));
  QVector<qreal> wanted(n), least(n), wholeHeader(n);
  qreal headersTotal = 0;
  for (int c = 0; c < n; ++c) {
    qreal word = 0;
    for (const QString &w : s.columns[c].header.split(QLatin1Char(' '), Qt::SkipEmptyParts))
      word = qMax(word, header.horizontalAdvance(w));
    least[c] = qMax(word, digits) + padding;
    wholeHeader[c] = qMax(header.horizontalAdvance(s.columns[c].header), digits) + padding;
    headersTotal += wholeHeader[c];
  }
  if (headersTotal <= pageWidth)
    least = wholeHeader;
  qreal total = 0;
  for (int c = 0; c < n; ++c) {
    wanted[c] = qMax(qMax(1, s.columns[c].width) * charWidth + padding, least[c]);
    total += wanted[c];
  }
  if (total <= pageWidth)
    return wanted;
  // Shrink the wide columns in proportion; columns that reach their least
  // width stay there and the rest share what remains.
  QVector<qreal> widths(n);
  QVector<bool> fixed(n, false);
  for (;;) {
    qreal fixedWidth = 0, freeWanted = 0;
    for (int c = 0; c < n; ++c) {
      if (fixed[c])
        fixedWidth += least[c];
      else
        freeWanted += wanted[c];
    }
    const qreal scale = freeWanted > 0 ? qMax<qreal>(0, pageWidth - fixedWidth) / freeWanted : 0;
    bool changed = false;
    for (int c = 0; c < n; ++c) {
      if (fixed[c]) {
        widths[c] = least[c];
      } else {
        widths[c] = wanted[c] * scale;
        if (widths[c] < least[c]) {
          fixed[c] = true;
          changed = true;
        }
      }
    }
    if (!changed)
      break;
  }
  return widths;
}

bool needsLandscape(const QVector<qreal> &wanted, qreal portraitWidth) {
  qreal total = 0;
  for (qreal w : wanted)
    total += w;
  return total > portraitWidth;
}

class TPdfTable {
public:
  TPdfTable(QPdfWriter &writer, QPainter &painter, const TExportSnapshot &s,
            const QVector<qreal> &widths, const QFont &headerFont, const QFont &dataFont)
      : m_writer(writer), m_painter(painter), m_s(s), m_widths(widths), m_headerFont(headerFont),
        m_dataFont(dataFont) {
    m_option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    m_option.setAlignment(Qt::AlignCenter);
    const QRect page = painter.viewport();
    m_bottom = page.height();
    for (int c = 0; c < s.columns.size(); ++c)
      m_headers.append(s.columns[c].header);
    m_headerHeight = rowHeight(m_headers, m_headerFont);
  }

  void run() {
    drawRow(m_headers, m_headerFont, m_headerHeight, true);
    QStringList texts;
    for (const TExportRow &row : m_s.rows) {
      texts.clear();
      for (int c = 0; c < m_s.columns.size(); ++c)
        texts.append(cellText(c < row.size() ? row[c] : TExportValue()));
      // A row taller than a page is cut at the page's foot.
      const qreal height = qMin(rowHeight(texts, m_dataFont), m_bottom - m_headerHeight);
      if (m_y + height > m_bottom) {
        if (!m_writer.newPage())
          throw LarkspanError(QStringLiteral("cannot start a new PDF page"));
        m_y = 0;
        drawRow(m_headers, m_headerFont, m_headerHeight, true);
      }
      drawRow(texts, m_dataFont, height, false);
    }
  }

private:
  qreal rowHeight(const QStringList &texts, const QFont &font) {
    const QFontMetricsF metrics(font, &m_writer);
    qreal height = metrics.height();
    for (int c = 0; c < texts.size(); ++c) {
      const qreal inner = m_widths[c] - 2 * pt(paddingPt);
      const QString &t = texts[c];
      if (t.isEmpty() || (!t.contains(QLatin1Char('\n')) && metrics.horizontalAdvance(t) <= inner))
        continue;  // one line: the common case, measured cheaply
      m_painter.setFont(font);
      const QRectF bound = m_painter.boundingRect(QRectF(0, 0, inner, 1e9), t, m_option);
      height = qMax(height, bound.height());
    }
    return height + 2 * pt(paddingPt);
  }

  void drawRow(const QStringList &texts, const QFont &font, qreal height, bool header) {
    m_painter.setFont(font);
    qreal x = 0;
    for (int c = 0; c < texts.size(); ++c) {
      const QRectF cell(x, m_y, m_widths[c], height);
      if (header)
        m_painter.fillRect(cell, QColor(ExportStyle::headerRed, ExportStyle::headerGreen,
                                        ExportStyle::headerBlue));
      m_painter.drawRect(cell);
      if (!texts[c].isEmpty())
        m_painter.drawText(cell.adjusted(pt(paddingPt), pt(paddingPt), -pt(paddingPt), -pt(paddingPt)),
                           texts[c], m_option);
      x += m_widths[c];
    }
    m_y += height;
  }

  QPdfWriter &m_writer;
  QPainter &m_painter;
  const TExportSnapshot &m_s;
  const QVector<qreal> &m_widths;
  QFont m_headerFont, m_dataFont;
  QTextOption m_option;
  QStringList m_headers;
  qreal m_headerHeight = 0;
  qreal m_y = 0;
  qreal m_bottom = 0;
};

class TPdfExportWriter final : public TExportWriter {
public:
  void write(const TExportSnapshot &s, const QString &path) const override {
    if (!qobject_cast<QGuiApplication *>(QCoreApplication::instance()))
      throw LarkspanError(QStringLiteral("PDF export needs the window system's fonts"));
    TExportOutput out(path);
    {
      QPdfWriter writer(&out.device());
      writer.setTitle(ExportStyle::title());
      writer.setCreator(QStringLiteral("Larkspan"));
      writer.setResolution(resolution);

      QFont headerFont(QString::fromLatin1(ExportStyle::headerFontFamily()));
      headerFont.setPointSize(ExportStyle::headerFontSize);
      headerFont.setBold(true);
      QFont dataFont(QString::fromLatin1(ExportStyle::headerFontFamily()));
      dataFont.setPointSize(ExportStyle::dataFontSize);

      const QMarginsF margins(marginMm, marginMm, marginMm, marginMm);
      QPageLayout layout(QPageSize(QPageSize::A4), QPageLayout::Portrait, margins,
                         QPageLayout::Millimeter);
      const qreal portraitWidth = layout.paintRectPixels(resolution).width();
      const qreal landscapeWidth =
          QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Landscape, margins,
                      QPageLayout::Millimeter)
              .paintRectPixels(resolution)
              .width();
      // Fonts are measured for the writer's resolution.
      const QFontMetricsF dataMetrics(dataFont, &writer);
      const QFontMetricsF headerMetrics(headerFont, &writer);
      QVector<qreal> widths = columnWidths(s, dataMetrics, headerMetrics, 1e12);
      if (needsLandscape(widths, portraitWidth)) {
        layout.setOrientation(QPageLayout::Landscape);
        widths = columnWidths(s, dataMetrics, headerMetrics, landscapeWidth);
      }
      if (!writer.setPageLayout(layout))
        throw LarkspanError(QStringLiteral("cannot set the PDF page layout"));

      QPainter painter;
      if (!painter.begin(&writer))
        throw LarkspanError(QStringLiteral("cannot start the PDF document"));
      QPen pen(Qt::black);
      pen.setWidthF(pt(linePt));
      painter.setPen(pen);
      TPdfTable(writer, painter, s, widths, headerFont, dataFont).run();
      if (!painter.end())
        throw LarkspanError(QStringLiteral("cannot finish the PDF document"));
    }
    out.finish();
  }
};

}  // namespace

std::unique_ptr<TExportWriter> makePdfExportWriter() { return std::make_unique<TPdfExportWriter>(); }
