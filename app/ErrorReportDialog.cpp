#include "ErrorReportDialog.h"

#include <QApplication>
#include <QClipboard>
#include <QDialogButtonBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

TErrorReportDlg::TErrorReportDlg(const TErrorReport &report, QWidget *parent) : QDialog(parent) {
  setObjectName(QStringLiteral("ErrorReportDlg"));
  setWindowTitle(QStringLiteral("Larkspan - error report"));
  setModal(true);
  resize(560, 300);
  auto *column = new QVBoxLayout(this);
  auto *intro = new QLabel(
      QStringLiteral("An operation was stopped by an error. The program goes on; the report is in the trace log."),
      this);
  intro->setObjectName(QStringLiteral("ErrorReportIntro"));
  intro->setWordWrap(true);
  column->addWidget(intro);
  m_text = new QPlainTextEdit(this);
  m_text->setObjectName(QStringLiteral("ErrorReportText"));
  m_text->setReadOnly(true);
  m_text->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
  m_text->setPlainText(errorReportText(report));
  column->addWidget(m_text, 1);
  auto *buttons = new QDialogButtonBox(this);
  QPushButton *copy = buttons->addButton(QStringLiteral("Copy"), QDialogButtonBox::ActionRole);
  copy->setObjectName(QStringLiteral("BtnCopyReport"));
  QPushButton *close = buttons->addButton(QStringLiteral("Continue"), QDialogButtonBox::AcceptRole);
  close->setObjectName(QStringLiteral("BtnCloseReport"));
  close->setDefault(true);
  connect(copy, &QPushButton::clicked, this, [this] { QApplication::clipboard()->setText(reportText()); });
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  column->addWidget(buttons);
}

QString TErrorReportDlg::reportText() const { return m_text->toPlainText(); }

void installErrorReportDialog() {
  setErrorPresenter([](const TErrorReport &report) {
    QWidget *owner = QApplication::activeModalWidget();
    if (!owner)
      owner = QApplication::activeWindow();
    TErrorReportDlg dialog(report, owner);
    dialog.exec();
  });
}
