#include "mainwindow/MainWindow.h"

namespace dorvanta {

TForm1::TForm1(QWidget* parent) : QMainWindow(parent) {
    setWindowTitle(QStringLiteral("Dorvanta"));
    resize(790, 327);
}

}  // namespace dorvanta
