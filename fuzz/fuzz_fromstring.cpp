#include "FuzzCommon.h"
#include "OPortDesc.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size == 0)
    return 0;
  const QChar delim = data[0] < 0x80 ? QChar(data[0]) : QChar();
  const QString text = fuzzText(data + 1, size - 1);
  TOProtoTypePBX pbx;
  expectOnlyLarkspanError([&] { pbx.FromString(text, delim); });
  expectOnlyLarkspanError([&] { (void)PercentDecode(text); });
  (void)pbx.PortToString();
  (void)GetDelimitedField(text, delim, int(data[0] % 8) + 1, true);
  return 0;
}
