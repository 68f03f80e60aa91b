#include "platform/Application.h"

#include <QEventLoop>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>
#include <exception>
#include <thread>

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
    // Qt's dialogs also format sizes, dates and month names by the default locale
    // (the file dialog's list by the system locale: MessageService sees to it).
    // What the program formats in the user's own way (the update wizard's sizes
    // and times, an entry's date) asks QLocale::system() explicitly.
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    MessageService::Instance();  // reads the test switches before the first question
}

bool TApplication::notify(QObject* receiver, QEvent* event) {
    bool handled = false;
    // An error leaves the command it ended; the program goes on.
    RunGuarded([&] { handled = QApplication::notify(receiver, event); });
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
