#include "mainwindow/PageScroller.h"

#include <QScrollArea>
#include <QScrollBar>
#include <QToolButton>
#include <QWheelEvent>

namespace dorvanta {

namespace {
constexpr int kArrowWidth = 14;
constexpr int kStep = 24;
}  // namespace

TPageScroller::TPageScroller(QWidget* panel, QWidget* parent) : QWidget(parent) {
    area_ = new QScrollArea(this);
    area_->setFrameShape(QFrame::NoFrame);
    // The tool bar is worked by mouse and menu keys; Tab passes it by.
    area_->setFocusPolicy(Qt::NoFocus);
    area_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    area_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    area_->setWidget(panel);
    left_ = new QToolButton(this);
    left_->setArrowType(Qt::LeftArrow);
    right_ = new QToolButton(this);
    right_->setArrowType(Qt::RightArrow);
    // Arrows alone say nothing to a screen reader.
    left_->setToolTip(QStringLiteral("Nach links blättern"));
    left_->setAccessibleName(left_->toolTip());
    right_->setToolTip(QStringLiteral("Nach rechts blättern"));
    right_->setAccessibleName(right_->toolTip());
    for (QToolButton* b : {left_, right_}) {
        b->setAutoRepeat(true);
        b->setFocusPolicy(Qt::NoFocus);
    }
    connect(left_, &QToolButton::clicked, this, [this] { ScrollBy(-kStep); });
    connect(right_, &QToolButton::clicked, this, [this] { ScrollBy(kStep); });
    connect(area_->horizontalScrollBar(), &QScrollBar::valueChanged, this,
            [this] { UpdateArrows(); });
    connect(area_->horizontalScrollBar(), &QScrollBar::rangeChanged, this,
            [this] { UpdateArrows(); });
}

void TPageScroller::ScrollBy(int dx) {
    QScrollBar* bar = area_->horizontalScrollBar();
    bar->setValue(bar->value() + dx);
}

int TPageScroller::Position() const {
    return area_->horizontalScrollBar()->value();
}

void TPageScroller::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    area_->setGeometry(rect());
    UpdateArrows();
}

void TPageScroller::wheelEvent(QWheelEvent* event) {
    ScrollBy(event->angleDelta().y() > 0 ? -kStep : kStep);
    event->accept();
}

void TPageScroller::UpdateArrows() {
    QScrollBar* bar = area_->horizontalScrollBar();
    left_->setGeometry(0, 0, kArrowWidth, height());
    right_->setGeometry(width() - kArrowWidth, 0, kArrowWidth, height());
    left_->setVisible(bar->value() > bar->minimum());
    right_->setVisible(bar->value() < bar->maximum());
    left_->raise();
    right_->raise();
}

}  // namespace dorvanta
