#pragma once
// The passwords of one dorvanta-cli command: given on the command line or on
// standard input, or else typed at the terminal once a file turns out to need one.

#include <optional>
#include <string>

#include "tools/Cli.h"

namespace dorvanta::cli {

inline constexpr const char* kMsgNotPlainTyped =
    "Das Passwort einer unverschlüsselten Datei besteht aus höchstens 255 Zeichen, die "
    "Windows-1252 darstellen kann; dieses Passwort passt nicht.";
inline constexpr const char* kMsgNotPlainPassword =
    "Das Passwort der verschlüsselten Datei passt nicht in eine unverschlüsselte Datei "
    "(höchstens 255 Zeichen, die Windows-1252 darstellen kann). Geben Sie mit --password "
    "ein anderes an. Es wurde nichts gespeichert.";

// Ends the command: the message goes to stderr, the code is the exit status.
struct ECliExit {
    int Code;
    std::string Message;
};

// A plain file's password is Windows-1252 of at most 255 characters; an encrypted
// file's passphrase any UTF-8 text, kept as it is. ECliExit with `refusal`
// (never the password itself) when the text cannot be a plain file's password.
std::string PasswordOfFormat(const std::string& utf8, bool encrypted,
                             const char* refusal = kMsgNotPlainTyped);

class TPasswords {
  public:
    // `given`: --password (UTF-8); `fromStdin`: --password-stdin, whose
    // line is read here.
    TPasswords(const std::optional<std::string>& given, bool fromStdin,
               const TPasswordInput& input);
    ~TPasswords();
    TPasswords(const TPasswords&) = delete;
    TPasswords& operator=(const TPasswords&) = delete;

    // The password of the command line or of standard input (UTF-8).
    const std::optional<std::string>& Given() const { return given_; }

    // The password that opens a protected file, in its format's form (see
    // PasswordOfFormat): the given one, else one typed at the terminal. Nothing
    // when there is no way to ask.
    std::optional<std::string> ForOpening(bool encrypted);

    // A new password for an encrypted file (UTF-8), typed twice. Nothing when there
    // is no way to ask; ECliExit when it is empty or the two differ.
    std::optional<std::string> NewPassphrase();

  private:
    std::string Typed(const char* prompt);

    const TPasswordInput& input_;
    std::optional<std::string> given_;
};

}  // namespace dorvanta::cli
