#include "ExportIo.h"

#include "LarkspanError.h"

namespace {
constexpr qsizetype flushSize = 1 << 20;
}

TExportOutput::TExportOutput(const QString &path) : m_file(path) {
  if (!m_file.open(QIODevice::WriteOnly | QIODevice::Truncate))
    throw LarkspanError(m_file.errorString());
  m_buffer.reserve(flushSize + flushSize / 4);
}

TExportOutput::~TExportOutput() = default;

void TExportOutput::flushIfFull() {
  if (m_buffer.size() >= flushSize)
    writeBuffer();
}

void TExportOutput::writeBuffer() {
  if (!m_buffer.isEmpty() && m_file.write(m_buffer) != m_buffer.size())
    throw LarkspanError(m_file.errorString());
  m_buffer.resize(0);  // keeps the capacity
}

void TExportOutput::finish() {
  writeBuffer();
  if (!m_file.flush())
    throw LarkspanError(m_file.errorString());
  m_file.close();
  if (m_file.error() != QFileDevice::NoError)
    throw LarkspanError(m_file.errorString());
}
