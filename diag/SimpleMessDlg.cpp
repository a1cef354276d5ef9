// Placeholder until the message dialog lands.
#include "SimpleMessDlg.h"

TMyButton::TMyButton(QWidget *owner) : QPushButton(owner) {}
void TMyButton::Click() {}

int ShowMessageButtons(QWidget *, const QString &, const QString &, const QStringList &) { return -1; }
