#include "TXLSExport.h"

#include "ExportFile.h"
#include "MemTable.h"

#include <QCursor>
#include <QGuiApplication>

namespace {

// The wait cursor while the export runs, when there is a window system.
class TWaitCursor {
public:
  TWaitCursor() : m_on(qobject_cast<QGuiApplication *>(QCoreApplication::instance()) != nullptr) {
    if (m_on)
      QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
  }
  ~TWaitCursor() {
    if (m_on)
      QGuiApplication::restoreOverrideCursor();
  }
  TWaitCursor(const TWaitCursor &) = delete;
  TWaitCursor &operator=(const TWaitCursor &) = delete;

private:
  bool m_on;
};

}  // namespace

TExportSnapshot exportSnapshotOf(const TMemTable &dataset) {
  TExportSnapshot s;
  const int fields = dataset.fieldCount();
  s.columns.reserve(fields);
  for (int f = 0; f < fields; ++f) {
    const TMemField &field = dataset.field(f);
    TExportColumn column;
    column.header = field.displayLabel.isEmpty() ? field.name : field.displayLabel;
    column.width = qMin(field.size, ExportStyle::maxColumnWidth);
    s.columns.append(column);
  }
  const QVector<int> &visible = dataset.visibleRows();
  s.rows.reserve(visible.size());
  for (const int r : visible) {
    TExportRow row;
    row.reserve(fields);
    for (int f = 0; f < fields; ++f)
      row.append(dataset.valueOrNull(r, f));
    s.rows.append(std::move(row));
  }
  return s;
}

QString ExportDataSet(const TMemTable &dataset, const QString &fileName) {
  const TWaitCursor wait;
  return exportSnapshot(exportSnapshotOf(dataset), fileName);
}

QString exportSaveDialogFilter() {
  return QStringLiteral("Excel 2007 file(*.xlsx)|*.xlsx|OpenOffice Calc(*.ods)|*.ods|"
                        "Excel file(*.xls)|*.xls|Comma sep. file (*.csv) |*.csv|"
                        "HTML file (*.html)|*.html|JSON file|*.json|Acrobat file PDF|*.pdf|");
}

QStringList nameFiltersFromFilterText(const QString &filter) {
  const QStringList parts = filter.split(QLatin1Char('|'));
  QStringList filters;
  for (int i = 0; i + 1 < parts.size(); i += 2) {
    const QString label = parts[i].trimmed();
    const QString pattern = parts[i + 1].trimmed();
    if (pattern.isEmpty())
      continue;
    // QFileDialog reads the patterns from the last parentheses of the label.
    const QString suffix = QLatin1Char('(') + pattern + QLatin1Char(')');
    filters.append(label.endsWith(suffix) ? label : label + QLatin1Char(' ') + suffix);
  }
  return filters;
}

QStringList exportSaveDialogNameFilters() { return nameFiltersFromFilterText(exportSaveDialogFilter()); }

QString exportDefaultSuffix() { return QStringLiteral("csv"); }

QString exportOutcomeMessage(const QString &result, const QString &fileName) {
  if (!result.isEmpty() && result.startsWith(QLatin1Char('@')))
    return QStringLiteral("Error: ") + result.mid(1);
  return QStringLiteral("Exported to ") + fileName;
}

QString exportMessageCaption() { return QStringLiteral("Users list export"); }

QStringList exportMessageButtons() { return {QStringLiteral("OK")}; }
