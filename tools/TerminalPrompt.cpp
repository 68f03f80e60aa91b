#include "tools/TerminalPrompt.h"

#include <fcntl.h>
#include <sodium.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>

namespace dorvanta::cli {
namespace {

// The signals that end the program while it waits: each is caught, the echo
// restored, and the signal raised again with its former handler.
constexpr int kEndingSignals[] = {SIGINT, SIGTERM, SIGQUIT, SIGHUP};

volatile std::sig_atomic_t g_caught = 0;

extern "C" void RememberSignal(int signal) {
    g_caught = signal;
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

// Reads up to the line's end; TooLong keeps reading it to its end, so nothing of
// it is left for the shell. Stops when a caught signal interrupts the read.
TPrompted ReadLine(int fd) {
    TPrompted result;
    result.Text.reserve(kMaxPasswordBytes);  // never reallocated: no stray copies
    bool tooLong = false;
    for (;;) {
        char c = 0;
        const ssize_t n = ::read(fd, &c, 1);
        if (n < 0 && errno == EINTR && !g_caught) continue;
        if (n <= 0) {
            result.State = TPrompted::TState::Cancelled;
            break;
        }
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
    if (result.State != TPrompted::TState::Typed) {
        sodium_memzero(result.Text.data(), result.Text.capacity());
        result.Text.clear();
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
    g_caught = 0;
    struct sigaction catcher {};
    catcher.sa_handler = RememberSignal;
    sigemptyset(&catcher.sa_mask);
    catcher.sa_flags = 0;  // no SA_RESTART: the read returns when a signal comes
    struct sigaction former[std::size(kEndingSignals)]{};
    for (std::size_t i = 0; i < std::size(kEndingSignals); ++i) {
        ::sigaction(kEndingSignals[i], &catcher, &former[i]);
    }
    termios quiet = saved;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    quiet.c_lflag |= ICANON;
    // TCSAFLUSH drops what was typed ahead, before anyone could see the prompt.
    ::tcsetattr(fd, TCSAFLUSH, &quiet);
    WriteAll(fd, prompt);
    TPrompted typed = ReadLine(fd);
    ::tcsetattr(fd, TCSAFLUSH, &saved);
    WriteAll(fd, "\n");  // the user's Enter was not echoed
    ::close(fd);
    for (std::size_t i = 0; i < std::size(kEndingSignals); ++i) {
        ::sigaction(kEndingSignals[i], &former[i], nullptr);
    }
    if (g_caught) {
        sodium_memzero(typed.Text.data(), typed.Text.capacity());
        ::raise(g_caught);  // ends the program unless its former handler says otherwise
        return {TPrompted::TState::Cancelled, {}};
    }
    return typed;
}

}  // namespace dorvanta::cli
