#include "store/StoreError.h"

namespace dorvanta {

std::string FormatMessage(const std::string& pattern, std::initializer_list<std::string> args) {
    std::string out;
    out.reserve(pattern.size());
    auto next = args.begin();
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        if (next != args.end() && pattern[i] == '%' && i + 1 < pattern.size() &&
            (pattern[i + 1] == 's' || pattern[i + 1] == 'd')) {
            out += *next++;
            ++i;
        } else {
            out += pattern[i];
        }
    }
    return out;
}

std::string FormatMessage(const std::string& pattern, const std::string& arg) {
    return FormatMessage(pattern, {arg});
}

}  // namespace dorvanta
