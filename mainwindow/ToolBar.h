#pragma once
// The row of tool buttons at the top of the window, at their designed places;
// a caption the font makes wider than its button widens the button.

#include <QWidget>
#include <array>

class QToolButton;

namespace dorvanta {

class TToolBar : public QWidget {
    Q_OBJECT
  public:
    enum TButton { New, Open, Save, NewKey, DelKey, ShowData, CompressView, Exit, kCount };

    static constexpr int kDesignWidth = 790;

    explicit TToolBar(QWidget* parent = nullptr);

    QToolButton* Button(TButton which) const { return buttons_[which]; }
    // The width a tool button's style leaves for its caption, which it elides past that.
    static int ToolButtonTextSpace(const QToolButton* button);

  protected:
    void changeEvent(QEvent* event) override;

  private:
    // Widens a tool button whose caption the font makes too wide for it; the
    // buttons after it move right by as much.
    void LayoutButtons();

    std::array<QToolButton*, kCount> buttons_{};
};

}  // namespace dorvanta
