#pragma once
// The main window: toolbar, users grid, filter bar and activity indicator.
// It owns everything program-wide (trace log, PortConfig, UserTable and the
// maps) from its creation to its close, and runs the reload that reads every
// list from the exchange.
//
// Implementation by role: FLarkspan.cpp (window, life cycle, reload),
// FLarkspanGrid.cpp (grid), FLarkspanFilters.cpp (filter bar),
// FLarkspanExport.cpp (export button).

#include "SaveDialog.h"
#include "StringGrid.h"

#include <QMainWindow>
#include <QPointer>

class QAction;
class QFrame;
class QLabel;
class QLineEdit;
class QPropertyAnimation;
class QPushButton;
class QScrollArea;
class QToolButton;
class QVariantAnimation;
class TActivityArc;
class TShapeCircle;

class TFMainLarkspan final : public QMainWindow {
  Q_OBJECT
public:
  explicit TFMainLarkspan(QWidget *parent = nullptr);
  ~TFMainLarkspan() override;

  QScrollArea *VertScrollBox1;
  QWidget *MainLayout1;
  QFrame *ToolBar1;
  QToolButton *BtnReload;
  QToolButton *BtnConfig;
  QToolButton *BntExport;
  TSaveDialog *SaveDialog1;
  TStringGrid *StringGrid;
  TGridColumn *CheckColumn1;
  TShapeCircle *ActivityCircle;
  TActivityArc *ActivityArc;
  QPropertyAnimation *ActivityFloatAni;
  TShapeCircle *ClipCircle;
  QFrame *Panel1;
  QPushButton *BtnFiltres;
  QWidget *LayoutFilters;
  QLineEdit *EdFirstName;
  QLineEdit *EdLastName;
  QLabel *Label1;
  QLabel *lblEdFirstName;
  QAction *ClearEditButton1;
  QAction *ClearEditButton2;
  QVariantAnimation *SizeAnimation;
  QLabel *Label5;
  QLineEdit *EdExtension;
  QAction *ClearEditButton3;

  // True until the first reload that loaded the user list.
  bool forceAutoSizeCol() const { return bForceAutoSizeCol; }
  // A reload, a dialog or an export is running: commands take no input and
  // a close waits for its end.
  bool isBusy() const { return m_busy > 0; }
  bool isReloading() const { return m_reloadDepth > 0; }
  // FormClose has run: the program-wide objects are released.
  bool isReleased() const { return m_released; }

signals:
  // Emitted when the outermost reload has ended, also after a failure.
  void reloadFinished();
  // Emitted when FormShow has run (columns built, reload or dialog done).
  void formShown();

public slots:
  void FormCreate(QObject *Sender);
  void FormShow(QObject *Sender);
  void FormClose(QObject *Sender);
  void BtnReloadClick(QObject *Sender);
  void BtnConfigClick(QObject *Sender);
  void BtnExportXLSXClick(QObject *Sender);
  void BtnFiltresClick(QObject *Sender);
  void FilterChange(QObject *Sender);

  void RefreshGrid();
  void AutoSizeColumns(TStringGrid *Grid);
  void StringGridApplyStyleLookup(QObject *Sender);
  void StringGridHeaderClick(TGridColumn *Column);
  void StringGridCellClick(TGridColumn *Column, int Row);
  void StringGridMouseMove(QObject *Sender, Qt::KeyboardModifiers Shift, qreal X, qreal Y);

protected:
  void showEvent(QShowEvent *event) override;
  void closeEvent(QCloseEvent *event) override;
  bool eventFilter(QObject *watched, QEvent *event) override;

private:
  friend class TBusyScope;
  void buildWindow();
  void buildToolBar();
  void buildGrid();
  void buildFilterBar();
  void buildActivityIndicator();
  void connectHandlers();
  void centreActivityIndicator();
  void setupGridColumns();
  void enterBusy();
  void leaveBusy();
  void releaseAll();

  bool bForceAutoSizeCol = false;

  QString m_settingsFile;
  // The last body of each list the reload requested.
  QString m_permissionsText;
  QString m_incallsText;
  QString m_extensionsText;
  QString m_usersText;

  int m_busy = 0;
  int m_reloadDepth = 0;
  bool m_closePending = false;
  bool m_shown = false;
  bool m_released = false;
  QPointer<QWidget> m_focusBeforeBusy;
};

// Marks an operation that must finish before the window takes input again
// or may close.
class TBusyScope {
public:
  explicit TBusyScope(TFMainLarkspan &window) : m_window(window) { m_window.enterBusy(); }
  ~TBusyScope() { m_window.leaveBusy(); }
  TBusyScope(const TBusyScope &) = delete;
  TBusyScope &operator=(const TBusyScope &) = delete;

private:
  TFMainLarkspan &m_window;
};
