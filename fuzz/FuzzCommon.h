#pragma once
// Shared by the fuzz targets: input bytes as text, and the one exception
// that readers are allowed to throw.

#include "LarkspanError.h"

#include <QString>

#include <cstddef>
#include <cstdint>

inline QString fuzzText(const uint8_t *data, size_t size) {
  return QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
}

// Splits the input at the first NUL byte: a short control part and the rest.
inline void fuzzSplit(const uint8_t *data, size_t size, QString &head, QString &tail) {
  size_t cut = 0;
  while (cut < size && data[cut] != 0)
    ++cut;
  head = fuzzText(data, cut);
  tail = cut < size ? fuzzText(data + cut + 1, size - cut - 1) : QString();
}

// Expected failures end quietly; anything else crashes the run.
template <class F> void expectOnlyLarkspanError(F &&f) {
  try {
    f();
  } catch (const LarkspanError &) {
  }
}
