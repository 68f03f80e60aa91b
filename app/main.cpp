#include "mainwindow/MainWindow.h"
#include "platform/Application.h"

int main(int argc, char** argv) {
    dorvanta::TApplication app(argc, argv);
    dorvanta::TForm1 window;
    window.show();
    return dorvanta::TApplication::exec();
}
