// The main window's start-up, reload and close against the fake exchange.
#include "ActivityIndicator.h"
#include "APIWazo.h"
#include "FConfig.h"
#include "FLarkspan.h"
#include "FUser.h"
#include "MainWindowFixture.h"
#include "ModalDriver.h"
#include "OPortDesc.h"

#include <QAction>
#include <QFrame>
#include <QHeaderView>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QPropertyAnimation>
#include <QPushButton>
#include <QScrollArea>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTest>
#include <QTimer>
#include <QToolButton>

namespace {
// Records the Show and Hide events of one widget.
class VisibilityRecorder : public QObject {
public:
  explicit VisibilityRecorder(QWidget *watched) { watched->installEventFilter(this); }
  QStringList events;

protected:
  bool eventFilter(QObject *, QEvent *event) override {
    if (event->type() == QEvent::Show)
      events << QStringLiteral("show");
    else if (event->type() == QEvent::Hide)
      events << QStringLiteral("hide");
    return false;
  }
};

// Records every top-level window that is shown.
class WindowRecorder : public QObject {
public:
  WindowRecorder() { qApp->installEventFilter(this); }
  QStringList shown;

protected:
  bool eventFilter(QObject *obj, QEvent *event) override {
    if (event->type() == QEvent::Show && obj->isWidgetType() && static_cast<QWidget *>(obj)->isWindow())
      shown << QString::fromLatin1(obj->metaObject()->className());
    return false;
  }
};

quint16 closedPort() {
  QTcpServer server;
  server.listen(QHostAddress::LocalHost, 0);
  return server.serverPort(); // nothing listens there once the server is gone
}

const QStringList ReloadRequests{
    QStringLiteral("POST /api/auth/0.1/token"), QStringLiteral("GET /api/confd/1.1/callpermissions"),
    QStringLiteral("GET /api/confd/1.1/incalls"), QStringLiteral("GET /api/confd/1.1/extensions"),
    QStringLiteral("GET /api/confd/1.1/users")};

// The token request may be repeated once with credentials after the bare 401.
QStringList withoutRepeatedToken(QStringList lines) {
  lines.removeDuplicates();
  return lines;
}
} // namespace

class TestMainWindow : public QObject {
  Q_OBJECT
private slots:
  void components();
  void firstStartWithoutSettingsOpensConfiguration();
  void reloadFillsGrid();
  void reloadFailures_data();
  void reloadFailures();
  void permissionsFailWhileUsersSucceed();
  void usersFailureKeepsGrid();
  void widthsFittedOnFirstSuccessfulReloadOnly();
  void changedConnectionReloads();
  void inputRefusedDuringReload();
  void closeDuringReloadReleasesNothingEarly();
};

void TestMainWindow::components() {
  MainWindowFixture f;
  TFMainLarkspan *w = f.createWindows();
  QCOMPARE(w->windowTitle(), QStringLiteral("Larkspan"));
  QVERIFY(w->windowState() & Qt::WindowMaximized);
  QVERIFY(w->forceAutoSizeCol());

  // Every component is found under its name.
  for (const char *name : {"VertScrollBox1", "MainLayout1", "ToolBar1", "BtnReload", "BtnConfig", "BntExport",
                           "StringGrid", "ActivityCircle", "ActivityArc", "ClipCircle", "Panel1", "BtnFiltres",
                           "LayoutFilters", "EdFirstName", "EdLastName", "Label1", "lblEdFirstName", "Label5",
                           "EdExtension"})
    QVERIFY2(w->findChild<QWidget *>(QString::fromLatin1(name)), name);
  for (const char *name : {"ClearEditButton1", "ClearEditButton2", "ClearEditButton3"})
    QVERIFY2(w->findChild<QAction *>(QString::fromLatin1(name)), name);
  for (const char *name : {"SaveDialog1", "ActivityFloatAni", "SizeAnimation", "CheckColumn1"})
    QVERIFY2(w->findChild<QObject *>(QString::fromLatin1(name)), name);

  QCOMPARE(w->ToolBar1->height(), 57);
  QCOMPARE(w->BtnReload->size(), QSize(57, 57));
  QCOMPARE(w->BtnConfig->size(), QSize(57, 57));
  QCOMPARE(w->BntExport->size(), QSize(80, 57));
  QCOMPARE(w->BtnFiltres->size(), QSize(120, 25));
  QCOMPARE(w->Panel1->width(), 120);
  QCOMPARE(w->BntExport->text(), QStringLiteral("Export"));
  QCOMPARE(w->BtnFiltres->text(), QStringLiteral("Filters V"));
  QCOMPARE(w->BtnReload->toolTip(), QStringLiteral("Reload list from PBX"));
  QCOMPARE(w->BntExport->toolTip(), QStringLiteral("Export the list"));
  QCOMPARE(w->BtnFiltres->toolTip(), QStringLiteral("Open/close the filters interface"));
  QCOMPARE(w->BtnConfig->toolTip(), QStringLiteral("Configuration"));
  QCOMPARE(w->SaveDialog1->DefaultExt, QStringLiteral("csv"));

  QCOMPARE(w->ActivityCircle->size(), QSize(64, 66));
  QVERIFY(w->ActivityCircle->isHidden());
  QCOMPARE(w->ActivityFloatAni->duration(), 1000);
  QCOMPARE(w->ActivityFloatAni->loopCount(), -1);
  QCOMPARE(w->ActivityFloatAni->state(), QAbstractAnimation::Running);
  QVERIFY(w->LayoutFilters->isHidden());

  // Toolbar order: reload, export, ..., filters panel, configuration.
  QLayout *toolbar = w->ToolBar1->layout();
  QVERIFY(toolbar->indexOf(w->BtnReload) < toolbar->indexOf(w->BntExport));
  QVERIFY(toolbar->indexOf(w->BntExport) < toolbar->indexOf(w->Panel1));
  QVERIFY(toolbar->indexOf(w->Panel1) < toolbar->indexOf(w->BtnConfig));

  // Before the first show the grid holds only the hidden check column.
  QCOMPARE(w->StringGrid->ColumnCount(), 1);
  QCOMPARE(w->CheckColumn1->Header, QStringLiteral("Check"));
  QVERIFY(!w->StringGrid->isColumnVisible(w->CheckColumn1));
  QCOMPARE(w->StringGrid->columnWidth(w->CheckColumn1), 40);
  QCOMPARE(w->StringGrid->editTriggers(), QAbstractItemView::NoEditTriggers);
  QCOMPARE(w->StringGrid->selectionBehavior(), QAbstractItemView::SelectRows);
  QVERIFY(w->StringGrid->alternatingRowColors());
  QVERIFY(w->StringGrid->tabKeyNavigation());
  QVERIFY(w->StringGrid->horizontalHeader()->sectionsMovable());

  // The program-wide objects exist from creation on.
  QVERIFY(PortConfig);
  QVERIFY(UserTable);
  QVERIFY(PermMap && DidMap && ExtMap);
}

void TestMainWindow::firstStartWithoutSettingsOpensConfiguration() {
  MainWindowFixture f;
  QVERIFY(f.startFake(QStringLiteral("app/grid-users.json")));
  TFMainLarkspan *w = f.createWindows();
  ModalDriver driver;
  bool gridColumnsBuilt = false;
  driver.nextOf<TFormConfig>([&](TFormConfig *dialog) {
    gridColumnsBuilt = w->StringGrid->ColumnCount() == 11;
    dialog->close();
  });
  QVERIFY(f.showAndWait());
  QCOMPARE(driver.fired(), 1);
  QVERIFY(gridColumnsBuilt);           // the columns come before the dialog
  QCOMPARE(f.fake.requests().size(), 0);
  QCOMPARE(w->StringGrid->RowCount(), 0);
  QVERIFY(w->ActivityCircle->isHidden());
  // Nothing was tried, so nothing was traced.
  QVERIFY(f.traceText().isEmpty());
}

void TestMainWindow::reloadFillsGrid() {
  MainWindowFixture f;
  QVERIFY(f.startFake(QStringLiteral("app/grid-users.json")));
  f.writeSettingsForFake();
  TFMainLarkspan *w = f.createWindows();
  VisibilityRecorder indicator(w->ActivityCircle);
  QVERIFY(f.showAndWait());

  QCOMPARE(withoutRepeatedToken(f.requestLines()), ReloadRequests);
  QCOMPARE(indicator.events, (QStringList{QStringLiteral("show"), QStringLiteral("hide")}));
  QVERIFY(!w->forceAutoSizeCol());

  // Ten data columns after the hidden check column, headers from the labels.
  TStringGrid *grid = w->StringGrid;
  QCOMPARE(grid->ColumnCount(), 11);
  QStringList names, headers;
  for (int c = 1; c < grid->ColumnCount(); ++c) {
    names << grid->Column(c)->objectName();
    headers << grid->model()->headerData(c, Qt::Horizontal).toString();
  }
  QCOMPARE(names, (QStringList{"firstname", "lastname", "email", "call_permissions", "extensions", "caller_id", "did",
                               "outgoing_caller_id", "id", "uuid"}));
  QCOMPARE(headers, (QStringList{"firstname", "lastname", "email", "call permissions", "extensions", "caller id", "did",
                                 "outgoing caller id", "id", "uuid"}));

  // Rows in the table's order, extensions as text, joined with the lists.
  QCOMPARE(grid->RowCount(), 8);
  QCOMPARE(gridColumnTexts(*w, QStringLiteral("extensions")),
           (QStringList{"", "100", "1000", "125", "150", "20", "3", "51"}));
  QCOMPARE(gridColumnTexts(*w, QStringLiteral("firstname")).at(5), QStringLiteral("John"));
  QCOMPARE(gridColumnTexts(*w, QStringLiteral("did")).at(5), QStringLiteral("0123456789"));
  QCOMPARE(gridColumnTexts(*w, QStringLiteral("call_permissions")).at(5), QStringLiteral("Internal"));
  QCOMPARE(gridColumnTexts(*w, QStringLiteral("id")).at(5), QStringLiteral("1"));
  QCOMPARE(gridColumnTexts(*w, QStringLiteral("lastname")).at(0), QString()); // null shown empty
  QCOMPARE(PermMap->size(), 2);

  QVERIFY(f.traceText().contains(QStringLiteral("OK")));
}

void TestMainWindow::reloadFailures_data() {
  QTest::addColumn<QString>("why");
  QTest::addColumn<QString>("traced");
  QTest::newRow("exchange down") << "down" << "res: 375";
  QTest::newRow("wrong password") << "password" << "Authentication Failed";
  QTest::newRow("token service fails") << "token500" << "Internal Server Error";
}

// The exchange cannot give a token: the indicator comes and goes, nothing
// is shown to the user, the grid keeps what it had, the log says why.
void TestMainWindow::reloadFailures() {
  QFETCH(QString, why);
  QFETCH(QString, traced);
  MainWindowFixture f;
  QVERIFY(f.startFake(QStringLiteral("app/grid-users.json")));
  if (why == QLatin1String("down"))
    f.writeSettings(QStringLiteral("https://127.0.0.1:%1").arg(closedPort()), f.fake.login(), f.fake.password());
  else if (why == QLatin1String("password"))
    f.writeSettings(f.fake.baseUrl(), f.fake.login(), QStringLiteral("not-the-password"));
  else {
    f.writeSettingsForFake();
    QVERIFY(f.fake.respond(QStringLiteral("/api/auth/0.1/token"), 500, "application/json",
                           "{\"reason\": [\"Internal Server Error\"], \"timestamp\": [1733912345.1], "
                           "\"status_code\": 500}"));
  }
  TFMainLarkspan *w = f.createWindows();
  VisibilityRecorder indicator(w->ActivityCircle);
  WindowRecorder windows;
  QVERIFY(f.showAndWait());

  QCOMPARE(indicator.events, (QStringList{QStringLiteral("show"), QStringLiteral("hide")}));
  QCOMPARE(windows.shown, QStringList{QStringLiteral("TFMainLarkspan")}); // no message box
  QCOMPARE(w->StringGrid->RowCount(), 0);
  QCOMPARE(w->StringGrid->ColumnCount(), 11);
  for (const FakeRequest &r : f.fake.requests())
    QVERIFY2(!r.path.startsWith("/api/confd"), r.path.constData()); // no list without a token
  QVERIFY2(f.traceText().contains(traced), qPrintable(f.traceText()));
  QVERIFY(w->forceAutoSizeCol());
  QVERIFY(!w->isBusy());
  QVERIFY(w->BtnReload->isEnabled());
}

void TestMainWindow::permissionsFailWhileUsersSucceed() {
  MainWindowFixture f;
  QVERIFY(f.startFake(QStringLiteral("app/grid-users.json")));
  QVERIFY(f.fake.failWith(QStringLiteral("/api/confd/1.1/callpermissions"), 500));
  f.writeSettingsForFake();
  TFMainLarkspan *w = f.createWindows();
  QVERIFY(f.showAndWait());
  QCOMPARE(withoutRepeatedToken(f.requestLines()), ReloadRequests); // the reload went on
  QCOMPARE(w->StringGrid->RowCount(), 8);
  QCOMPARE(PermMap->size(), 0);
  // The user's own permission name comes with the user.
  QCOMPARE(gridColumnTexts(*w, QStringLiteral("call_permissions")).at(5), QStringLiteral("Internal"));
}

void TestMainWindow::usersFailureKeepsGrid() {
  MainWindowFixture f;
  QVERIFY(f.startFake(QStringLiteral("app/grid-users.json")));
  f.writeSettingsForFake();
  TFMainLarkspan *w = f.createWindows();
  QVERIFY(f.showAndWait());
  const QStringList before = gridColumnTexts(*w, QStringLiteral("uuid"));
  QCOMPARE(before.size(), 8);

  // The exchange loses a user, but the users list then fails.
  QJsonObject state = f.fake.state();
  QJsonArray users = state.value(QStringLiteral("users")).toArray();
  users.removeAt(0);
  state.insert(QStringLiteral("users"), users);
  const QString changed = f.dir.filePath(QStringLiteral("changed.json"));
  QVERIFY(writeFileBytes(changed, QJsonDocument(state).toJson()));
  QVERIFY(f.fake.loadDataset(changed));
  QVERIFY(f.fake.failWith(QStringLiteral("/api/confd/1.1/users"), 503));
  QVERIFY(f.reloadAndWait());
  QCOMPARE(gridColumnTexts(*w, QStringLiteral("uuid")), before);
  QCOMPARE(UserTable->rowCount(), 8);

  QVERIFY(f.fake.clearFaults());
  QVERIFY(f.reloadAndWait());
  QCOMPARE(w->StringGrid->RowCount(), 7);
}

void TestMainWindow::widthsFittedOnFirstSuccessfulReloadOnly() {
  MainWindowFixture f;
  QVERIFY(f.startFake(QStringLiteral("app/grid-users.json")));
  QVERIFY(f.fake.failWith(QStringLiteral("/api/confd/1.1/users"), 500, QString(), 1));
  f.writeSettingsForFake();
  TFMainLarkspan *w = f.createWindows();
  QVERIFY(f.showAndWait());
  TStringGrid *grid = w->StringGrid;
  auto width = [grid](const char *field) {
    return grid->columnWidth(grid->columnByName(QString::fromLatin1(field)));
  };
  // The first reload failed: the declared sizes.
  QCOMPARE(width("id"), 5);
  QCOMPARE(width("extensions"), 20);
  QCOMPARE(width("firstname"), 80);
  QVERIFY(w->forceAutoSizeCol());

  QVERIFY(f.reloadAndWait());
  QVERIFY(!w->forceAutoSizeCol());
  const QFontMetricsF metrics(grid->font());
  auto fitted = [&](const char *field) {
    int widest = qRound(metrics.horizontalAdvance(grid->columnByName(QString::fromLatin1(field))->Header));
    for (const QString &text : gridColumnTexts(*w, QString::fromLatin1(field)))
      widest = std::max(widest, qRound(metrics.horizontalAdvance(text)));
    return widest + 15;
  };
  for (const char *field : {"firstname", "email", "id", "uuid", "did"})
    QCOMPARE(width(field), fitted(field));
  QCOMPARE(grid->columnWidth(w->CheckColumn1), 40); // hidden: untouched

  // The user widens a column; later reloads keep it.
  grid->setColumnWidth(grid->columnByName(QStringLiteral("email")), 333);
  QVERIFY(f.reloadAndWait());
  QCOMPARE(width("email"), 333);
  QCOMPARE(width("id"), fitted("id"));
}

void TestMainWindow::changedConnectionReloads() {
  MainWindowFixture f;
  QVERIFY(f.startFake(QStringLiteral("app/grid-users.json")));
  TFMainLarkspan *w = f.createWindows();
  ModalDriver driver;
  driver.nextOf<TFormConfig>([&](TFormConfig *dialog) {
    // Edits save the settings at once; the changed summary asks for a reload.
    const QPair<QLineEdit *, QString> typed[] = {
        {dialog->EdURL, f.fake.baseUrl()}, {dialog->EdLogin, f.fake.login()}, {dialog->EdPassword, f.fake.password()}};
    for (const auto &[edit, text] : typed) {
      edit->selectAll();
      QTest::keyClicks(edit, text);
      emit edit->editingFinished(); // as when the field loses the focus
    }
    dialog->close();
  });
  QSignalSpy reloads(w, &TFMainLarkspan::reloadFinished);
  QVERIFY(f.showAndWait());
  QCOMPARE(driver.fired(), 1);
  QCOMPARE(reloads.count(), 1);
  QCOMPARE(w->StringGrid->RowCount(), 8);
  QVERIFY(QFile::exists(f.settingsFile()));

  // Opened and closed without a change: no reload.
  driver.nextOf<TFormConfig>([](TFormConfig *dialog) { dialog->close(); });
  QTest::mouseClick(w->BtnConfig, Qt::LeftButton);
  QCOMPARE(driver.fired(), 2);
  QCOMPARE(reloads.count(), 1);
}

// Input that the trace writer lets through during a reload starts nothing.
void TestMainWindow::inputRefusedDuringReload() {
  MainWindowFixture f;
  QVERIFY(f.startFake(QStringLiteral("app/grid-users.json")));
  f.writeSettingsForFake();
  TFMainLarkspan *w = f.createWindows();
  QVERIFY(f.showAndWait());
  QVERIFY(f.fake.clearRequests());
  QVERIFY(f.fake.delay(QStringLiteral("/api/confd/1.1/users"), 300));

  bool busySeen = false, enabledSeen = true;
  ModalDriver driver; // would catch a dialog opened by a click
  driver.next([](QWidget *) { return true; }, [](QWidget *window) { window->close(); });
  // Runs inside the reload's wait for the users list.
  QTimer probe;
  probe.setInterval(0);
  connect(&probe, &QTimer::timeout, w, [&] {
    if (!w->isReloading() || busySeen)
      return;
    busySeen = true;
    enabledSeen = w->BtnReload->isEnabled() || w->EdFirstName->isEnabled() || w->StringGrid->isEnabled();
    QTest::mouseClick(w->BtnReload, Qt::LeftButton);
    QTest::mouseClick(w->BtnConfig, Qt::LeftButton);
    QTest::mouseClick(w->BtnFiltres, Qt::LeftButton);
    QTest::keyClicks(w->EdFirstName, QStringLiteral("jo"));
  });
  probe.start();
  QVERIFY(f.reloadAndWait());
  probe.stop();
  QVERIFY(busySeen);
  QVERIFY(!enabledSeen);
  QCOMPARE(driver.fired(), 0);
  QCOMPARE(f.fake.requests("GET", "/api/confd/1.1/users").size(), 1); // no second reload
  QVERIFY(w->EdFirstName->text().isEmpty());
  QVERIFY(w->LayoutFilters->isHidden());
  QVERIFY(w->BtnReload->isEnabled());
  QVERIFY(w->EdFirstName->isEnabled());
  QVERIFY(w->StringGrid->isEnabled());
}

void TestMainWindow::closeDuringReloadReleasesNothingEarly() {
  MainWindowFixture f;
  QVERIFY(f.startFake(QStringLiteral("app/grid-users.json")));
  f.writeSettingsForFake();
  QVERIFY(f.fake.delay(QStringLiteral("/api/confd/1.1/users"), 300));
  TFMainLarkspan *w = f.createWindows();

  bool closeTried = false, aliveAfterClose = false;
  QTimer probe;
  probe.setInterval(0);
  connect(&probe, &QTimer::timeout, w, [&] {
    if (!w->isReloading() || closeTried)
      return;
    closeTried = true;
    const bool closed = w->close();
    aliveAfterClose = !closed && UserTable && PortConfig && PermMap && traceIsOpen() && w->isVisible();
  });
  probe.start();
  QSignalSpy finished(w, &TFMainLarkspan::reloadFinished);
  w->show();
  QVERIFY(finished.wait(20000));
  probe.stop();
  QVERIFY(closeTried);
  QVERIFY(aliveAfterClose);
  // The reload ran to its end, then the window closed and released.
  QVERIFY(f.traceText().contains(QStringLiteral("\"items\"")));
  QTRY_VERIFY(w->isReleased());
  QVERIFY(!w->isVisible());
  QVERIFY(!UserTable);
  QVERIFY(!PortConfig);
  QVERIFY(!traceIsOpen());
}

QTEST_MAIN(TestMainWindow)
#include "test_mainwindow.moc"
