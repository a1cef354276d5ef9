#pragma once
// Buffered file output for the writers that produce their bytes themselves.
// Every failure (open, write, final flush) throws LarkspanError with the
// system's cause, so a full disk is never reported as success.

#include <QByteArray>
#include <QFile>

class TExportOutput {
public:
  explicit TExportOutput(const QString &path);
  ~TExportOutput();
  TExportOutput(const TExportOutput &) = delete;
  TExportOutput &operator=(const TExportOutput &) = delete;

  QByteArray &buffer() { return m_buffer; }  // append freely; flushed in large pieces
  void flushIfFull();
  void finish();                             // writes the rest and closes; throws on failure
  QFile &device() { return m_file; }         // for writers that stream through a QIODevice

private:
  void writeBuffer();
  QFile m_file;
  QByteArray m_buffer;
};
