#include <sys/prctl.h>

#include <csignal>
#include <iostream>

#include "app/StartOptions.h"
#include "mainwindow/MainWindow.h"
#include "platform/Application.h"
#include "platform/FreedMemory.h"
#include "platform/System.h"
#include "platform/TerminationWatch.h"
#include "session/DocumentSession.h"

int main(int argc, char** argv) {
    // A core dump would carry the open collection's texts and password to disk;
    // this also keeps other programs of the same user from reading our memory.
    ::prctl(PR_SET_DUMPABLE, 0);
    // Past a file-size limit (ulimit -f) a write is to fail with EFBIG and be
    // reported like a full disk, not end the program and its unsaved work with SIGXFSZ.
    std::signal(SIGXFSZ, SIG_IGN);
    // Before the first string: a lock must leave no copy of a secret in freed memory.
    dorvanta::OverwriteFreedMemory();
    // Before QApplication, which would need a display and take Qt's own options.
    if (const auto code = dorvanta::HandleStartOptions(
            std::vector<std::string>(argv + 1, argv + argc),
            dorvanta::GetFileVersionText().toStdString(), std::cout, std::cerr)) {
        return *code;
    }
    dorvanta::TApplication app(argc, argv);
    // The open collection belongs to no window; it outlives the main window.
    dorvanta::TDocumentSession session;
    dorvanta::TMainWindow window(session);
    // A start that only uninstalled or only updated ends without showing the window.
    if (window.ExitRequested()) return 0;
    // SIGTERM (logout, shutdown) ends the program as a logout does, from the event
    // loop: unsaved changes go into the recovery file, not lost without a word.
    dorvanta::TTerminationWatch termination;
    QObject::connect(&termination, &dorvanta::TTerminationWatch::Terminated, &window, [&window] {
        window.EndOfSession(false);
        dorvanta::TApplication::quit();
    });
    window.show();
    return dorvanta::TApplication::exec();
}
