#pragma once
// The pieces of Merge (store/Merge.h) shared by its files.

#include <cstdint>
#include <string>
#include <vector>

#include "store/Document.h"
#include "store/Merge.h"

namespace dorvanta::merge {

inline constexpr std::uint32_t kNone = UINT32_MAX;       // no partner
inline constexpr std::uint32_t kTaken = UINT32_MAX - 1;  // paired elsewhere, not to pair

// Equal in title, value, info and date (the date by its bits, so that even a
// NaN read from a file equals itself).
bool SameEntry(const TDataRec& a, const TDataRec& b);
std::uint64_t HashEntry(const TDataRec& rec);

// Pairs entries of `from` and `to` whose partner is still kNone: first equal
// entries, then equal titles, each in their order. Partners are indices.
void PairEntries(const std::vector<TDataRec>& from, const std::vector<TDataRec>& to,
                 std::vector<std::uint32_t>& fromPartner, std::vector<std::uint32_t>& toPartner);

// Where a result item stands before the sort: after its place on the primary side
// (Tier 0, or 1 for a conflict copy beside it), or, known only on the secondary
// side, after the item that precedes it there (Tier 2).
struct TPlace {
    std::int64_t Primary = -1;
    std::int64_t Secondary = -1;
    int Tier = 0;
};
std::vector<std::size_t> PlacementOrder(const std::vector<TPlace>& items,
                                        std::size_t secondaryCount);

// One sub-category's entries. A missing side of the sub-category is an empty
// list with its Gone flag: its other side's unchanged entries go with it, and the
// caller reports the sub-category instead of each entry.
struct TEntrySides {
    const std::vector<TDataRec>& Base;
    const std::vector<TDataRec>& Ours;
    const std::vector<TDataRec>& Theirs;
    bool OursGone = false;
    bool TheirsGone = false;
};
// Sorted: one side's list as it stood, or the merged list sorted anew.
std::vector<TDataRec> MergeEntries(const TEntrySides& sides, const std::string& parent,
                                   const std::string& name, TMergeResult& result);

}  // namespace dorvanta::merge
