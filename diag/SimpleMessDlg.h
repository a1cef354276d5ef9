#pragma once
// A short modal message with a row of buttons, built at run time.

#include <QPointer>
#include <QPushButton>
#include <QStringList>

class QWidget;

// A button that records its index in its window and closes it. The answer
// goes into the owner window's "Tag" property.
class TMyButton final : public QPushButton {
  Q_OBJECT
public:
  explicit TMyButton(QWidget *owner);
  int Tag = 0;

protected:
  void Click();

private:
  QPointer<QWidget> m_owner;
};

// Returns the index of the pressed button's caption, -1 when closed
// without a button. The dialog is released before it returns.
int ShowMessageButtons(QWidget *owner, const QString &caption, const QString &message, const QStringList &captions);

// Moves a window so that its client area is centred on the owner's window.
// Nothing happens without an owner.
void centreOnOwner(QWidget *window, const QWidget *owner);
