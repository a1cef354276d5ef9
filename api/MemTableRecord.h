#pragma once
// One row of a TMemTable seen as a TDataRecord, so that code of the config
// layer (TPortDesc::GetProp) can read a record without knowing the table.

#include "MemTable.h"
#include "OPortDesc.h"

class TMemTableRecord final : public TDataRecord {
public:
  // `row` is a storage index (an element of visibleRows()). The table must
  // outlive the record.
  TMemTableRecord(const TMemTable &table, int row);

  // Field found by name without regard to case; a missing field throws
  // LarkspanError, a null value gives std::nullopt.
  std::optional<QString> fieldValue(const QString &name) const override;

private:
  const TMemTable &m_table;
  int m_row;
};
