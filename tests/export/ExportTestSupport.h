#pragma once
// Shared by the export tests: the fixture table and the independent readers.

#include "ExportWriter.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QString>
#include <QStringList>

// The users fixture (tests/data/export/users.json) as a snapshot, rows in
// storage order, widths capped as the export caps them.
TExportSnapshot fixtureSnapshot();
// Its raw rows, for building a data set.
QJsonObject fixtureJson();

// Runs tests/export/read_export.py with Debian's python3. On failure
// (missing reader, unreadable file) returns false and fills `error`.
bool readExport(const QString &format, const QString &path, QJsonObject &result, QString &error);

// Rows as the readers report them: nulls become "" unless `keepNulls`.
QJsonArray rowsAsRead(const QVector<TExportRow> &rows, bool keepNulls);
QJsonArray headersOf(const TExportSnapshot &snapshot);

// The first line at or after `from` holding `values` in this order; -1 when none.
int lineWithValues(const QStringList &lines, int from, const QStringList &values);
