#include "tools/CliPassword.h"

#include <sodium.h>

#include "store/AgeFile.h"
#include "store/Cp1252.h"
#include "store/Document.h"

namespace dorvanta::cli {
namespace {

constexpr const char* kMsgNoTerminal =
    "Die Datei braucht ein Passwort, aber es gibt kein Terminal, an dem es eingegeben werden "
    "könnte. Geben Sie es mit --password-stdin auf der Standardeingabe an.";
constexpr const char* kMsgNothingTyped = "Es wurde kein Passwort eingegeben.";
constexpr const char* kMsgNoStdinLine = "Auf der Standardeingabe steht kein Passwort.";
constexpr const char* kMsgMismatch =
    "Die beiden Passwörter stimmen nicht überein. Es wurde nichts gespeichert.";
constexpr const char* kMsgEmptyNew =
    "Eine verschlüsselte Datei braucht ein Passwort, das nicht leer ist. Es wurde nichts "
    "gespeichert.";

std::string TooLongMessage() {
    return "Das Passwort ist länger als " + std::to_string(kMaxPasswordBytes) + " Bytes.";
}

// The first line of `in` without its line ending (LF or CR LF).
std::string ReadStdinLine(std::istream* in) {
    std::string line;
    age::TWipeGuard guard(line);
    line.reserve(kMaxPasswordBytes + 1);  // never reallocated: no stray copies
    bool any = false;
    for (int c; in && (c = in->get()) != std::char_traits<char>::eof();) {
        any = true;
        if (c == '\n') break;
        if (line.size() > kMaxPasswordBytes) throw ECliExit{kError, TooLongMessage()};
        line.push_back(static_cast<char>(c));
    }
    if (!any) throw ECliExit{kWrongPassword, kMsgNoStdinLine};
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.size() > kMaxPasswordBytes) throw ECliExit{kError, TooLongMessage()};
    return std::string(line);
}

}  // namespace

TPasswords::TPasswords(const std::optional<std::string>& given, bool fromStdin,
                       const TPasswordInput& input)
    : input_(input), given_(given) {
    if (fromStdin) given_ = ReadStdinLine(input.Stdin);
}

TPasswords::~TPasswords() {
    if (given_) age::Wipe(*given_);
}

std::string TPasswords::Typed(const char* prompt) {
    TPrompted typed = input_.Ask(prompt);
    age::TWipeGuard guard(typed.Text);
    switch (typed.State) {
        case TPrompted::TState::NoTerminal:
            throw ECliExit{kWrongPassword, kMsgNoTerminal};
        case TPrompted::TState::Cancelled:
            throw ECliExit{kWrongPassword, kMsgNothingTyped};
        case TPrompted::TState::TooLong:
            throw ECliExit{kError, TooLongMessage()};
        case TPrompted::TState::Typed:
            break;
    }
    return std::string(typed.Text);
}

std::string PasswordOfFormat(const std::string& utf8, bool encrypted, const char* refusal) {
    using TFormat = TDocument::TFormat;
    auto text = PasswordForFormat(utf8, TFormat::Encrypted,
                                  encrypted ? TFormat::Encrypted : TFormat::Plain);
    if (!text) throw ECliExit{kError, refusal};
    return std::move(*text);
}

// A password to try on a file: one a plain file cannot hold (too long, or beyond
// Windows-1252) can never be its password, so it is merely wrong.
static std::optional<std::string> ToOpen(const std::string& utf8, bool encrypted) {
    if (encrypted) return utf8;
    return Utf8ToCp1252Strict(utf8);
}

std::optional<std::string> TPasswords::ForOpening(bool encrypted) {
    if (given_) return ToOpen(*given_, encrypted);
    if (!input_.Ask) return std::nullopt;
    std::string typed = Typed("Passwort: ");
    age::TWipeGuard guard(typed);
    return ToOpen(typed, encrypted);
}

std::optional<std::string> TPasswords::NewPassphrase() {
    if (!input_.Ask) return std::nullopt;
    std::string first = Typed("Passwort: ");
    age::TWipeGuard firstGuard(first);
    if (first.empty()) throw ECliExit{kWrongPassword, kMsgEmptyNew};
    std::string second = Typed("Passwort wiederholen: ");
    age::TWipeGuard secondGuard(second);
    if (first.size() != second.size() ||
        sodium_memcmp(first.data(), second.data(), first.size()) != 0) {
        throw ECliExit{kWrongPassword, kMsgMismatch};
    }
    return std::optional<std::string>(first);
}

}  // namespace dorvanta::cli
