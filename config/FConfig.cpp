// Placeholder until the configuration dialog lands.
#include "FConfig.h"

#include <QComboBox>

TFormConfig *FormConfig = nullptr;

TFormConfig::TFormConfig(QWidget *parent) : QDialog(parent) {}
TResExtract TFormConfig::ShowAndGet() { return {}; }

QString ComboSelectedText(const QComboBox *combo) { return combo->currentIndex() < 0 ? QString() : combo->currentText(); }
void ComboSelectByText(QComboBox *combo, const QString &text) { combo->setCurrentIndex(combo->findText(text, Qt::MatchExactly | Qt::MatchCaseSensitive)); }
