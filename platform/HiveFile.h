#pragma once
// A hive's file on disk: read through a per-process copy of its parsed tree, changed
// under an exclusive lock. Only the settings store uses this.

#include <functional>

#include "platform/RegTree.h"

namespace dorvanta::reg {

// Calls `read` with the hive as its file holds it now (an empty hive while there is
// no file). The file is parsed once per change, told by its size, times and inode;
// reads in between use the tree kept from then. A damaged or unreadable file throws
// ESettingsError naming the file, and `read` is not called.
void ReadHive(Hive hive, const std::function<void(const RegKey&)>& read);

enum class ChangeResult { Unchanged, Stored, Failed };

// Takes the hive's lock, brings the tree up to the file (whose bytes are compared, as
// another copy of the program may have written it just now), lets `change` edit it
// (returning whether it changed anything) and stores the result. A damaged file
// throws before any change.
ChangeResult ChangeHive(Hive hive, const std::function<bool(RegKey&)>& change);

}  // namespace dorvanta::reg
