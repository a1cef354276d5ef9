#include "ErrorReport.h"

#include "LarkspanError.h"
#include "traces.h"

#include <QCoreApplication>
#include <QDebug>

#include <cxxabi.h>
#include <cstdlib>
#include <new>
#include <typeinfo>

namespace {
TErrorPresenter presenter;
int reportCount = 0;

QString demangled(const char *name) {
  int status = 0;
  char *plain = abi::__cxa_demangle(name, nullptr, nullptr, &status);
  const QString text = QString::fromLatin1(status == 0 && plain ? plain : name);
  std::free(plain);
  return text;
}

QString typeOfCurrent() {
  const std::type_info *type = abi::__cxa_current_exception_type();
  return type ? demangled(type->name()) : QStringLiteral("unknown exception");
}
} // namespace

TErrorReport errorReportFrom(std::exception_ptr error, const QString &where) {
  TErrorReport report;
  report.when = QDateTime::currentDateTime();
  report.where = where;
  if (!error) {
    report.kind = QStringLiteral("no exception");
    return report;
  }
  try {
    std::rethrow_exception(error);
  } catch (const LarkspanError &e) {
    report.kind = QStringLiteral("LarkspanError");
    report.message = e.message();
  } catch (const std::exception &e) {
    report.kind = typeOfCurrent();
    report.message = QString::fromLocal8Bit(e.what());
  } catch (...) {
    report.kind = typeOfCurrent();
  }
  return report;
}

QString errorReportText(const TErrorReport &report) {
  QString program = QCoreApplication::applicationName();
  if (program.isEmpty())
    program = QStringLiteral("Larkspan");
  const QString version = QCoreApplication::applicationVersion();
  QStringList lines;
  lines << QStringLiteral("%1 error report").arg(program)
        << QStringLiteral("Time: %1").arg(report.when.toString(Qt::ISODateWithMs))
        << QStringLiteral("Program: %1%2").arg(QCoreApplication::applicationFilePath(),
                                               version.isEmpty() ? QString() : QStringLiteral(" ") + version)
        << QStringLiteral("While running: %1").arg(report.where) << QStringLiteral("Exception: %1").arg(report.kind)
        << QStringLiteral("Message: %1").arg(report.message);
  return lines.join(QLatin1Char('\n'));
}

QString errorReportTraceLine(const TErrorReport &report) {
  return QStringLiteral("Error report: %1 in %2: %3").arg(report.kind, report.where, report.message);
}

TErrorPresenter setErrorPresenter(TErrorPresenter next) {
  TErrorPresenter previous = std::move(presenter);
  presenter = std::move(next);
  return previous;
}

int errorReportCount() { return reportCount; }

void reportException(std::exception_ptr error, const QString &where) {
  ++reportCount;
  const TErrorReport report = errorReportFrom(error, where);
  try {
    qCritical().noquote() << errorReportTraceLine(report);
    TraceLine(errorReportTraceLine(report));
    if (presenter) {
      // Copied: a presenter may replace itself while it runs.
      const TErrorPresenter show = presenter;
      show(report);
    }
  } catch (...) {
    // The report must not raise in its turn; a failure here would end the
    // program from inside the handler that failed first.
    qCritical("Error report: the report itself failed");
  }
}
