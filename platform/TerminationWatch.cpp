#include "platform/TerminationWatch.h"

#include <fcntl.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <cerrno>
#include <csignal>

namespace dorvanta {
namespace {

// The pipe's ends; the handler may touch nothing else.
int g_pipe[2] = {-1, -1};
struct sigaction g_former {};

void OnTerminate(int) {
    const int saved = errno;
    const char byte = 1;
    // A full pipe already holds a wake-up.
    [[maybe_unused]] const ssize_t written = ::write(g_pipe[1], &byte, 1);
    errno = saved;
}

}  // namespace

TTerminationWatch::TTerminationWatch(QObject* parent) : QObject(parent) {
    struct sigaction current {};
    ::sigaction(SIGTERM, nullptr, &current);
    if (current.sa_handler == SIG_IGN || g_pipe[0] >= 0) return;
    if (::pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        g_pipe[0] = g_pipe[1] = -1;
        return;
    }
    notifier_ = new QSocketNotifier(g_pipe[0], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &TTerminationWatch::Drain);
    struct sigaction action {};
    action.sa_handler = OnTerminate;
    ::sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    installed_ = ::sigaction(SIGTERM, &action, &g_former) == 0;
}

TTerminationWatch::~TTerminationWatch() {
    if (!notifier_) return;
    if (installed_) ::sigaction(SIGTERM, &g_former, nullptr);
    delete notifier_;
    ::close(g_pipe[0]);
    ::close(g_pipe[1]);
    g_pipe[0] = g_pipe[1] = -1;
}

void TTerminationWatch::Drain() {
    char bytes[64];
    while (::read(g_pipe[0], bytes, sizeof bytes) > 0) {
    }
    emit Terminated();
}

}  // namespace dorvanta
