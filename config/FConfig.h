#pragma once
// The configuration dialog: connection settings saved at every change, and
// the connection test.

#include "traces.h"

#include <QDialog>

class QComboBox;

class TFormConfig final : public QDialog {
  Q_OBJECT
public:
  explicit TFormConfig(QWidget *parent = nullptr);
  // Shows the dialog modally; iRes -1 when the connection summary changed,
  // sRes the summary after closing.
  TResExtract ShowAndGet();
};

// Created at start-up after the main window, kept until the end.
extern TFormConfig *FormConfig;

QString ComboSelectedText(const QComboBox *combo);
void ComboSelectByText(QComboBox *combo, const QString &text);
