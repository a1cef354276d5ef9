#pragma once
// The one exception type of the program. Errors that the design lets escape
// an event handler (file layer, JSON reader on a body that is not JSON,
// duplicate map keys) are thrown as this and end in the global error report.

#include <QString>
#include <stdexcept>

class LarkspanError : public std::runtime_error {
public:
  explicit LarkspanError(const QString &message)
      : std::runtime_error(message.toStdString()), m_message(message) {}
  const QString &message() const noexcept { return m_message; }

private:
  QString m_message;
};
