#pragma once
// The passwords of one dorvanta-cli command: given on the command line or on
// standard input, or else typed at the terminal once a file turns out to need one.

#include <optional>
#include <string>

#include "tools/Cli.h"

namespace dorvanta::cli {

// Ends the command: the message goes to stderr, the code is the exit status.
struct ECliExit {
    int Code;
    std::string Message;
};

class TPasswords {
  public:
    // `given`: --password (Windows-1252); `fromStdin`: --password-stdin, whose
    // line is read here.
    TPasswords(const std::optional<std::string>& given, bool fromStdin,
               const TPasswordInput& input);
    ~TPasswords();
    TPasswords(const TPasswords&) = delete;
    TPasswords& operator=(const TPasswords&) = delete;

    // The password of the command line or of standard input (Windows-1252).
    const std::optional<std::string>& Given() const { return given_; }

    // The password that opens a protected file: the given one, else one typed at
    // the terminal. Nothing when there is no way to ask.
    std::optional<std::string> ForOpening();

    // A new password for an encrypted file, typed twice. Nothing when there is no
    // way to ask; ECliExit when it is empty or the two differ.
    std::optional<std::string> NewPassphrase();

  private:
    std::string Typed(const char* prompt);

    const TPasswordInput& input_;
    std::optional<std::string> given_;
};

}  // namespace dorvanta::cli
