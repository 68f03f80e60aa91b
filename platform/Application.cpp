#include "platform/Application.h"

#include <QEventLoop>
#include <QLibraryInfo>
#include <QLocale>
#include <QPointer>
#include <QTranslator>
#include <QWidget>
#include <exception>
#include <thread>

#include "platform/GermanFormat.h"
#include "platform/MessageService.h"
#include "platform/System.h"
#include "store/ErrorMessage.h"

namespace dorvanta {

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv) {
    SetApplicationTitle(QStringLiteral("Dorvanta"));
    // Links the windows to the installed menu entry and its icon.
    setDesktopFileName(QStringLiteral("example.qz_software.Dorvanta"));
    // Qt's own texts (file dialogs, edit menus, the overwrite question) in German,
    // whatever language the user's desktop has.
    auto* translator = new QTranslator(this);
    if (translator->load(QStringLiteral("qtbase_de"),
                         QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        installTranslator(translator);
    }
    // Qt's dialogs and spin boxes format sizes, dates and month names by the
    // default locale (the file dialog's list by the system locale: MessageWidgets
    // sees to it). The program's own texts use GermanFormat and ask neither.
    QLocale::setDefault(GermanLocale());
    MessageService::Instance();  // reads the test switches before the first question
}

bool TApplication::notify(QObject* receiver, QEvent* event) {
    bool handled = false;
    // An error leaves the command it ended; the program goes on.
    RunGuarded([&] {
        // The fit comes after the window's own show handling: a dialog centres
        // itself over its owner there, and a message box takes its size.
        if (!screenFit_.Watches(receiver, event)) {
            handled = QApplication::notify(receiver, event);
            return;
        }
        const QPointer<QObject> alive(receiver);
        handled = QApplication::notify(receiver, event);
        if (alive) screenFit_.Delivered(receiver, event);
    });
    return handled;
}

bool RunGuarded(const std::function<void()>& action) {
    QString message;
    try {
        action();
        return true;
    } catch (...) {
        // German texts only: out of memory, the program's own messages, else a general one.
        message = QString::fromStdString(CurrentErrorMessage());
    }
    // Shown outside the handler so that the box's own events are delivered normally.
    MessageService::Instance().ShowApplicationError(message);
    return false;
}

namespace {

// Swallows user input meant for any window but one while it lives.
class TInputGate : public QObject {
  public:
    explicit TInputGate(QWidget* open) : open_(open) { qApp->installEventFilter(this); }
    ~TInputGate() override { qApp->removeEventFilter(this); }
    TInputGate(const TInputGate&) = delete;
    TInputGate& operator=(const TInputGate&) = delete;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        switch (event->type()) {
            case QEvent::MouseButtonPress:
            case QEvent::MouseButtonRelease:
            case QEvent::MouseButtonDblClick:
            case QEvent::Wheel:
            case QEvent::KeyPress:
            case QEvent::KeyRelease:
            case QEvent::ShortcutOverride:
            case QEvent::Shortcut:
            case QEvent::ContextMenu:
            case QEvent::Drop:
            case QEvent::TouchBegin:
            case QEvent::TabletPress:
                break;
            default:
                return false;
        }
        // Input reaches a window first and is then passed to its widgets: it is
        // judged at the widgets.
        const auto* widget = qobject_cast<QWidget*>(watched);
        if (!widget || (open_ && (widget == open_ || open_->isAncestorOf(widget)))) return false;
        // An accepted override keeps a shortcut of the other window from firing.
        if (event->type() == QEvent::ShortcutOverride) event->accept();
        return true;
    }

  private:
    QPointer<QWidget> open_;
};

}  // namespace

void RunBeside(QWidget* window, const std::function<void()>& work) {
    const TInputGate gate(window);
    QEventLoop loop;
    // The quit is queued: it is delivered by loop.exec() even when the work ends
    // before the loop has started.
    std::thread worker([&] {
        work();
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    loop.exec();
    worker.join();
}

void RunBusy(const std::function<void()>& work) {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    QEventLoop loop;
    // The quit is queued: it is delivered by loop.exec() even when the work ends
    // before the loop has started.
    std::thread worker([&] {
        work();
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    worker.join();
    QApplication::restoreOverrideCursor();
}

}  // namespace dorvanta
