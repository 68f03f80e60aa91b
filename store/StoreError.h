#pragma once
#include <initializer_list>
#include <stdexcept>
#include <string>

namespace dorvanta {

// An error whose message (UTF-8, German) is shown to the user as it stands.
class EStoreError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// Replaces the placeholders (%s or %d) of a message pattern, in order, with the
// arguments. The pattern is read once: an argument is inserted verbatim, even when
// it holds "%s" itself. Placeholders beyond the arguments stay as they are.
std::string FormatMessage(const std::string& pattern, std::initializer_list<std::string> args);
std::string FormatMessage(const std::string& pattern, const std::string& arg);

}  // namespace dorvanta
