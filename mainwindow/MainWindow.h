#pragma once
#include <QMainWindow>

#include "store/Document.h"

namespace dorvanta {

// The program's main window.
class TForm1 : public QMainWindow {
    Q_OBJECT
public:
    explicit TForm1(QWidget* parent = nullptr);

    TDocument& Document() { return document_; }

private:
    TDocument document_;
};

}  // namespace dorvanta
