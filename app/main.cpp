// Program entry: the three windows, then the message loop.
#include "FConfig.h"
#include "FLarkspan.h"
#include "FUser.h"
#include "LarkspanApplication.h"

int main(int argc, char *argv[]) {
  TLarkspanApplication app(argc, argv);
  setupLarkspanApplication(app);

  auto *mainWindow = new TFMainLarkspan;
  FormConfig = new TFormConfig(mainWindow);
  FFormUser = new TFFormUser(mainWindow);
  // Only now: the first show may open the configuration dialog at once.
  mainWindow->show();
  const int code = app.exec();

  // The dialogs belong to the main window; forget them before it goes.
  FFormUser = nullptr;
  FormConfig = nullptr;
  delete mainWindow;
  return code;
}
