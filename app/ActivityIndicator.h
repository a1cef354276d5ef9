#pragma once
// The activity indicator shown during a reload: an aqua ring with an inner
// ring and a dotted arc that turns once a second. The arc's animation runs
// from creation on and is only ever hidden, never stopped; it keeps turning
// while a request waits because the wait lets timers and repaints run.

#include <QColor>
#include <QWidget>

// A circle outline filling the widget, inset by Margin on every side.
class TShapeCircle : public QWidget {
  Q_OBJECT
public:
  explicit TShapeCircle(QWidget *parent = nullptr);
  QColor Stroke = QColor(0, 255, 255); // aqua
  int Margin = 0;

protected:
  void paintEvent(QPaintEvent *event) override;
};

// The turning part: a dotted arc, aqua, 5 thick, round caps.
class TActivityArc final : public QWidget {
  Q_OBJECT
  Q_PROPERTY(qreal RotationAngle READ RotationAngle WRITE SetRotationAngle)
public:
  explicit TActivityArc(QWidget *parent = nullptr);
  qreal RotationAngle() const { return m_rotation; }
  void SetRotationAngle(qreal degrees);

  qreal StartAngle = -45; // degrees, clockwise from three o'clock
  qreal EndAngle = -45;   // sweep, degrees
  qreal Thickness = 5;

protected:
  void paintEvent(QPaintEvent *event) override;

private:
  qreal m_rotation = 0;
};
