#pragma once
// The dialog that edits one user; closing it sends the differences.

#include "APIWazo.h"

#include <QDialog>

class TFFormUser final : public QDialog {
  Q_OBJECT
public:
  explicit TFFormUser(QWidget *parent = nullptr);
  // Shows the dialog for the listed user, then runs UpdateUser with what the
  // fields hold; res is UpdateUser's result (-1: reload the list).
  void ShowAndGet(const TUser &user, TResExtract &res);
};

// Created at start-up after the configuration dialog, kept until the end.
extern TFFormUser *FFormUser;
