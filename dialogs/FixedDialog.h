#pragma once
// A dialog with a fixed border and client size that is centred over its owner (or
// the screen) the first time it is shown and comes back where it was last closed.
// It is widened, never narrowed, where its title would not fit the title bar.

#include <QDialog>

class QStyle;

namespace dorvanta {

class TFixedDialog : public QDialog {
    Q_OBJECT
  public:
    enum class FirstPlace { OverOwner, ScreenCentre };
    TFixedDialog(QWidget* owner, const QSize& clientSize,
                 FirstPlace firstPlace = FirstPlace::OverOwner);

    // The width a window needs to show `title` whole in its title bar.
    static int TitleBarWidth(const QString& title, const QStyle* style);

  protected:
    // The designed client size; the width grows where the title needs more.
    void SetClientSize(const QSize& clientSize);
    bool event(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void done(int result) override;

  private:
    void FitTitle();

    QSize clientSize_;
    FirstPlace firstPlace_;
    bool placed_ = false;
    QPoint lastPos_;
};

}  // namespace dorvanta
