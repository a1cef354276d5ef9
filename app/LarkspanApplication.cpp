#include "LarkspanApplication.h"

#include "ErrorReport.h"
#include "ErrorReportDialog.h"
#include "Style.h"

#include <QEvent>
#include <QMetaEnum>

TLarkspanApplication::TLarkspanApplication(int &argc, char **argv) : QApplication(argc, argv) {}

bool TLarkspanApplication::notify(QObject *receiver, QEvent *event) {
  // Read before dispatch: the receiver may be gone when the handler fails.
  const char *className = receiver ? receiver->metaObject()->className() : "nothing";
  const QEvent::Type type = event ? event->type() : QEvent::None;
  try {
    return QApplication::notify(receiver, event);
  } catch (...) {
    const char *typeName = QMetaEnum::fromType<QEvent::Type>().valueToKey(type);
    reportException(std::current_exception(),
                    QStringLiteral("%1 event to %2")
                        .arg(typeName ? QString::fromLatin1(typeName) : QString::number(int(type)),
                             QString::fromLatin1(className)));
    return false;
  }
}

void setupLarkspanApplication(QApplication &app) {
  QApplication::setApplicationName(QStringLiteral("Larkspan"));
  QApplication::setApplicationVersion(QStringLiteral(LARKSPAN_VERSION));
  applyLarkspanStyle(app);
  installErrorReportDialog();
}
