#pragma once
// The dialog of the global error report: what failed, in a text the user
// can select and copy, and a button that goes back to the program.

#include "ErrorReport.h"

#include <QDialog>

class QPlainTextEdit;

class TErrorReportDlg final : public QDialog {
  Q_OBJECT
public:
  explicit TErrorReportDlg(const TErrorReport &report, QWidget *parent = nullptr);
  QString reportText() const;

private:
  QPlainTextEdit *m_text;
};

// Makes the dialog the presenter of every report.
void installErrorReportDialog();
