#pragma once
// One program start for a widget test: a fresh working directory, the fake
// exchange, a settings file pointing at it, and the three windows created
// the way the program's entry creates them.

#include "FakeExchange.h"
#include "TempWorkDir.h"

#include <QString>
#include <QStringList>

#include <memory>

class TFMainLarkspan;

class MainWindowFixture {
public:
  MainWindowFixture();
  ~MainWindowFixture();
  MainWindowFixture(const MainWindowFixture &) = delete;
  MainWindowFixture &operator=(const MainWindowFixture &) = delete;

  TempWorkDir dir;
  FakeExchange fake;

  // Starts the fake with a dataset under tests/data, or generated users.
  bool startFake(const QString &dataset);
  bool startFakeWithUsers(int users);
  // The settings file of this program in the working directory.
  QString settingsFile() const;
  QString traceFile() const;
  void writeSettings(const QString &baseUrl, const QString &login, const QString &password);
  void writeSettingsForFake();

  // Main window, then the configuration dialog, then the user dialog.
  TFMainLarkspan *createWindows();
  // Shows the main window and waits until its first show has run.
  bool showAndWait();
  // Clicks the reload button and waits until the reload has ended.
  bool reloadAndWait();
  TFMainLarkspan *window() const { return m_window.get(); }

  QString traceText() const;
  // Requests the fake read after `fromSeq` (0: all), as "METHOD path".
  QStringList requestLines() const;

private:
  std::unique_ptr<TFMainLarkspan> m_window;
};

// The texts of one grid column by field name, in row order.
QStringList gridColumnTexts(const TFMainLarkspan &window, const QString &field);
