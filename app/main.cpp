#include <QApplication>

#include "mainwindow/MainWindow.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Dorvanta"));
    dorvanta::TForm1 window;
    window.show();
    return QApplication::exec();
}
