#include "FConfig.h"

#include "APIWazo.h"
#include "ErrorReport.h"
#include "OPortDesc.h"
#include "Settings.h"
#include "SimpleMessDlg.h"
#include "Switch.h"

#include <QCollator>
#include <QComboBox>
#include <QCoreApplication>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextCursor>
#include <QVBoxLayout>

#include <algorithm>

TFormConfig *FormConfig = nullptr;

namespace {
constexpr int FormWidth = 713;
constexpr int FormHeight = 576;
constexpr int LabelX = 24;
constexpr int LabelWidth = 240;
constexpr int FieldX = 272;
constexpr int FieldWidth = 385;
constexpr int RowHeight = 27;
constexpr int TitleHeight = 57;
constexpr int CritDesignHeight = 304;
constexpr int PermPanelHeight = 87;
constexpr int StartButtonHeight = 41;

QLabel *makeLabel(QWidget *parent, const char *name, const QString &text, int y, int width = LabelWidth) {
  auto *label = new QLabel(text, parent);
  label->setObjectName(QLatin1String(name));
  QFont font = label->font();
  font.setPixelSize(14);
  label->setFont(font);
  label->setGeometry(LabelX, y, width, RowHeight);
  label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  return label;
}

template <class Field> Field *makeField(QWidget *parent, const char *name, int y) {
  auto *field = new Field(parent);
  field->setObjectName(QLatin1String(name));
  field->setGeometry(FieldX, y, FieldWidth, RowHeight);
  return field;
}

QFrame *makePanel(QWidget *parent, const char *name) {
  auto *panel = new QFrame(parent);
  panel->setObjectName(QLatin1String(name));
  return panel;
}

// Re-enables the settings and the test button however the test ends.
class TestControlsLock {
public:
  explicit TestControlsLock(QList<QWidget *> widgets) : m_widgets(std::move(widgets)) {
    for (QWidget *w : m_widgets)
      w->setEnabled(false);
  }
  ~TestControlsLock() {
    for (QWidget *w : m_widgets)
      w->setEnabled(true);
  }
  TestControlsLock(const TestControlsLock &) = delete;
  TestControlsLock &operator=(const TestControlsLock &) = delete;

private:
  QList<QWidget *> m_widgets;
};
} // namespace

TFormConfig::TFormConfig(QWidget *parent) : QDialog(parent) {
  setObjectName(QStringLiteral("FormConfig"));
  setWindowTitle(QStringLiteral("Larkspan"));
  resize(FormWidth, FormHeight);

  auto *column = new QVBoxLayout(this);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(0);

  Panel = makePanel(this, "Panel");
  Panel->setFixedHeight(TitleHeight);
  auto *titleLayout = new QVBoxLayout(Panel);
  titleLayout->setContentsMargins(0, 0, 0, 0);
  LabelTitre = new QLabel(QStringLiteral("Configuration"), Panel);
  LabelTitre->setObjectName(QStringLiteral("LabelTitre"));
  QFont titleFont = LabelTitre->font();
  titleFont.setPixelSize(14);
  LabelTitre->setFont(titleFont);
  LabelTitre->setAlignment(Qt::AlignCenter);
  // A token is long; the title must not widen the window.
  LabelTitre->setWordWrap(true);
  LabelTitre->setTextInteractionFlags(Qt::TextSelectableByMouse);
  titleLayout->addWidget(LabelTitre);
  column->addWidget(Panel);

  PanelCrit = makePanel(this, "PanelCrit");
  PanelCrit->setFixedHeight(CritDesignHeight);
  Label2 = makeLabel(PanelCrit, "Label2", QStringLiteral("PBX : "), 24);
  CBBPBX = makeField<QComboBox>(PanelCrit, "CBBPBX", 24);
  CBBPBX->addItem(QStringLiteral("Wazo"));
  CBBPBX->setCurrentIndex(0);
  Label1 = makeLabel(PanelCrit, "Label1", QStringLiteral("API URL: "), 61);
  EdURL = makeField<QLineEdit>(PanelCrit, "EdURL", 61);
  EdURL->setToolTip(QStringLiteral("Base API URL"));
  lblLOgin = makeLabel(PanelCrit, "lblLOgin", QStringLiteral("Login : "), 97);
  EdLogin = makeField<QLineEdit>(PanelCrit, "EdLogin", 97);
  Label3 = makeLabel(PanelCrit, "Label3", QStringLiteral("Password : "), 134);
  EdPassword = makeField<QLineEdit>(PanelCrit, "EdPassword", 134);
  EdPassword->setEchoMode(QLineEdit::Normal); // shown as typed, on purpose
  Label6 = makeLabel(PanelCrit, "Label6", QStringLiteral("Use Allow/Deny outcall permission: "), 178, 249);
  SwPerm = new TSwitch(PanelCrit);
  SwPerm->setObjectName(QStringLiteral("SwPerm"));
  SwPerm->setGeometry(FieldX, 176, 65, 27);
  SwPerm->setToolTip(QStringLiteral("Allow permission as a Check-Box"));

  PanelPerm = makePanel(PanelCrit, "PanelPerm");
  PanelPerm->setGeometry(0, CritDesignHeight - PermPanelHeight, FormWidth, PermPanelHeight);
  Label4 = makeLabel(PanelPerm, "Label4", QStringLiteral("Allow outcall permission: "), 17);
  CBBAllow = makeField<QComboBox>(PanelPerm, "CBBAllow", 17);
  Label5 = makeLabel(PanelPerm, "Label5", QStringLiteral("Deny outcall permission: "), 57);
  CBBDeny = makeField<QComboBox>(PanelPerm, "CBBDeny", 57);
  column->addWidget(PanelCrit);

  PanelRes = makePanel(this, "PanelRes");
  auto *resLayout = new QVBoxLayout(PanelRes);
  resLayout->setContentsMargins(0, 0, 0, 0);
  resLayout->setSpacing(0);
  BtnStart = new QPushButton(QStringLiteral("Test interface"), PanelRes);
  BtnStart->setObjectName(QStringLiteral("BtnStart"));
  BtnStart->setFixedHeight(StartButtonHeight);
  BtnStart->setFlat(true);
  BtnStart->setDefault(true);
  resLayout->addWidget(BtnStart);
  Memo1 = new QPlainTextEdit(PanelRes);
  Memo1->setObjectName(QStringLiteral("Memo1"));
  Memo1->setReadOnly(true);
  // A body may hold a run of megabytes without a blank (a long member value,
  // compact JSON of one-word values): broken at word boundaries it is laid
  // out in quadratic time, a minute for 1 MB.
  Memo1->setWordWrapMode(QTextOption::WrapAnywhere);
  resLayout->addWidget(Memo1, 1);
  column->addWidget(PanelRes, 1);

  connect(BtnStart, &QPushButton::clicked, this, guarded("BtnStartClick", [this]() { BtnStartClick(); }));
}

void TFormConfig::attachChangeHandlers() {
  detachChangeHandlers();
  // Every control commits through Change; an exception (a failed save) goes
  // to the error report without crossing Qt's code.
  const auto change = guarded("Change", [this]() { Change(); });
  // An edit commits when its text was changed: leaving it, or pressing
  // Enter, without an edit saves nothing.
  for (QLineEdit *edit : {EdLogin, EdPassword, EdURL})
    m_changeConnections << connect(edit, &QLineEdit::editingFinished, this, [edit, change]() {
      if (!edit->isModified())
        return;
      edit->setModified(false);
      change();
    });
  m_changeConnections << connect(CBBAllow, &QComboBox::currentIndexChanged, this, change)
                      << connect(CBBDeny, &QComboBox::currentIndexChanged, this, change)
                      << connect(SwPerm, &QAbstractButton::toggled, this, change);
}

void TFormConfig::detachChangeHandlers() {
  for (const QMetaObject::Connection &c : std::as_const(m_changeConnections))
    disconnect(c);
  m_changeConnections.clear();
}

TResExtract TFormConfig::ShowAndGet() {
  TResExtract result;
  setWindowTitle(QStringLiteral("Larkspan"));

  detachChangeHandlers();
  EdLogin->setText(PortConfig->PB_HTTP_USERNAME());
  EdPassword->setText(PortConfig->PB_HTTP_PASSW());
  EdURL->setText(PortConfig->PB_HTTP_BASE_URL());

  QStringList names{QString()};
  if (PermMap)
    names += PermMap->keys();
  const QStringList items = sortedComboItems(names);
  for (QComboBox *combo : {CBBAllow, CBBDeny}) {
    combo->clear();
    combo->addItems(items);
  }
  ComboSelectByText(CBBAllow, PortConfig->PB_OPEN());
  ComboSelectByText(CBBDeny, PortConfig->PB_CLOSE());

  bool isNumber = false;
  int usePerm = PortConfig->PB_USEPERM().toInt(&isNumber);
  if (!isNumber)
    usePerm = -1;
  SwPerm->setVisible(usePerm >= 0);
  SwPerm->setChecked(usePerm == 1);

  attachChangeHandlers();
  UpdatePermissionPanel();
  sPBXold = PortConfig->PortToString();

  centreOnOwner(this, parentWidget());
  exec();
  // Closing keeps everything: a typed text whose focus-out has not arrived
  // yet (window activation can come late from the window system) is
  // committed here, before the summary is compared.
  bool pending = false;
  for (QLineEdit *edit : {EdLogin, EdPassword, EdURL}) {
    pending = pending || edit->isModified();
    edit->setModified(false);
  }
  // A failed save goes to the error report, as from any other commit; the
  // dialog still reports what changed, so the caller reloads.
  if (pending)
    guardedCall("Change", [this]() { Change(); });

  result.sRes = PortConfig->PortToString();
  if (result.sRes != sPBXold)
    result.iRes = -1;
  return result;
}

void TFormConfig::UpdatePermissionPanel() {
  // isHidden, not isVisible: this also runs before the window is shown.
  const bool switchShown = !SwPerm->isHidden();
  PanelPerm->setVisible(switchShown && SwPerm->isChecked());
  if (switchShown)
    PortConfig->SetPB_USEPERM(SwPerm->isChecked() ? QStringLiteral("1") : QStringLiteral("0"));
  const int rowsBottom = SwPerm->y() + SwPerm->height() + 5;
  PanelPerm->move(0, rowsBottom);
  PanelCrit->setFixedHeight(rowsBottom + (PanelPerm->isHidden() ? 0 : PanelPerm->height()));
}

void TFormConfig::Change() {
  PortConfig->SetPB_HTTP_USERNAME(EdLogin->text());
  PortConfig->SetPB_HTTP_PASSW(EdPassword->text());
  PortConfig->SetPB_HTTP_BASE_URL(EdURL->text());
  PortConfig->SetPB_OPEN(ComboSelectedText(CBBAllow));
  PortConfig->SetPB_CLOSE(ComboSelectedText(CBBDeny));
  UpdatePermissionPanel();
  SaveSettings(ProgramFileName(QStringLiteral(".ini")));
}

void TFormConfig::BtnStartClick() {
  const TestControlsLock lock({PanelCrit, BtnStart});
  QString token;
  TResExtract result;
  GetToken(*PortConfig, token, result);
  AddMemoLine(result.sRes);
  if (result.iRes == 0) {
    LabelTitre->setText(QStringLiteral("Larkspan : configuration, Token= ") + token);
    static const char *const Paths[] = {"/api/confd/1.1/callpermissions", "/api/confd/1.1/lines",
                                        "/api/confd/1.1/devices/unallocated", "/api/confd/1.1/users"};
    bool first = true;
    for (const char *path : Paths) {
      RestGet(*PortConfig, token, QLatin1String(path), sList, result);
      AddMemoLine(result.sRes);
      if (result.iRes == 0)
        AddMemoLine(sList);
      if (first)
        LoadPermissions(sList);
      first = false;
    }
    if (result.iRes == 0)
      result.sRes = QStringLiteral("Test OK");
  }
  const QString message = ResultText(result);
  ShowMessageButtons(this, QStringLiteral("Test results"), message, {QStringLiteral("OK")});
}

void TFormConfig::AddMemoLine(const QString &text) {
  Memo1->appendPlainText(text);
  QTextCursor end = Memo1->textCursor();
  end.movePosition(QTextCursor::End);
  Memo1->setTextCursor(end);
  Memo1->ensureCursorVisible();
  QCoreApplication::processEvents();
}

QString ComboSelectedText(const QComboBox *combo) {
  const int index = combo->currentIndex();
  return index < 0 ? QString() : combo->itemText(index);
}

void ComboSelectByText(QComboBox *combo, const QString &text) {
  combo->setCurrentIndex(-1);
  for (int i = 0; i < combo->count(); ++i) {
    if (combo->itemText(i) == text) {
      combo->setCurrentIndex(i);
      return;
    }
  }
}

QStringList sortedComboItems(const QStringList &texts) {
  QCollator collator{QLocale()};
  collator.setCaseSensitivity(Qt::CaseInsensitive);
  const auto less = [&](const QString &a, const QString &b) { return collator.compare(a, b) < 0; };
  QStringList items;
  for (const QString &text : texts) {
    const auto pos = std::lower_bound(items.begin(), items.end(), text, less);
    if (pos != items.end() && collator.compare(*pos, text) == 0)
      continue;
    items.insert(pos, text);
  }
  return items;
}
