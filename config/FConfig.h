#pragma once
// The configuration dialog: connection settings saved at every change, and
// the connection test.

#include "traces.h"

#include <QDialog>
#include <QList>
#include <QMetaObject>
#include <QStringList>

class QAbstractButton;
class QComboBox;
class QFrame;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

class TFormConfig final : public QDialog {
  Q_OBJECT
public:
  explicit TFormConfig(QWidget *parent = nullptr);
  // Shows the dialog modally; iRes -1 when the connection summary changed,
  // sRes the summary after closing.
  TResExtract ShowAndGet();

  QFrame *Panel = nullptr;
  QLabel *LabelTitre = nullptr;
  QFrame *PanelCrit = nullptr;
  QLabel *Label2 = nullptr;
  QComboBox *CBBPBX = nullptr;
  QLabel *Label1 = nullptr;
  QLineEdit *EdURL = nullptr;
  QLabel *lblLOgin = nullptr;
  QLineEdit *EdLogin = nullptr;
  QLabel *Label3 = nullptr;
  QLineEdit *EdPassword = nullptr;
  QLabel *Label6 = nullptr;
  QAbstractButton *SwPerm = nullptr;
  QFrame *PanelPerm = nullptr;
  QLabel *Label4 = nullptr;
  QComboBox *CBBAllow = nullptr;
  QLabel *Label5 = nullptr;
  QComboBox *CBBDeny = nullptr;
  QFrame *PanelRes = nullptr;
  QPushButton *BtnStart = nullptr;
  QPlainTextEdit *Memo1 = nullptr;

  QString sList;   // body of the last list read by the connection test
  QString sPBXold; // connection summary taken at opening

public slots:
  // Stores every field into PortConfig and saves the settings file.
  void Change();
  // The connection test: a token, then four lists, shown in the memo.
  void BtnStartClick();
  void AddMemoLine(const QString &text);
  void UpdatePermissionPanel();

private:
  void attachChangeHandlers();
  void detachChangeHandlers();

  QList<QMetaObject::Connection> m_changeConnections;
};

// Created at start-up after the main window, kept until the end.
extern TFormConfig *FormConfig;

// Text of the selected item; empty when none is selected.
QString ComboSelectedText(const QComboBox *combo);
// Selects the first item whose text equals `text` exactly (case counts);
// none is selected when no item matches.
void ComboSelectByText(QComboBox *combo, const QString &text);

// Combo-box items: the texts sorted without regard to case in the user's
// collation, texts equal but for case kept once (the first seen).
QStringList sortedComboItems(const QStringList &texts);
