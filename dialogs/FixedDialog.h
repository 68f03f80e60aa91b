#pragma once
// A dialog with a fixed border and client size that is centred over its owner (or
// the screen) the first time it is shown and comes back where it was last closed.

#include <QDialog>

namespace dorvanta {

class TFixedDialog : public QDialog {
    Q_OBJECT
  public:
    enum class FirstPlace { OverOwner, ScreenCentre };
    TFixedDialog(QWidget* owner, const QSize& clientSize,
                 FirstPlace firstPlace = FirstPlace::OverOwner);

  protected:
    void showEvent(QShowEvent* event) override;
    void done(int result) override;

  private:
    FirstPlace firstPlace_;
    bool placed_ = false;
    QPoint lastPos_;
};

}  // namespace dorvanta
