#include "SaveDialog.h"

#include "TXLSExport.h"

#include <QFileDialog>
#include <QRegularExpression>

namespace {
TSaveDialog::TAsker asker;

QString suffixOfFilter(const QString &nameFilter) {
  static const QRegularExpression pattern(QStringLiteral("\\*\\.([A-Za-z0-9]+)"));
  const QRegularExpressionMatch m = pattern.match(nameFilter);
  return m.hasMatch() ? m.captured(1) : QString();
}

QString askWithFileDialog(QWidget *owner, const QStringList &nameFilters, const QString &defaultExt) {
  QFileDialog dialog(owner, QObject::tr("Save as"));
  dialog.setObjectName(QStringLiteral("SaveDialog1FileDialog"));
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.setNameFilters(nameFilters);
  dialog.setDefaultSuffix(defaultExt);
  // A name typed without extension takes the extension of the chosen type,
  // so choosing "Excel 2007" and typing "users" gives users.xlsx.
  QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog, [&dialog, defaultExt](const QString &filter) {
    const QString suffix = suffixOfFilter(filter);
    dialog.setDefaultSuffix(suffix.isEmpty() ? defaultExt : suffix);
  });
  if (!nameFilters.isEmpty()) {
    const QString suffix = suffixOfFilter(nameFilters.first());
    if (!suffix.isEmpty())
      dialog.setDefaultSuffix(suffix);
  }
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
    return QString();
  return dialog.selectedFiles().first();
}
} // namespace

TSaveDialog::TSaveDialog(QObject *owner) : QObject(owner) {}

bool TSaveDialog::Execute(QWidget *owner) {
  const QStringList nameFilters = nameFiltersFromFilterText(Filter);
  const QString chosen = asker ? asker(owner, nameFilters, DefaultExt) : askWithFileDialog(owner, nameFilters, DefaultExt);
  if (chosen.isEmpty())
    return false;
  FileName = chosen;
  return true;
}

TSaveDialog::TAsker TSaveDialog::setAsker(TAsker next) {
  TAsker previous = std::move(asker);
  asker = std::move(next);
  return previous;
}
