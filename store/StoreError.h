#pragma once
#include <stdexcept>
#include <string>

namespace dorvanta {

// An error whose message (UTF-8, German) is shown to the user as it stands.
class EStoreError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// Replaces the first %s (or %d) of a message pattern.
std::string FormatMessage(const std::string& pattern, const std::string& arg);

}  // namespace dorvanta
