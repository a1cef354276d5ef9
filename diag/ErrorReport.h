#pragma once
// The global error report: one place where an exception that escapes an
// event handler ends. It is written to the trace log (and to stderr) and
// handed to a presenter, which the program sets to a dialog whose text can
// be copied; then the program runs on.
//
// Two ways in: handlers connected through guarded() catch at their own
// frame, so the exception never crosses Qt's code; the application object's
// notify() catches whatever else escapes an event.

#include <QDateTime>
#include <QString>

#include <exception>
#include <functional>
#include <utility>

struct TErrorReport {
  QDateTime when;
  QString where;   // handler or event that was running
  QString kind;    // exception type
  QString message; // exception text
};

// Reads the exception behind `error`; never throws.
TErrorReport errorReportFrom(std::exception_ptr error, const QString &where);
// The report as the dialog shows it and the clipboard receives it.
QString errorReportText(const TErrorReport &report);
// The one trace line of a report.
QString errorReportTraceLine(const TErrorReport &report);

using TErrorPresenter = std::function<void(const TErrorReport &report)>;
// Replaces the presenter; returns the previous one. Without a presenter the
// report is only logged.
TErrorPresenter setErrorPresenter(TErrorPresenter presenter);

// Logs and presents the exception; never throws.
void reportException(std::exception_ptr error, const QString &where);
// Number of reports made so far in this process.
int errorReportCount();

// Runs a handler; an exception it raises goes to the report.
template <typename F> void guardedCall(const char *where, F &&handler) noexcept {
  try {
    std::forward<F>(handler)();
  } catch (...) {
    reportException(std::current_exception(), QString::fromLatin1(where));
  }
}

// A handler without arguments, wrapped for connect().
template <typename F> auto guarded(const char *where, F handler) {
  return [where, handler]() { guardedCall(where, handler); };
}
