#include "FuzzCommon.h"
#include "MemTable.h"

// The input is a filter expression, a NUL, then row texts separated by
// newlines: the parser and the matcher are fuzzed together.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  QString expression, rows;
  fuzzSplit(data, size, expression, rows);
  TMemTable table;
  table.addField(QStringLiteral("firstname"), 80, QStringLiteral("firstname"));
  table.addField(QStringLiteral("lastname"), 80, QStringLiteral("lastname"));
  table.addField(QStringLiteral("extensions"), 20, QStringLiteral("extensions"));
  const QStringList lines = rows.split(QLatin1Char('\n'));
  for (const QString &line : lines) {
    const int r = table.appendRow();
    const QStringList cells = line.split(QLatin1Char('\t'));
    for (int f = 0; f < 3 && f < cells.size(); ++f)
      table.setValue(r, f, cells.at(f));
  }
  table.setFilterCaseInsensitive(true);
  expectOnlyLarkspanError([&] {
    table.setFilter(expression);
    table.setFiltered(true);
  });
  (void)table.visibleRows().size();
  table.setIndexFieldNames(QStringLiteral("lastname:D"));
  (void)table.visibleRows().size();
  return 0;
}
