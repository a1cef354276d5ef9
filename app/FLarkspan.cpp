// Main window: components, life cycle, reload and the busy state.
#include "FLarkspan.h"

#ifdef __GLIBC__
#include <malloc.h>
#endif

#include "ActivityIndicator.h"
#include "APIWazo.h"
#include "ErrorReport.h"
#include "FConfig.h"
#include "OPortDesc.h"
#include "Settings.h"
#include "traces.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFileInfo>
#include <QFrame>
#include <QGraphicsOpacityEffect>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPropertyAnimation>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

namespace {
const char *const CallPermissionsPath = "/api/confd/1.1/callpermissions";
const char *const IncallsPath = "/api/confd/1.1/incalls";
const char *const ExtensionsPath = "/api/confd/1.1/extensions";
const char *const UsersPath = "/api/confd/1.1/users";

template <typename T> T *named(T *object, const char *name) {
  object->setObjectName(QString::fromLatin1(name));
  return object;
}
} // namespace

TFMainLarkspan::TFMainLarkspan(QWidget *parent) : QMainWindow(parent) {
  setObjectName(QStringLiteral("FMainLarkspan"));
  buildWindow();
  connectHandlers();
  guardedCall("FormCreate", [this] { FormCreate(this); });
}

TFMainLarkspan::~TFMainLarkspan() {
  // A window destroyed without having been closed still lets go of what it
  // owns.
  if (!m_released)
    releaseAll();
}

void TFMainLarkspan::buildWindow() {
  resize(1017, 531);
  if (const QScreen *screen = QGuiApplication::primaryScreen()) {
    QRect frame(QPoint(0, 0), size());
    frame.moveCenter(screen->availableGeometry().center());
    move(frame.topLeft()); // where the window goes when restored
  }
  setWindowState(windowState() | Qt::WindowMaximized);

  VertScrollBox1 = named(new QScrollArea(this), "VertScrollBox1");
  VertScrollBox1->setWidgetResizable(true);
  VertScrollBox1->setFrameShape(QFrame::NoFrame);
  VertScrollBox1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setCentralWidget(VertScrollBox1);

  MainLayout1 = named(new QWidget, "MainLayout1");
  auto *column = new QVBoxLayout(MainLayout1);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(0);
  VertScrollBox1->setWidget(MainLayout1);

  buildToolBar();
  buildFilterBar();
  buildGrid();
  column->addWidget(ToolBar1);
  column->addWidget(LayoutFilters);
  column->addWidget(StringGrid, 1);
  buildActivityIndicator();
  MainLayout1->installEventFilter(this);
}

void TFMainLarkspan::buildToolBar() {
  ToolBar1 = named(new QFrame(MainLayout1), "ToolBar1");
  ToolBar1->setFixedHeight(57);
  auto *row = new QHBoxLayout(ToolBar1);
  row->setContentsMargins(0, 0, 0, 0);
  row->setSpacing(0);

  BtnReload = named(new QToolButton(ToolBar1), "BtnReload");
  BtnReload->setProperty("toolButtonStyleLookup", QStringLiteral("refreshtoolbutton"));
  BtnReload->setIcon(QIcon(QStringLiteral(":/larkspan/refresh.svg")));
  BtnReload->setIconSize(QSize(32, 32));
  BtnReload->setFixedSize(57, 57);
  BtnReload->setToolTip(QStringLiteral("Reload list from PBX"));
  BtnReload->setAutoRaise(true);

  BntExport = named(new QToolButton(ToolBar1), "BntExport");
  BntExport->setText(QStringLiteral("Export"));
  BntExport->setFixedSize(80, 57);
  BntExport->setToolTip(QStringLiteral("Export the list"));
  BntExport->setAutoRaise(true);
  auto *opacity = new QGraphicsOpacityEffect(BntExport);
  opacity->setOpacity(0.8);
  BntExport->setGraphicsEffect(opacity);

  Panel1 = named(new QFrame(ToolBar1), "Panel1");
  Panel1->setFixedSize(120, 57);
  auto *panelColumn = new QVBoxLayout(Panel1);
  panelColumn->setContentsMargins(0, 0, 0, 0);
  panelColumn->setSpacing(0);
  BtnFiltres = named(new QPushButton(Panel1), "BtnFiltres");
  BtnFiltres->setText(QStringLiteral("Filters V"));
  BtnFiltres->setToolTip(QStringLiteral("Open/close the filters interface"));
  BtnFiltres->setFixedSize(120, 25);
  panelColumn->addStretch(1);
  panelColumn->addWidget(BtnFiltres);

  BtnConfig = named(new QToolButton(ToolBar1), "BtnConfig");
  BtnConfig->setProperty("toolButtonStyleLookup", QStringLiteral("optionstoolbutton"));
  BtnConfig->setIcon(QIcon(QStringLiteral(":/larkspan/options.svg")));
  BtnConfig->setIconSize(QSize(32, 32));
  BtnConfig->setFixedSize(57, 57);
  BtnConfig->setToolTip(QStringLiteral("Configuration"));
  BtnConfig->setAutoRaise(true);

  row->addWidget(BtnReload);
  row->addWidget(BntExport);
  row->addStretch(1);
  row->addWidget(Panel1);
  row->addWidget(BtnConfig);

  SaveDialog1 = named(new TSaveDialog(this), "SaveDialog1");
  SaveDialog1->DefaultExt = QStringLiteral("csv");
}

void TFMainLarkspan::buildActivityIndicator() {
  ActivityCircle = named(new TShapeCircle(MainLayout1), "ActivityCircle");
  ActivityCircle->resize(64, 66);
  ActivityArc = named(new TActivityArc(ActivityCircle), "ActivityArc");
  ActivityArc->setGeometry(ActivityCircle->rect());
  ActivityFloatAni = named(new QPropertyAnimation(ActivityArc, "RotationAngle", this), "ActivityFloatAni");
  ActivityFloatAni->setStartValue(0.0);
  ActivityFloatAni->setEndValue(360.0);
  ActivityFloatAni->setDuration(1000);
  ActivityFloatAni->setLoopCount(-1);
  ActivityFloatAni->start();
  ClipCircle = named(new TShapeCircle(ActivityCircle), "ClipCircle");
  ClipCircle->Margin = 5;
  ClipCircle->setGeometry(ActivityCircle->rect());
  centreActivityIndicator();
}

void TFMainLarkspan::centreActivityIndicator() {
  ActivityCircle->move((MainLayout1->width() - ActivityCircle->width()) / 2,
                       (MainLayout1->height() - ActivityCircle->height()) / 2);
  ActivityCircle->raise();
}

void TFMainLarkspan::connectHandlers() {
  connect(BtnReload, &QToolButton::clicked, this, guarded("BtnReloadClick", [this] { BtnReloadClick(BtnReload); }));
  connect(BtnConfig, &QToolButton::clicked, this, guarded("BtnConfigClick", [this] { BtnConfigClick(BtnConfig); }));
  connect(BntExport, &QToolButton::clicked, this,
          guarded("BtnExportXLSXClick", [this] { BtnExportXLSXClick(BntExport); }));
  connect(BtnFiltres, &QPushButton::clicked, this,
          guarded("BtnFiltresClick", [this] { BtnFiltresClick(BtnFiltres); }));
  for (QLineEdit *edit : {EdFirstName, EdLastName, EdExtension})
    connect(edit, &QLineEdit::textChanged, this, guarded("FilterChange", [this, edit] { FilterChange(edit); }));

  connect(StringGrid->horizontalHeader(), &QHeaderView::sectionClicked, this, [this](int section) {
    guardedCall("StringGridHeaderClick", [&] {
      if (section >= 0 && section < StringGrid->ColumnCount())
        StringGridHeaderClick(StringGrid->Column(section));
    });
  });
  // A click and a double click both open the row's user.
  auto cellClick = [this](const QModelIndex &index) {
    guardedCall("StringGridCellClick", [&] {
      if (index.isValid())
        StringGridCellClick(StringGrid->Column(index.column()), index.row());
    });
  };
  connect(StringGrid, &QTableView::clicked, this, cellClick);
  connect(StringGrid, &QTableView::doubleClicked, this, cellClick);
}

bool TFMainLarkspan::eventFilter(QObject *watched, QEvent *event) {
  if (watched == MainLayout1 && event->type() == QEvent::Resize) {
    centreActivityIndicator();
  } else if (watched == StringGrid->viewport() && event->type() == QEvent::MouseMove) {
    const auto *move = static_cast<QMouseEvent *>(event);
    guardedCall("StringGridMouseMove", [&] {
      StringGridMouseMove(StringGrid, move->modifiers(), move->position().x(), move->position().y());
    });
  }
  return QMainWindow::eventFilter(watched, event);
}

void TFMainLarkspan::FormCreate(QObject *) {
  ActivityCircle->hide();
  LayoutFilters->hide();
  LayoutFilters->setFixedHeight(0);
  // Hints: Qt shows tool tips application-wide unless a widget turns them off.
  TraceOpen();
  createPortConfig();
  CreateUserTable();
  m_settingsFile = ProgramFileName(QStringLiteral(".ini"));
  LoadSettings(m_settingsFile);
  setWindowTitle(QStringLiteral("Larkspan"));
  StringGrid->viewport()->installEventFilter(this);
  bForceAutoSizeCol = true;
}

void TFMainLarkspan::showEvent(QShowEvent *event) {
  QMainWindow::showEvent(event);
  if (m_shown)
    return;
  m_shown = true;
  // After the window is on screen: the first show may open a modal dialog
  // or block on the exchange.
  QTimer::singleShot(0, this, [this] {
    guardedCall("FormShow", [this] { FormShow(this); });
    emit formShown();
  });
}

void TFMainLarkspan::FormShow(QObject *) {
  if (m_released)
    return;
  setupGridColumns();
  if (QFileInfo::exists(m_settingsFile))
    BtnReloadClick(nullptr);
  else
    BtnConfigClick(nullptr);
}

void TFMainLarkspan::BtnReloadClick(QObject *) {
  if (m_released)
    return;
  TBusyScope busy(*this);
  ++m_reloadDepth;
  ActivityCircle->show();
  centreActivityIndicator();
  ActivityCircle->repaint();
  // The indicator goes away however the reload ends, an exception included.
  struct Ending {
    TFMainLarkspan &w;
    ~Ending() {
      if (--w.m_reloadDepth == 0) {
        w.ActivityCircle->hide();
#ifdef __GLIBC__
        // Parsing the lists leaves hundreds of MB of freed heap at 20,000
        // users; give it back instead of keeping it for the program's life.
        malloc_trim(0);
#endif
        emit w.reloadFinished();
      }
    }
  } ending{*this};

  QString token;
  TResExtract res;
  GetToken(*PortConfig, token, res);
  if (res.iRes != 0)
    return;
  RestGet(*PortConfig, token, QString::fromLatin1(CallPermissionsPath), m_permissionsText, res);
  LoadPermissions(m_permissionsText);
  RestGet(*PortConfig, token, QString::fromLatin1(IncallsPath), m_incallsText, res);
  LoadIncalls(m_incallsText);
  RestGet(*PortConfig, token, QString::fromLatin1(ExtensionsPath), m_extensionsText, res);
  LoadExtensions(m_extensionsText);
  RestGet(*PortConfig, token, QString::fromLatin1(UsersPath), m_usersText, res);
  if (res.iRes == 0) {
    LoadUsers(m_usersText);
    RefreshGrid();
    bForceAutoSizeCol = false;
  }
}

void TFMainLarkspan::BtnConfigClick(QObject *) {
  if (m_released || !FormConfig)
    return;
  TBusyScope busy(*this);
  const TResExtract res = FormConfig->ShowAndGet();
  if (res.iRes == -1)
    BtnReloadClick(nullptr);
}

void TFMainLarkspan::enterBusy() {
  if (m_busy++ > 0)
    return;
  // Input that the trace writer lets through during a request must not
  // start a command, a filter or a row click inside the running operation.
  m_focusBeforeBusy = QApplication::focusWidget();
  for (QWidget *w : {static_cast<QWidget *>(ToolBar1), static_cast<QWidget *>(StringGrid), LayoutFilters})
    w->setEnabled(false);
}

void TFMainLarkspan::leaveBusy() {
  if (--m_busy > 0)
    return;
  for (QWidget *w : {static_cast<QWidget *>(ToolBar1), static_cast<QWidget *>(StringGrid), LayoutFilters})
    w->setEnabled(true);
  if (m_focusBeforeBusy && m_focusBeforeBusy->isEnabled() && isActiveWindow())
    m_focusBeforeBusy->setFocus();
  m_focusBeforeBusy = nullptr;
  if (m_closePending) {
    // Closed during the operation: close now, once the handlers on the
    // stack have returned.
    m_closePending = false;
    QTimer::singleShot(0, this, &QWidget::close);
  }
}

void TFMainLarkspan::closeEvent(QCloseEvent *event) {
  if (isBusy()) {
    m_closePending = true;
    event->ignore();
    return;
  }
  if (!m_released)
    guardedCall("FormClose", [this] { FormClose(this); });
  event->accept();
}

void TFMainLarkspan::FormClose(QObject *) {
  releaseAll();
}

void TFMainLarkspan::releaseAll() {
  m_released = true;
  StringGrid->gridModel()->detachTable();
  FreeDirectory();
  releasePortConfig();
  TraceClose();
}
