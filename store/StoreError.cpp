#include "store/StoreError.h"

namespace dorvanta {

std::string FormatMessage(const std::string& pattern, const std::string& arg) {
    std::string out = pattern;
    for (const char* placeholder : {"%s", "%d"}) {
        const auto pos = out.find(placeholder);
        if (pos != std::string::npos) {
            out.replace(pos, 2, arg);
            break;
        }
    }
    return out;
}

}  // namespace dorvanta
