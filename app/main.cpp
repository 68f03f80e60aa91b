#include "mainwindow/MainWindow.h"
#include "platform/Application.h"
#include "setup/Setup.h"

int main(int argc, char** argv) {
    dorvanta::TApplication app(argc, argv);
    dorvanta::TForm1 window;
    // A start that only uninstalled ends without showing the window.
    if (!window.QZSetup->ExitRequested()) window.show();
    return dorvanta::TApplication::exec();
}
