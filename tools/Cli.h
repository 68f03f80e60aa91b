#pragma once
// dorvanta-cli: reads, writes, sorts and checks pdt files without the GUI.

#include <cstddef>
#include <functional>
#include <istream>
#include <ostream>
#include <string>
#include <vector>

namespace dorvanta::cli {

enum ExitCode { kOk = 0, kNoMatch = 1, kError = 2, kWrongPassword = 3 };

// The longest password read from standard input or the terminal, in bytes.
inline constexpr std::size_t kMaxPasswordBytes = 4096;

// What a password prompt gave.
struct TPrompted {
    enum class TState { NoTerminal, Typed, Cancelled, TooLong };
    TState State = TState::NoTerminal;
    std::string Text;  // as typed (UTF-8), when Typed
};

// Where a password that is not on the command line comes from. Without them (the
// default) a missing password refuses the file, as it always did.
struct TPasswordInput {
    std::istream* Stdin = nullptr;                     // --password-stdin reads a line here
    std::function<TPrompted(const char* prompt)> Ask;  // the terminal, without echo
};

// Runs one command line (without the program name); texts are UTF-8.
int Run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
        const TPasswordInput& input = {});

}  // namespace dorvanta::cli
