#include "FUser.h"

#include "FConfig.h"
#include "SimpleMessDlg.h"

#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

#include <cmath>

TFFormUser *FFormUser = nullptr;

namespace {
constexpr int FormWidth = 635;
constexpr int TitleHeight = 49;
constexpr int RowHeight = 22;

QLabel *makeLabel(QWidget *parent, const char *name, const QString &text, int y, int width) {
  auto *label = new QLabel(text, parent);
  label->setObjectName(QLatin1String(name));
  QFont font = label->font();
  font.setPixelSize(14);
  label->setFont(font);
  label->setGeometry(24, y, width, RowHeight);
  label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  return label;
}

template <class Field> Field *makeField(QWidget *parent, const char *name, int x, int y, int width) {
  auto *field = new Field(parent);
  field->setObjectName(QLatin1String(name));
  field->setGeometry(x, y, width, RowHeight);
  return field;
}
} // namespace

TFFormUser::TFFormUser(QWidget *parent) : QDialog(parent) {
  setObjectName(QStringLiteral("FFormUser"));

  auto *column = new QVBoxLayout(this);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(0);

  PnlTitre = new QFrame(this);
  PnlTitre->setObjectName(QStringLiteral("PnlTitre"));
  PnlTitre->setFixedHeight(TitleHeight);
  auto *titleLayout = new QVBoxLayout(PnlTitre);
  titleLayout->setContentsMargins(0, 0, 0, 0);
  LabelTitre = new QLabel(QStringLiteral("User"), PnlTitre);
  LabelTitre->setObjectName(QStringLiteral("LabelTitre"));
  QFont titleFont = LabelTitre->font();
  titleFont.setPixelSize(14);
  LabelTitre->setFont(titleFont);
  LabelTitre->setAlignment(Qt::AlignCenter);
  titleLayout->addWidget(LabelTitre);
  column->addWidget(PnlTitre);

  Panel1 = new QFrame(this);
  Panel1->setObjectName(QStringLiteral("Panel1"));
  column->addWidget(Panel1, 1);

  lblEdFirstName = makeLabel(Panel1, "lblEdFirstName", QStringLiteral("First name : "), 20, 120);
  EdFirstName = makeField<QLineEdit>(Panel1, "EdFirstName", 224, 20, 385);
  Label1 = makeLabel(Panel1, "Label1", QStringLiteral("Last name : "), 60, 120);
  EdLastName = makeField<QLineEdit>(Panel1, "EdLastName", 224, 60, 390);
  Label7 = makeLabel(Panel1, "Label7", QStringLiteral("Email:"), 100, 120);
  EdEmail = makeField<QLineEdit>(Panel1, "EdEmail", 224, 100, 390);
  Label3 = makeLabel(Panel1, "Label3", QStringLiteral("DiD:"), 140, 120);
  CBBDid = makeField<QComboBox>(Panel1, "CBBDid", 225, 140, 390);
  Label4 = makeLabel(Panel1, "Label4", QStringLiteral("Permission: "), 180, 185);
  CBBPermission = makeField<QComboBox>(Panel1, "CBBPermission", 225, 180, 390);
  Label5 = makeLabel(Panel1, "Label5", QStringLiteral("Extension: "), 220, 193);
  CBBExtension = makeField<QComboBox>(Panel1, "CBBExtension", 225, 220, 390);

  setTabOrder(CBBDid, CBBExtension);
  setTabOrder(CBBExtension, CBBPermission);
  setTabOrder(CBBPermission, EdEmail);
  setTabOrder(EdEmail, EdFirstName);
  setTabOrder(EdFirstName, EdLastName);

  FormCreate();
}

void TFFormUser::FormCreate() {
  setWindowTitle(QStringLiteral("Larkspan"));
  // Ends the window 50 below the extension row (341 with the rows above).
  const int height = int(std::lround(PnlTitre->height() + CBBExtension->y() + CBBExtension->height() + 50.0));
  resize(FormWidth, height);
}

void TFFormUser::ShowAndGet(const TUser &user, TResExtract &res) {
  // Our own copy: a reload run while the update traces may change the
  // caller's record.
  const TUser listed = user;

  EdEmail->setText(listed.email);
  EdFirstName->setText(listed.firstname);
  EdLastName->setText(listed.lastname);

  QStringList permissions{QString()};
  if (PermMap)
    permissions += PermMap->keys();
  CBBPermission->clear();
  CBBPermission->addItems(sortedComboItems(permissions));
  ComboSelectByText(CBBPermission, listed.call_permissions);

  // The user's own number, the free ones, and none; numbers routed to
  // another user are not offered.
  QStringList dids{QString(), listed.did};
  if (DidMap) {
    for (auto it = DidMap->cbegin(); it != DidMap->cend(); ++it)
      if (it->user_id.isEmpty())
        dids << it.key();
  }
  CBBDid->clear();
  CBBDid->addItems(sortedComboItems(dids));
  ComboSelectByText(CBBDid, listed.did);

  CBBExtension->clear();
  CBBExtension->addItem(listed.extensions);
  CBBExtension->setCurrentIndex(0);

  centreOnOwner(this, parentWidget());
  CBBDid->setFocus();
  exec();

  TUser edited;
  edited.id = listed.id;
  edited.email = EdEmail->text();
  edited.firstname = EdFirstName->text();
  edited.lastname = EdLastName->text();
  edited.call_permissions = ComboSelectedText(CBBPermission);
  edited.did = ComboSelectedText(CBBDid);
  edited.extensions = ComboSelectedText(CBBExtension);
  UpdateUser(listed, edited, res);
}
