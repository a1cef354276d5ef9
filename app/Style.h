#pragma once
// The program's look, "MaterialOxfordBlueSB": a dark oxford-blue material
// style sheet applied to the whole application, so the main window, the
// dialogs and the message dialog all take it.

class QApplication;
class QString;

void applyLarkspanStyle(QApplication &app);
// The style sheet text from the resources.
QString larkspanStyleSheet();
