#include "MemTableRecord.h"

TMemTableRecord::TMemTableRecord(const TMemTable &table, int row) : m_table(table), m_row(row) {}

std::optional<QString> TMemTableRecord::fieldValue(const QString &name) const {
  return m_table.valueOrNull(m_row, m_table.fieldIndex(name));
}
