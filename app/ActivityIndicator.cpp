#include "ActivityIndicator.h"

#include <QPainter>
#include <QPen>

TShapeCircle::TShapeCircle(QWidget *parent) : QWidget(parent) {
  setAttribute(Qt::WA_TransparentForMouseEvents);
  setAttribute(Qt::WA_NoSystemBackground);
}

void TShapeCircle::paintEvent(QPaintEvent *) {
  QPainter p(this);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(QPen(Stroke, 1));
  p.setBrush(Qt::NoBrush);
  p.drawEllipse(QRectF(rect()).adjusted(Margin + 0.5, Margin + 0.5, -Margin - 0.5, -Margin - 0.5));
}

TActivityArc::TActivityArc(QWidget *parent) : QWidget(parent) {
  setAttribute(Qt::WA_TransparentForMouseEvents);
  setAttribute(Qt::WA_NoSystemBackground);
}

void TActivityArc::SetRotationAngle(qreal degrees) {
  m_rotation = degrees;
  update();
}

void TActivityArc::paintEvent(QPaintEvent *) {
  QPainter p(this);
  p.setRenderHint(QPainter::Antialiasing);
  const QRectF box = QRectF(rect()).adjusted(Thickness / 2, Thickness / 2, -Thickness / 2, -Thickness / 2);
  p.translate(box.center());
  p.rotate(m_rotation); // clockwise on screen, like the angles below
  p.translate(-box.center());
  QPen pen(QColor(0, 255, 255), Thickness, Qt::DotLine, Qt::RoundCap);
  p.setPen(pen);
  // Qt counts angles counter-clockwise in sixteenths of a degree.
  p.drawArc(box, int(-StartAngle * 16), int(-EndAngle * 16));
}
