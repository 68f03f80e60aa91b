#pragma once
// A line edit that never offers its selection as X11's primary selection: no
// clipboard history could tell that from any other text, and nothing would
// clear it, so a secret selected there would stay readable by every program
// (even after a lock). The editor fields and the search field are such edits.

#include <QLineEdit>

namespace dorvanta {

class TNoPrimaryLineEdit : public QLineEdit {
    Q_OBJECT
  public:
    explicit TNoPrimaryLineEdit(QWidget* parent = nullptr) : QLineEdit(parent) {}

  protected:
    void keyPressEvent(QKeyEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    // Takes back the primary selection the line edit has just offered.
    void WithdrawPrimary();
};

}  // namespace dorvanta
