#pragma once
// The dialog that edits one user; closing it sends the differences.

#include "APIWazo.h"

#include <QDialog>

class QComboBox;
class QFrame;
class QLabel;
class QLineEdit;

class TFFormUser final : public QDialog {
  Q_OBJECT
public:
  explicit TFFormUser(QWidget *parent = nullptr);
  // Shows the dialog for the listed user, then runs UpdateUser with what the
  // fields hold; res is UpdateUser's result (-1: reload the list).
  void ShowAndGet(const TUser &user, TResExtract &res);

  QFrame *PnlTitre = nullptr;
  QLabel *LabelTitre = nullptr;
  QFrame *Panel1 = nullptr;
  QLabel *lblEdFirstName = nullptr;
  QLineEdit *EdFirstName = nullptr;
  QLabel *Label1 = nullptr;
  QLineEdit *EdLastName = nullptr;
  QLabel *Label7 = nullptr;
  QLineEdit *EdEmail = nullptr;
  QLabel *Label3 = nullptr;
  QComboBox *CBBDid = nullptr;
  QLabel *Label4 = nullptr;
  QComboBox *CBBPermission = nullptr;
  QLabel *Label5 = nullptr;
  QComboBox *CBBExtension = nullptr;

public slots:
  // Caption and the height that ends the window below the extension row.
  void FormCreate();
};

// Created at start-up after the configuration dialog, kept until the end.
extern TFFormUser *FFormUser;
