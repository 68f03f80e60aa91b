#include "tools/TerminalPrompt.h"

#include <fcntl.h>
#include <poll.h>
#include <sodium.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <iterator>

namespace dorvanta::cli {
namespace {

// The signals that end the program while it waits: each is caught, the echo
// restored, and the signal raised again with its former handler.
constexpr int kEndingSignals[] = {SIGINT, SIGTERM, SIGQUIT, SIGHUP};
// Ctrl+Z and the shell's fg: the echo goes back on while the program is stopped,
// and off again when it goes on.
constexpr int kPausingSignals[] = {SIGTSTP, SIGCONT};
constexpr std::size_t kCaughtCount = std::size(kEndingSignals) + std::size(kPausingSignals);

volatile std::sig_atomic_t g_caught = 0;
volatile std::sig_atomic_t g_stop = 0;
volatile std::sig_atomic_t g_continued = 0;

extern "C" void RememberSignal(int signal) {
    if (signal == SIGTSTP) {
        g_stop = 1;
    } else if (signal == SIGCONT) {
        g_continued = 1;
    } else {
        g_caught = signal;
    }
}

int CaughtSignal(std::size_t i) {
    return i < std::size(kEndingSignals) ? kEndingSignals[i]
                                         : kPausingSignals[i - std::size(kEndingSignals)];
}

void WriteAll(int fd, const char* text) {
    std::size_t left = std::strlen(text);
    while (left > 0) {
        const ssize_t n = ::write(fd, text, left);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;  // a prompt that cannot be shown still lets the user type
        text += n;
        left -= static_cast<std::size_t>(n);
    }
}

// Catches the ending and pausing signals that are not ignored, and blocks them
// except while the prompt waits for a key (ppoll), so none slips in between a
// check and a wait.
class TSignalCatcher {
  public:
    TSignalCatcher() {
        g_caught = 0;
        g_stop = 0;
        g_continued = 0;
        sigset_t caught;
        sigemptyset(&caught);
        for (std::size_t i = 0; i < kCaughtCount; ++i) sigaddset(&caught, CaughtSignal(i));
        ::sigprocmask(SIG_BLOCK, &caught, &waiting_);
        struct sigaction catcher {};
        catcher.sa_handler = RememberSignal;
        sigemptyset(&catcher.sa_mask);
        for (std::size_t i = 0; i < kCaughtCount; ++i) {
            ::sigaction(CaughtSignal(i), nullptr, &former_[i]);
            if (former_[i].sa_handler != SIG_IGN) ::sigaction(CaughtSignal(i), &catcher, nullptr);
        }
    }
    // Restores the handlers, then the mask: a signal still pending goes to its
    // former handler. One caught meanwhile is raised again.
    ~TSignalCatcher() {
        for (std::size_t i = 0; i < kCaughtCount; ++i) {
            ::sigaction(CaughtSignal(i), &former_[i], nullptr);
        }
        ::sigprocmask(SIG_SETMASK, &waiting_, nullptr);
        if (g_caught) ::raise(g_caught);
    }
    TSignalCatcher(const TSignalCatcher&) = delete;
    TSignalCatcher& operator=(const TSignalCatcher&) = delete;

    const sigset_t* WaitingMask() const { return &waiting_; }

    // Stops the program as Ctrl+Z would have (SIGTSTP's former handler), with the
    // echo on meanwhile; returns once it goes on.
    void StopHere(int fd, const termios& saved) const {
        g_stop = 0;
        ::tcsetattr(fd, TCSANOW, &saved);
        const std::size_t tstp = std::size(kEndingSignals);
        struct sigaction ours {};
        ::sigaction(SIGTSTP, &former_[tstp], &ours);
        ::raise(SIGTSTP);  // pending while blocked: delivered just below
        sigset_t only;
        sigemptyset(&only);
        sigaddset(&only, SIGTSTP);
        ::sigprocmask(SIG_UNBLOCK, &only, nullptr);
        ::sigprocmask(SIG_BLOCK, &only, nullptr);
        ::sigaction(SIGTSTP, &ours, nullptr);
        // The SIGCONT that woke it is taken here, so that the prompt comes back once;
        // not stopped at all (an orphaned process group), it goes on just the same.
        sigset_t cont;
        sigemptyset(&cont);
        sigaddset(&cont, SIGCONT);
        const timespec now{};
        ::sigtimedwait(&cont, nullptr, &now);
        g_continued = 1;
    }

  private:
    sigset_t waiting_{};
    struct sigaction former_[kCaughtCount] {};
};

// The terminal while the prompt waits, and as it was before.
struct TQuietTerminal {
    int Fd;
    termios Saved;
    termios Quiet;
    const char* Prompt;
};

// Reads up to the line's end; TooLong keeps reading it to its end, so nothing of
// it is left for the shell. Stops when a caught signal interrupts the wait.
TPrompted ReadLine(const TQuietTerminal& tty, const TSignalCatcher& catcher) {
    const int fd = tty.Fd;
    TPrompted result;
    result.Text.reserve(kMaxPasswordBytes);  // never reallocated: no stray copies
    bool tooLong = false;
    result.State = TPrompted::TState::Cancelled;
    while (!g_caught) {
        if (g_stop) catcher.StopHere(fd, tty.Saved);
        if (g_continued) {
            // The shell may have set its own modes meanwhile; what was typed then
            // was shown, so it is dropped, and the prompt is asked afresh.
            g_continued = 0;
            sodium_memzero(result.Text.data(), result.Text.size());
            result.Text.clear();
            tooLong = false;
            ::tcsetattr(fd, TCSAFLUSH, &tty.Quiet);
            WriteAll(fd, tty.Prompt);
            continue;
        }
        pollfd ready{fd, POLLIN, 0};
        if (::ppoll(&ready, 1, nullptr, catcher.WaitingMask()) < 0) {
            if (errno == EINTR) continue;
            break;
        }
        char c = 0;
        if (::read(fd, &c, 1) != 1) break;  // end of input (Ctrl+D) or a hang-up
        if (c == '\n') {
            result.State = tooLong ? TPrompted::TState::TooLong : TPrompted::TState::Typed;
            break;
        }
        if (result.Text.size() < kMaxPasswordBytes) {
            result.Text.push_back(c);
        } else {
            tooLong = true;
        }
        c = 0;
    }
    if (result.State != TPrompted::TState::Typed || g_caught) {
        sodium_memzero(result.Text.data(), result.Text.capacity());
        result.Text.clear();
        result.State = g_caught ? TPrompted::TState::Cancelled : result.State;
    }
    return result;
}

}  // namespace

TPrompted AskOnTerminal(const char* prompt) {
    const int fd = ::open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return {};
    termios saved{};
    if (::tcgetattr(fd, &saved) != 0) {
        ::close(fd);
        return {};
    }
    const TSignalCatcher catcher;  // its end may end the program: after the restore
    termios quiet = saved;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    quiet.c_lflag |= ICANON;
    // TCSAFLUSH drops what was typed ahead, before anyone could see the prompt.
    ::tcsetattr(fd, TCSAFLUSH, &quiet);
    WriteAll(fd, prompt);
    TPrompted typed = ReadLine({fd, saved, quiet, prompt}, catcher);
    ::tcsetattr(fd, TCSAFLUSH, &saved);
    WriteAll(fd, "\n");  // the user's Enter was not echoed
    ::close(fd);
    return typed;
}

}  // namespace dorvanta::cli
