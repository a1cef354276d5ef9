#pragma once
// In-memory data set: text fields with a declared size and a display label,
// rows of nullable texts, one sort field, and a LIKE filter.
//
// Interface fixed for the whole program (grid, filters, export, loaders);
// the implementation lives in MemTable.cpp.
//
// Filter language: one to three conditions `field LIKE 'pattern'` joined by
// "AND " (the "AND " may directly follow a closing quote); a quote inside a
// pattern is doubled; "%" any run, "_" exactly one character, everything
// else itself, compared with Unicode case folding when the case-insensitive
// option is on. "_" is one character, also outside the basic plane. A null
// value is matched as the empty text.

#include <QString>
#include <QVector>
#include <optional>

struct TMemField {
  QString name;
  int size = 0;          // declared size: initial grid width, export width
  QString displayLabel;
};

class TMemTable {
public:
  TMemTable();
  ~TMemTable();
  TMemTable(const TMemTable &) = delete;
  TMemTable &operator=(const TMemTable &) = delete;

  // Fields.
  int addField(const QString &name, int size, const QString &displayLabel);
  int fieldCount() const;
  const TMemField &field(int index) const;
  int findField(const QString &name) const;      // case-insensitive; -1 when missing
  int fieldIndex(const QString &name) const;     // throws LarkspanError when missing

  // Rows (in storage order). Values longer than a field's size are kept whole.
  int appendRow();                               // returns the new row's storage index
  void reserveRows(int rows);                    // room for that many rows, for a bulk load
  void setValue(int row, int field, const QString &value);
  void setNull(int row, int field);
  bool isNull(int row, int field) const;
  const QString &value(int row, int field) const; // empty text when null
  std::optional<QString> valueOrNull(int row, int field) const;
  int rowCount() const;                           // all rows, filter ignored
  void clearRows();                               // remove all rows

  // Sort: "name" ascending, "name:D" descending, stable; empty = storage order.
  // Texts compare by their Unicode case folding, code unit by code unit, the
  // exact text breaking ties: locale-independent, "100" < "20" < "3", null
  // as the empty text.
  void setIndexFieldNames(const QString &spec);  // throws LarkspanError on an unknown field
  QString indexFieldNames() const;

  // Filter: parsed once when set; throws LarkspanError when malformed (the
  // previous expression stays). Empty expression = no condition.
  void setFilter(const QString &expression);
  QString filter() const;
  void setFiltered(bool on);
  bool filtered() const;
  void setFilterCaseInsensitive(bool on);
  bool filterCaseInsensitive() const;

  // The rows the table shows: storage indexes in sort order, through the
  // filter when filtering is on. Recomputed only when something changed.
  const QVector<int> &visibleRows() const;

private:
  struct Impl;
  Impl *d;
};
