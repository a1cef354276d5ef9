#include "Switch.h"

#include <QPainter>
#include <QPainterPath>

TSwitch::TSwitch(QWidget *parent) : QAbstractButton(parent) {
  setCheckable(true);
  setFocusPolicy(Qt::StrongFocus);
  setCursor(Qt::PointingHandCursor);
}

QSize TSwitch::sizeHint() const {
  return {65, 27};
}

void TSwitch::paintEvent(QPaintEvent *) {
  QPainter p(this);
  p.setRenderHint(QPainter::Antialiasing);
  const QPalette &pal = palette();
  // The track keeps a margin so the focus ring fits inside the widget.
  const QRectF track = QRectF(rect()).adjusted(4, 4, -4, -4);
  const qreal radius = track.height() / 2;
  QColor trackColour = isChecked() ? pal.color(QPalette::Highlight) : pal.color(QPalette::Mid);
  QColor knobColour = pal.color(QPalette::Light);
  if (!isEnabled()) {
    trackColour.setAlphaF(0.4);
    knobColour.setAlphaF(0.6);
  }
  if (hasFocus()) {
    p.setPen(QPen(pal.color(QPalette::Highlight), 1.5));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(QRectF(rect()).adjusted(1, 1, -1, -1), radius + 3, radius + 3);
  }
  p.setPen(Qt::NoPen);
  p.setBrush(trackColour);
  p.drawRoundedRect(track, radius, radius);
  const qreal knob = track.height() - 4;
  const qreal x = isChecked() ? track.right() - 2 - knob : track.left() + 2;
  p.setBrush(knobColour);
  p.drawEllipse(QRectF(x, track.top() + 2, knob, knob));
}
