#include "store/ConflictCopies.h"

#include <algorithm>
#include <filesystem>
#include <regex>
#include <system_error>

namespace dorvanta {
namespace {

// What each tool puts between the name and its extension.
const std::regex& ConflictMarker() {
    static const std::regex marker(
        // Syncthing: date, time and the short ID of the device that made it.
        R"(\.sync-conflict-\d{8}-\d{6}-[A-Z0-9]+)"
        // Nextcloud and ownCloud, newer versions with the user's name before the date.
        R"(| \(conflicted copy (.{1,128} )?\d{4}-\d{2}-\d{2} \d{6}\))"
        // Dropbox: the device or user, the date, and a counter for a second one.
        R"(| \(.{1,128} conflicted copy \d{4}-\d{2}-\d{2}( \(\d{1,4}\))?\))",
        std::regex::ECMAScript | std::regex::optimize);
    return marker;
}

bool EndsWith(const std::string& s, const std::string& tail) {
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

// The ways a tool may split `original` into name and extension.
std::vector<std::string> Extensions(const std::string& original) {
    std::vector<std::string> extensions;
    const std::size_t last = original.rfind('.');
    if (last != std::string::npos && last > 0) extensions.push_back(original.substr(last));
    const std::size_t first = original.find('.', 1);
    if (first != std::string::npos && first != last) extensions.push_back(original.substr(first));
    if (extensions.empty()) extensions.emplace_back();
    return extensions;
}

}  // namespace

bool IsConflictCopyName(const std::string& candidate, const std::string& original) {
    if (candidate == original || original.empty()) return false;
    for (const std::string& extension : Extensions(original)) {
        const std::string stem = original.substr(0, original.size() - extension.size());
        if (candidate.size() <= original.size() || candidate.compare(0, stem.size(), stem) != 0 ||
            !EndsWith(candidate, extension)) {
            continue;
        }
        const std::string middle =
            candidate.substr(stem.size(), candidate.size() - stem.size() - extension.size());
        // Long names are no tool's marker; the regular expression need not see them.
        if (middle.size() <= 200 && std::regex_match(middle, ConflictMarker())) return true;
    }
    return false;
}

std::vector<std::string> FindConflictCopies(const std::string& path) {
    namespace fs = std::filesystem;
    std::vector<std::string> copies;
    const fs::path file(path);
    const std::string original = file.filename().string();
    fs::path folder = file.parent_path();
    if (folder.empty()) folder = ".";
    std::error_code error;
    fs::directory_iterator it(folder, fs::directory_options::skip_permission_denied, error);
    // A huge folder is not read to its end for this.
    int seen = 0;
    for (; !error && it != fs::directory_iterator() && seen < 100000; it.increment(error), ++seen) {
        const std::string name = it->path().filename().string();
        std::error_code typeError;
        if (IsConflictCopyName(name, original) &&
            it->symlink_status(typeError).type() == fs::file_type::regular) {
            copies.push_back((folder / name).string());
        }
    }
    std::sort(copies.begin(), copies.end());
    return copies;
}

}  // namespace dorvanta
