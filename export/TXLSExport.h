#pragma once
// List export: writes a data set, as filtered and sorted, to a file whose
// extension picks the format (.xlsx .xls .ods .csv .html .json .pdf, .clp
// for the clipboard, anything else tab-separated text).
//
// The main window's export button needs only this header:
//
//   dialog.setNameFilters(exportSaveDialogNameFilters());
//   dialog.setDefaultSuffix(exportDefaultSuffix());
//   ... run it; on cancel stop ...
//   const QString result = ExportDataSet(*UserTable, name);
//   ShowMessageButtons(this, exportMessageCaption(),
//                      exportOutcomeMessage(result, name), exportMessageButtons());

#include "ExportWriter.h"

#include <QString>
#include <QStringList>

class TMemTable;

// Returns `fileName` when the export ran to its end, otherwise "@" followed
// by the error message (which names the file and the cause). An existing
// file is replaced only by a complete new one.
QString ExportDataSet(const TMemTable &dataset, const QString &fileName);

// The rows the table shows, in its order, one column per field: header
// text the display label (the name when it has none), width the declared
// size capped at 30.
TExportSnapshot exportSnapshotOf(const TMemTable &dataset);

// The save dialog's filter in "label|pattern|label|pattern|" form: seven
// entries, xlsx, ods, xls, csv, html, json, pdf.
QString exportSaveDialogFilter();
// The same entries as QFileDialog name filters ("label (pattern)").
QStringList exportSaveDialogNameFilters();
// Converts any "label|pattern|..." filter text to QFileDialog name filters.
QStringList nameFiltersFromFilterText(const QString &filter);
QString exportDefaultSuffix();  // "csv"

// "Error: " and the message when `result` starts with "@", otherwise
// "Exported to " and the chosen name.
QString exportOutcomeMessage(const QString &result, const QString &fileName);
QString exportMessageCaption();      // "Users list export"
QStringList exportMessageButtons();  // {"OK"}
