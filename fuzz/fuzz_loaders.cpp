#include "APIWazo.h"
#include "FuzzCommon.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  static const bool created = [] {
    CreateUserTable();
    return true;
  }();
  (void)created;
  const QString text = fuzzText(data, size);
  expectOnlyLarkspanError([&] { LoadPermissions(text); });
  expectOnlyLarkspanError([&] { LoadIncalls(text); });
  expectOnlyLarkspanError([&] { LoadExtensions(text); });
  PermMap->clear(); // a duplicate name throws, so start each input afresh
  return 0;
}
