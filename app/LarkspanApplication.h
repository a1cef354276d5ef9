#pragma once
// The application object. Its event dispatch is the last net of the global
// error report: an exception that escapes any event handler, ours or a
// dialog's, ends here, is reported, and the event loop goes on.

#include <QApplication>

class TLarkspanApplication final : public QApplication {
  Q_OBJECT
public:
  TLarkspanApplication(int &argc, char **argv);
  bool notify(QObject *receiver, QEvent *event) override;
};

// Style sheet, palette and the report dialog, for the program and for tests
// that want the program's look.
void setupLarkspanApplication(QApplication &app);
