#pragma once
// A horizontally scrollable strip: when its panel is wider than the window, arrow
// buttons at both ends scroll it, as a tool bar's page scroller does.

#include <QWidget>

class QScrollArea;
class QToolButton;

namespace dorvanta {

class TPageScroller : public QWidget {
    Q_OBJECT
  public:
    TPageScroller(QWidget* panel, QWidget* parent = nullptr);
    void ScrollBy(int dx);
    int Position() const;

  protected:
    void resizeEvent(QResizeEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

  private:
    void UpdateArrows();
    QScrollArea* area_;
    QToolButton* left_;
    QToolButton* right_;
};

}  // namespace dorvanta
