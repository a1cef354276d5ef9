#include "APIWazo.h"
#include "FuzzCommon.h"

// The input is an incalls body, a NUL, then a users body: the join is
// fuzzed together with the reader.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  static const bool created = [] {
    CreateUserTable();
    return true;
  }();
  (void)created;
  QString incalls, users;
  fuzzSplit(data, size, incalls, users);
  expectOnlyLarkspanError([&] { LoadIncalls(incalls); });
  expectOnlyLarkspanError([&] { LoadUsers(users); });
  qsizetype total = 0;
  for (int row : UserTable->visibleRows())
    for (int f = 0; f < UserTable->fieldCount(); ++f)
      total += UserTable->value(row, f).size();
  (void)total;
  return 0;
}
