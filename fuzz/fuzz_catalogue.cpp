#include "FuzzCommon.h"
#include "traces.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  const QString text = fuzzText(data, size);
  (void)splitCatalogueItems(text);
  QMap<qint32, QString> map;
  expectOnlyLarkspanError([&] { buildMessageMap(text, map); });
  return 0;
}
