#pragma once
// What the HTTP client tests share: a fresh working directory with its own
// trace log and connection description per test, and the log read back as
// lines.

#include "OPortDesc.h"
#include "TempWorkDir.h"
#include "traces.h"

#include <memory>
#include <QFile>
#include <QRegularExpression>
#include <QStringList>

class HttpTestBench {
public:
  void begin() {
    end();
    m_dir = std::make_unique<TempWorkDir>();
    traceOpenFile(m_dir->filePath(QStringLiteral("trace.log")));
    createPortConfig();
  }

  void end() {
    if (!m_dir)
      return;
    releasePortConfig();
    TraceClose();
    m_dir.reset();
  }

  // Forgets what was written so far (the log stays open, appending).
  void clearTrace() { QFile::resize(m_dir->filePath(QStringLiteral("trace.log")), 0); }

  // Every line written so far, without the CR LF that ends each one; the
  // carriage returns inside a line stay.
  QStringList traceLines() const {
    QFile file(m_dir->filePath(QStringLiteral("trace.log")));
    if (!file.open(QIODevice::ReadOnly))
      return {};
    QString text = QString::fromUtf8(file.readAll());
    if (!text.endsWith(QStringLiteral("\r\n")))
      return {QStringLiteral("<log does not end with CR LF>"), text};
    text.chop(2);
    return text.split(QStringLiteral("\r\n"));
  }

  QString traceText() const {
    QFile file(m_dir->filePath(QStringLiteral("trace.log")));
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
  }

private:
  std::unique_ptr<TempWorkDir> m_dir;
};

// Headers as the fake exchange sends them, in order: Server, Date,
// Content-Type, Content-Length (the last two absent from a 204).
inline QString fakeHeaderPattern(const QString &contentType, bool withBody = true) {
  QString pattern = QStringLiteral("\\|Server : nginx\\|Date : [A-Z][a-z]{2}, \\d\\d [A-Z][a-z]{2} \\d{4} "
                                   "\\d\\d:\\d\\d:\\d\\d GMT");
  if (withBody)
    pattern += QStringLiteral("\\|Content-Type : ") + QRegularExpression::escape(contentType) +
               QStringLiteral("\\|Content-Length : \\d+");
  return pattern;
}
