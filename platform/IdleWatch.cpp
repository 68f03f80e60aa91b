#include "platform/IdleWatch.h"

#include <QCoreApplication>
#include <QEvent>

namespace dorvanta {

TIdleWatch::TIdleWatch(QObject* parent) : QObject(parent) {
    timer_.setSingleShot(true);
    connect(&timer_, &QTimer::timeout, this, &TIdleWatch::Idle);
    if (QCoreApplication* app = QCoreApplication::instance()) app->installEventFilter(this);
}

TIdleWatch::~TIdleWatch() {
    if (QCoreApplication* app = QCoreApplication::instance()) app->removeEventFilter(this);
}

void TIdleWatch::SetInterval(int ms) {
    interval_ = ms > 0 ? ms : 0;
    if (interval_ == 0) {
        timer_.stop();
    } else {
        timer_.start(interval_);
    }
}

bool TIdleWatch::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
        case QEvent::KeyPress:
        case QEvent::MouseButtonPress:
        case QEvent::MouseMove:
        case QEvent::Wheel:
        case QEvent::TouchBegin:
            if (interval_ > 0) timer_.start(interval_);
            break;
        default:
            break;
    }
    return QObject::eventFilter(watched, event);
}

}  // namespace dorvanta
