#pragma once
// A dialog with a fixed border and client size that is centred over its owner
// the first time it is shown and comes back where it was last closed.

#include <QDialog>

namespace dorvanta {

class TFixedDialog : public QDialog {
    Q_OBJECT
  public:
    TFixedDialog(QWidget* owner, const QSize& clientSize);

  protected:
    void showEvent(QShowEvent* event) override;
    void done(int result) override;

  private:
    bool placed_ = false;
    QPoint lastPos_;
};

}  // namespace dorvanta
