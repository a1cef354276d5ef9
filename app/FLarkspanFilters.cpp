// Main window: the filter bar under the toolbar.
#include "FLarkspan.h"

#include "APIWazo.h"

#include <QAction>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QVariantAnimation>

namespace {
QLabel *filterLabel(QWidget *bar, const char *name, const QString &text, const QRect &geometry) {
  auto *label = new QLabel(text, bar);
  label->setObjectName(QString::fromLatin1(name));
  label->setGeometry(geometry);
  QFont font = label->font();
  font.setPixelSize(14);
  label->setFont(font);
  return label;
}

QLineEdit *filterEdit(QWidget *bar, const char *name, const QRect &geometry) {
  auto *edit = new QLineEdit(bar);
  edit->setObjectName(QString::fromLatin1(name));
  edit->setGeometry(geometry);
  return edit;
}

// The clear button inside an edit; emptying the edit changes its text, so
// the filter follows at once.
QAction *clearButton(QLineEdit *edit, const char *name) {
  auto *action = new QAction(QIcon(QStringLiteral(":/larkspan/clear.svg")), QObject::tr("Clear"), edit);
  action->setObjectName(QString::fromLatin1(name));
  action->setToolTip(QObject::tr("Clear"));
  edit->addAction(action, QLineEdit::TrailingPosition);
  QObject::connect(action, &QAction::triggered, edit, &QLineEdit::clear);
  return action;
}

// A pattern as the table's filter reads it: the text as typed, "%" at the
// end, "*" as "%", between single quotes with inner quotes doubled.
QString quotedPattern(const QString &text) {
  QString pattern = text + QLatin1Char('%');
  pattern.replace(QLatin1Char('*'), QLatin1Char('%'));
  pattern.replace(QLatin1String("'"), QLatin1String("''"));
  return QLatin1Char('\'') + pattern + QLatin1Char('\'');
}
} // namespace

void TFMainLarkspan::buildFilterBar() {
  LayoutFilters = new QWidget(MainLayout1);
  LayoutFilters->setObjectName(QStringLiteral("LayoutFilters"));
  LayoutFilters->setFixedHeight(56);
  lblEdFirstName = filterLabel(LayoutFilters, "lblEdFirstName", QStringLiteral("First name : "), {24, 20, 97, 22});
  EdFirstName = filterEdit(LayoutFilters, "EdFirstName", {120, 20, 169, 22});
  ClearEditButton2 = clearButton(EdFirstName, "ClearEditButton2");
  Label1 = filterLabel(LayoutFilters, "Label1", QStringLiteral("Last name : "), {328, 20, 97, 22});
  EdLastName = filterEdit(LayoutFilters, "EdLastName", {432, 20, 206, 22});
  ClearEditButton1 = clearButton(EdLastName, "ClearEditButton1");
  Label5 = filterLabel(LayoutFilters, "Label5", QStringLiteral("Extension: "), {664, 20, 89, 22});
  EdExtension = filterEdit(LayoutFilters, "EdExtension", {752, 20, 169, 22});
  ClearEditButton3 = clearButton(EdExtension, "ClearEditButton3");
  setTabOrder(EdExtension, EdFirstName);
  setTabOrder(EdFirstName, EdLastName);

  SizeAnimation = new QVariantAnimation(this);
  SizeAnimation->setObjectName(QStringLiteral("SizeAnimation"));
  SizeAnimation->setStartValue(0);
  SizeAnimation->setEndValue(56);
  SizeAnimation->setDuration(200);
  connect(SizeAnimation, &QVariantAnimation::valueChanged, LayoutFilters,
          [this](const QVariant &height) { LayoutFilters->setFixedHeight(height.toInt()); });
}

void TFMainLarkspan::FilterChange(QObject *) {
  if (!UserTable)
    return;
  UserTable->setFiltered(false);
  UserTable->setFilter(QString());
  struct Condition {
    const QLineEdit *edit;
    QLatin1String text;
  };
  const Condition conditions[] = {
      {EdFirstName, QLatin1String("AND firstname LIKE ")},
      {EdLastName, QLatin1String("AND lastname LIKE ")},
      {EdExtension, QLatin1String("AND extensions LIKE ")},
  };
  QString expression;
  for (const Condition &c : conditions) {
    const QString typed = c.edit->text();
    if (!typed.isEmpty())
      expression += c.text + quotedPattern(typed); // a further "AND " follows the quote directly
  }
  if (!expression.isEmpty()) {
    expression.remove(0, 4);
    UserTable->setFilter(expression);
    UserTable->setFiltered(true);
  }
  RefreshGrid();
}

void TFMainLarkspan::BtnFiltresClick(QObject *) {
  SizeAnimation->stop();
  if (LayoutFilters->isHidden()) {
    LayoutFilters->setFixedHeight(0);
    LayoutFilters->show();
    SizeAnimation->setDirection(QAbstractAnimation::Forward);
  } else {
    // Runs back out of sight, leaving the bar at height 0 for its next opening.
    LayoutFilters->hide();
    SizeAnimation->setDirection(QAbstractAnimation::Backward);
  }
  SizeAnimation->start();
}
