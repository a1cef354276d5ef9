#pragma once
// The main window's save-file dialog. Filter and default extension are kept
// between runs; Execute() asks through a replaceable function so that tests
// answer it without a real file dialog.

#include <QObject>
#include <QStringList>

#include <functional>

class QWidget;

class TSaveDialog final : public QObject {
  Q_OBJECT
public:
  explicit TSaveDialog(QObject *owner = nullptr);

  QString Filter;          // "label|pattern|label|pattern|"
  QString DefaultExt;      // without the dot
  QString FileName;        // the chosen file after a successful Execute()

  // False when the user cancelled.
  bool Execute(QWidget *owner);

  // Receives the filter as QFileDialog name filters ("label (pattern)") and
  // the default extension; returns the chosen path, empty for cancel.
  using TAsker = std::function<QString(QWidget *owner, const QStringList &nameFilters, const QString &defaultExt)>;
  // Replaces the asker for every save dialog; an empty function restores the
  // file dialog. Returns the previous one.
  static TAsker setAsker(TAsker asker);
};
