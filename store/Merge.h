#pragma once
// Merging two versions of a collection that grew apart: the one a window holds
// ("ours") and the one its file holds now ("theirs"), against the version both
// started from ("base", the file as last read or written). A sub-category is
// known by parent and name, an entry by its sub-category and title; equal ones
// pair in their order, and an entry equal in every field on two sides is one.
// Nothing either side wrote is dropped: where both changed one entry, the later
// keeps its title and the other stays beside it as a conflict copy.

#include <cstddef>
#include <string>
#include <vector>

#include "store/Document.h"

namespace dorvanta {

struct TMergeConflict {
    enum class TKind {
        BothChanged,            // Title kept the later version; CopyTitle holds the other
        DeletedAndChanged,      // deleted on one side, changed there: kept as changed
        KeyDeletedEntriesKept,  // sub-category deleted, the other side's new entries kept
        ParentRenamedBoth,      // Parent renamed on both sides: ours (Name) is kept
        PasswordChangedBoth,    // the window's password is kept
    };
    TKind Kind = TKind::BothChanged;
    std::string Parent;  // the sub-category as the result holds it (Windows-1252)
    std::string Name;
    std::string Title;      // the entry; for ParentRenamedBoth the name not taken
    std::string CopyTitle;  // BothChanged: the conflict copy's title
};

// What the result took over from theirs (the file), for the caller's summary. The
// entries of a sub-category theirs added or deleted count as added or deleted too.
struct TMergeCounts {
    std::size_t EntriesAdded = 0;
    std::size_t EntriesChanged = 0;
    std::size_t EntriesDeleted = 0;
    std::size_t KeysAdded = 0;
    std::size_t KeysChanged = 0;  // parent renamed
    std::size_t KeysDeleted = 0;
};

struct TMergeResult {
    TDocument Document;  // sorted; Format and clock from ours, Modified set
    std::vector<TMergeConflict> Conflicts;
    TMergeCounts FromTheirs;
};

// Three-way merge. Merge(b, x, b), Merge(b, b, x) and Merge(b, x, x) all give x.
TMergeResult Merge(const TDocument& base, const TDocument& ours, const TDocument& theirs);
// Without a common version (a sync tool's conflict copy): every entry on one side
// only is taken; different versions of one entry are decided by date as above.
// The password is ours; a different one in theirs is reported.
TMergeResult MergeWithoutBase(const TDocument& ours, const TDocument& theirs);

// The title a conflict copy gets: "Konto (Konflikt vom 05.03.2026 14:07)", its own date.
std::string ConflictCopyTitle(const std::string& title, double date);
// One German line (UTF-8) per conflict, for an information box.
std::string ConflictLine(const TMergeConflict& conflict);
// "3 Einträge übernommen, 1 Konflikt" (UTF-8); sub-categories are named when any came.
std::string MergeSummary(const TMergeResult& result);

}  // namespace dorvanta
