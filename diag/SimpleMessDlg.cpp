#include "SimpleMessDlg.h"

#include <QDialog>
#include <QGridLayout>
#include <QLabel>
#include <QScrollArea>

#include <memory>

namespace {
constexpr int FormWidth = 400;
constexpr int FormHeight = 120;
constexpr int RowHeight = 40;
constexpr int ButtonWidth = 80;
const char *const TagProperty = "Tag";
} // namespace

TMyButton::TMyButton(QWidget *owner) : QPushButton(owner), m_owner(owner) {
  connect(this, &QPushButton::clicked, this, &TMyButton::Click);
}

void TMyButton::Click() {
  if (!m_owner)
    return;
  m_owner->setProperty(TagProperty, Tag);
  m_owner->close();
}

void centreOnOwner(QWidget *window, const QWidget *owner) {
  if (!window || !owner)
    return;
  const QRect area = owner->window()->geometry();
  // setGeometry places the client area; move() would place the frame.
  window->setGeometry(QRect(area.center() - QPoint(window->width() / 2, window->height() / 2), window->size()));
}

int ShowMessageButtons(QWidget *owner, const QString &caption, const QString &message, const QStringList &captions) {
  QWidget *ownerWindow = owner ? owner->window() : nullptr;
  auto form = std::make_unique<QDialog>(ownerWindow);
  form->setObjectName(QStringLiteral("messageDialog"));
  // The owner's font and palette carry over to this window; its style sheet
  // does anyway, being inherited along the parent chain.
  form->setAttribute(Qt::WA_WindowPropagation);
  form->setWindowTitle(caption);
  form->setProperty(TagProperty, -1);
  // Fixed: a long message wraps and scrolls rather than growing the window.
  form->setFixedSize(FormWidth, FormHeight);

  auto *row = new QWidget(form.get());
  row->setObjectName(QStringLiteral("buttonRow"));
  row->setGeometry(0, FormHeight - RowHeight, FormWidth, RowHeight);
  auto *grid = new QGridLayout(row);
  grid->setContentsMargins(0, 0, 0, 0);
  grid->setSpacing(0);

  // The message fills the space above the row; a message too long for it
  // scrolls, so that all of it can be read (and selected) in the fixed window.
  auto *area = new QScrollArea(form.get());
  area->setObjectName(QStringLiteral("messageArea"));
  area->setGeometry(0, 0, FormWidth, FormHeight - RowHeight);
  area->setFrameShape(QFrame::NoFrame);
  area->setWidgetResizable(true);
  area->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  auto *label = new QLabel(message);
  label->setObjectName(QStringLiteral("messageLabel"));
  label->setWordWrap(true);
  label->setAlignment(Qt::AlignCenter);
  label->setContentsMargins(8, 4, 8, 4);
  label->setTextInteractionFlags(Qt::TextSelectableByMouse);
  area->setWidget(label);

  // One equal column per caption. Created from the last caption down, each
  // button takes the next free cell, so the row reads right to left.
  const int count = int(captions.size());
  for (int i = 0; i < count; ++i)
    grid->setColumnStretch(i, 1);
  for (int i = count - 1; i >= 0; --i) {
    auto *button = new TMyButton(form.get());
    button->setObjectName(QStringLiteral("button%1").arg(i));
    button->setText(captions.at(i));
    button->Tag = i;
    button->setFixedWidth(ButtonWidth);
    grid->addWidget(button, 0, count - 1 - i, Qt::AlignCenter);
    // Enter answers with the first caption.
    if (i == 0)
      button->setFocus();
  }

  centreOnOwner(form.get(), ownerWindow);

  form->exec();
  return form->property(TagProperty).toInt();
}
