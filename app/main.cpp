#include "mainwindow/MainWindow.h"
#include "platform/Application.h"

int main(int argc, char** argv) {
    dorvanta::TApplication app(argc, argv);
    dorvanta::TForm1 window;
    // A start that only uninstalled or only updated ends without showing the window.
    if (window.ExitRequested()) return 0;
    window.show();
    return dorvanta::TApplication::exec();
}
