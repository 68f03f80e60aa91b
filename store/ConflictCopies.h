#pragma once
// Copies a file-sync tool leaves beside a collection when two devices changed it
// at once. Each tool names them after the file it copied:
//   Syncthing  NAME.sync-conflict-20261208-101500-ABCDEF7.pdt
//   Nextcloud  NAME (conflicted copy 2026-12-08 101500).pdt
//   Dropbox    NAME (Laptop's conflicted copy 2026-12-08).pdt
// For an encrypted NAME.pdt.age the marker may stand before ".pdt.age" or before
// ".age", as the tools split the name at its first or its last dot.

#include <string>
#include <vector>

namespace dorvanta {

// True when `candidate` (a bare file name) is a sync tool's conflict copy of the
// file named `original` (a bare file name too).
bool IsConflictCopyName(const std::string& candidate, const std::string& original);

// The conflict copies beside the file `path` (UTF-8), sorted by name: regular
// files only, links not followed. Nothing when the folder cannot be read.
std::vector<std::string> FindConflictCopies(const std::string& path);

}  // namespace dorvanta
