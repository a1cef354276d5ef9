#include "APIWazo.h"
#include "FuzzCommon.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  QString path, text;
  fuzzSplit(data, size, path, text);
  expectOnlyLarkspanError([&] { (void)JsonValueByPath(text, path, QStringLiteral("dflt")); });
  expectOnlyLarkspanError([&] { (void)JsonValueByPath(text, QStringLiteral("data.token"), QString()); });
  expectOnlyLarkspanError([&] { (void)JsonValueByPath(text, QStringLiteral("reason"), QString()); });
  return 0;
}
