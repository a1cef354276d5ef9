#pragma once
// An on/off switch: a checkable button drawn as a track with a sliding knob.

#include <QAbstractButton>

class TSwitch final : public QAbstractButton {
  Q_OBJECT
public:
  explicit TSwitch(QWidget *parent = nullptr);
  QSize sizeHint() const override;

protected:
  void paintEvent(QPaintEvent *event) override;
};
