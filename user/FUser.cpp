// Placeholder until the user dialog lands.
#include "FUser.h"

TFFormUser *FFormUser = nullptr;

TFFormUser::TFFormUser(QWidget *parent) : QDialog(parent) {}
void TFFormUser::ShowAndGet(const TUser &, TResExtract &res) { res = {}; }
