#include "Style.h"

#include <QApplication>
#include <QFile>
#include <QPalette>
#include <QStyleFactory>

static void initLarkspanResources() { Q_INIT_RESOURCE(larkspan); }

QString larkspanStyleSheet() {
  initLarkspanResources();
  QFile file(QStringLiteral(":/larkspan/MaterialOxfordBlueSB.qss"));
  if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
    return QString();
  return QString::fromUtf8(file.readAll());
}

void applyLarkspanStyle(QApplication &app) {
  initLarkspanResources();
  if (QStyle *fusion = QStyleFactory::create(QStringLiteral("Fusion")))
    QApplication::setStyle(fusion);
  // The palette covers what the style sheet leaves to the style (disabled
  // texts, tool tips, selection in native parts).
  QPalette palette;
  const QColor window(0x0b, 0x1d, 0x35), base(0x10, 0x26, 0x44), alternate(0x14, 0x2e, 0x52),
      text(0xe3, 0xea, 0xf4), accent(0x26, 0xc6, 0xda);
  palette.setColor(QPalette::Window, window);
  palette.setColor(QPalette::WindowText, text);
  palette.setColor(QPalette::Base, base);
  palette.setColor(QPalette::AlternateBase, alternate);
  palette.setColor(QPalette::Text, text);
  palette.setColor(QPalette::Button, alternate);
  palette.setColor(QPalette::ButtonText, text);
  palette.setColor(QPalette::Highlight, accent);
  palette.setColor(QPalette::HighlightedText, window);
  palette.setColor(QPalette::ToolTipBase, base);
  palette.setColor(QPalette::ToolTipText, text);
  palette.setColor(QPalette::PlaceholderText, QColor(0x7f, 0x92, 0xad));
  palette.setColor(QPalette::Disabled, QPalette::Text, QColor(0x7f, 0x92, 0xad));
  palette.setColor(QPalette::Disabled, QPalette::WindowText, QColor(0x7f, 0x92, 0xad));
  palette.setColor(QPalette::Disabled, QPalette::ButtonText, QColor(0x7f, 0x92, 0xad));
  QApplication::setPalette(palette);
  app.setStyleSheet(larkspanStyleSheet());
}
