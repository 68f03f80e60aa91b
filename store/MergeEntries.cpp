// The entries of one sub-category in a merge: pairing, the three-way decision per
// entry, and their places before the sort.
#include <algorithm>
#include <bit>
#include <functional>
#include <numeric>
#include <string_view>

#include "store/MergeParts.h"

namespace dorvanta::merge {
namespace {

std::uint64_t Mix(std::uint64_t seed, std::uint64_t value) {
    return seed ^ (value + 0x9e3779b97f4a7c15ULL + (seed << 6) + (seed >> 2));
}

std::uint64_t HashTitle(const TDataRec& rec) {
    return std::hash<std::string_view>{}(rec.Title);
}

bool SameTitle(const TDataRec& a, const TDataRec& b) {
    return a.Title == b.Title;
}

// One pass of PairEntries: `to`'s open entries sorted by hash, and for each open
// entry of `from` the first open one with its hash that `equal` accepts. `next`
// skips the entries already taken (with path halving), so long runs of equal
// titles cost no rescans.
template <typename Hash, typename Equal>
void PairPass(const std::vector<TDataRec>& from, const std::vector<TDataRec>& to,
              std::vector<std::uint32_t>& fromPartner, std::vector<std::uint32_t>& toPartner,
              Hash hash, Equal equal) {
    std::vector<std::pair<std::uint64_t, std::uint32_t>> open;
    for (std::uint32_t k = 0; k < to.size(); ++k) {
        if (toPartner[k] == kNone) open.emplace_back(hash(to[k]), k);
    }
    if (open.empty()) return;
    std::sort(open.begin(), open.end());
    std::vector<std::uint32_t> next(open.size() + 1);
    std::iota(next.begin(), next.end(), 0u);
    const auto find = [&](std::uint32_t p) {
        while (next[p] != p) p = next[p] = next[next[p]];
        return p;
    };
    for (std::uint32_t i = 0; i < from.size(); ++i) {
        if (fromPartner[i] != kNone) continue;
        const std::uint64_t h = hash(from[i]);
        auto p = static_cast<std::uint32_t>(
            std::lower_bound(open.begin(), open.end(), std::make_pair(h, 0u)) - open.begin());
        for (p = find(p); p < open.size() && open[p].first == h; p = find(p + 1)) {
            const std::uint32_t k = open[p].second;
            if (!equal(from[i], to[k])) continue;
            fromPartner[i] = k;
            toPartner[k] = i;
            next[p] = p + 1;
            break;
        }
    }
}

// Both lists are sorted alike and mostly equal: walking them side by side pairs the
// runs of equal entries without hashing, resuming after a difference of up to
// kReach entries on either side. What stays open goes to the passes by hash.
void PairInStep(const std::vector<TDataRec>& from, const std::vector<TDataRec>& to,
                std::vector<std::uint32_t>& fromPartner, std::vector<std::uint32_t>& toPartner) {
    constexpr std::size_t kReach = 8;
    std::size_t i = 0, k = 0;
    const auto open = [&](std::size_t a, std::size_t b) {
        return a < from.size() && b < to.size() && fromPartner[a] == kNone &&
               toPartner[b] == kNone && SameEntry(from[a], to[b]);
    };
    while (i < from.size() && k < to.size()) {
        if (fromPartner[i] != kNone) {
            ++i;
        } else if (toPartner[k] != kNone) {
            ++k;
        } else if (SameEntry(from[i], to[k])) {
            fromPartner[i] = static_cast<std::uint32_t>(k);
            toPartner[k] = static_cast<std::uint32_t>(i);
            ++i, ++k;
        } else {
            std::size_t d = 1;
            while (d <= kReach && !open(i + d, k) && !open(i, k + d)) ++d;
            if (d > kReach) {
                ++i, ++k;
            } else if (open(i + d, k)) {
                i += d;
            } else {
                k += d;
            }
        }
    }
}

bool SameList(const std::vector<TDataRec>& a, const std::vector<TDataRec>& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), SameEntry);
}

// Collects the result items of one sub-category with their places.
class TEntryMerger {
  public:
    TEntryMerger(const TEntrySides& sides, const std::string& parent, const std::string& name,
                 TMergeResult& result)
        : s_(sides), parent_(parent), name_(name), result_(result) {}

    std::vector<TDataRec> Run();

  private:
    void Emit(const TDataRec& rec, std::int64_t ours, std::int64_t theirs, int tier = 0) {
        items_.push_back(&rec);
        places_.push_back({ours, theirs, tier});
        if (tier == 1)
            copies_.emplace_back(items_.size() - 1, ConflictCopyTitle(rec.Title, rec.Date));
    }
    void BothChanged(const TDataRec& ours, const TDataRec& theirs, std::int64_t o, std::int64_t t);
    void Report(TMergeConflict::TKind kind, const std::string& title, std::string copy = {}) {
        result_.Conflicts.push_back({kind, parent_, name_, title, std::move(copy)});
    }
    void OursEntry(std::uint32_t j);

    const TEntrySides& s_;
    const std::string& parent_;
    const std::string& name_;
    TMergeResult& result_;
    std::vector<std::uint32_t> bo_, ob_, bt_, tb_;
    std::vector<const TDataRec*> items_;
    std::vector<TPlace> places_;
    std::vector<std::pair<std::size_t, std::string>> copies_;  // item, its conflict title
};

void TEntryMerger::BothChanged(const TDataRec& ours, const TDataRec& theirs, std::int64_t o,
                               std::int64_t t) {
    // The later keeps the title; on equal dates the window's version does.
    const bool theirsLater = theirs.Date > ours.Date;
    const TDataRec& kept = theirsLater ? theirs : ours;
    const TDataRec& copy = theirsLater ? ours : theirs;
    Emit(kept, o, t);
    Emit(copy, o, -1, 1);
    Report(TMergeConflict::TKind::BothChanged, kept.Title, copies_.back().second);
}

void TEntryMerger::OursEntry(std::uint32_t j) {
    const TDataRec& mine = s_.Ours[j];
    const bool keyGone = s_.OursGone || s_.TheirsGone;
    if (ob_[j] == kNone) {  // added in ours only
        Emit(mine, j, -1);
        return;
    }
    const TDataRec& was = s_.Base[ob_[j]];
    const std::uint32_t k = bt_[ob_[j]];
    if (k == kNone) {  // deleted in theirs
        if (!SameEntry(mine, was)) {
            Emit(mine, j, -1);
            if (!keyGone) Report(TMergeConflict::TKind::DeletedAndChanged, mine.Title);
        } else if (!keyGone) {
            ++result_.FromTheirs.EntriesDeleted;
        }
        return;
    }
    const TDataRec& their = s_.Theirs[k];
    if (SameEntry(mine, was)) {
        Emit(their, j, k);
        if (!SameEntry(their, was)) ++result_.FromTheirs.EntriesChanged;
    } else if (SameEntry(their, was) || SameEntry(their, mine)) {
        Emit(mine, j, k);
    } else {
        BothChanged(mine, their, j, k);
    }
}

std::vector<TDataRec> TEntryMerger::Run() {
    const auto &b = s_.Base, &o = s_.Ours, &t = s_.Theirs;
    bo_.assign(b.size(), kNone), ob_.assign(o.size(), kNone);
    bt_.assign(b.size(), kNone), tb_.assign(t.size(), kNone);
    PairEntries(b, o, bo_, ob_);
    PairEntries(b, t, bt_, tb_);
    // The entries new on both sides pair with each other.
    std::vector<std::uint32_t> ot(o.size()), to(t.size());
    for (std::size_t j = 0; j < o.size(); ++j) ot[j] = ob_[j] == kNone ? kNone : kTaken;
    for (std::size_t k = 0; k < t.size(); ++k) to[k] = tb_[k] == kNone ? kNone : kTaken;
    PairEntries(o, t, ot, to);
    for (std::uint32_t j = 0; j < o.size(); ++j) {
        if (ob_[j] == kNone && ot[j] != kNone) {
            if (SameEntry(o[j], t[ot[j]])) {
                Emit(o[j], j, ot[j]);
            } else {
                BothChanged(o[j], t[ot[j]], j, ot[j]);
            }
        } else {
            OursEntry(j);
        }
    }
    for (std::uint32_t i = 0; i < b.size(); ++i) {  // deleted in ours, changed in theirs
        if (bo_[i] != kNone || bt_[i] == kNone || SameEntry(t[bt_[i]], b[i])) continue;
        Emit(t[bt_[i]], -1, bt_[i], 2);
        if (!s_.OursGone && !s_.TheirsGone)
            Report(TMergeConflict::TKind::DeletedAndChanged, b[i].Title);
    }
    for (std::uint32_t k = 0; k < t.size(); ++k) {
        if (tb_[k] != kNone || to[k] != kNone) continue;
        Emit(t[k], -1, k, 2);
        ++result_.FromTheirs.EntriesAdded;
    }
    std::vector<TDataRec> merged;
    merged.reserve(items_.size());
    std::vector<std::string> titles(items_.size());
    for (auto& [item, title] : copies_) titles[item] = std::move(title);
    for (const std::size_t i : PlacementOrder(places_, t.size())) {
        merged.push_back(*items_[i]);
        if (places_[i].Tier == 1) merged.back().Title = std::move(titles[i]);
    }
    SortEntryList(merged);
    return merged;
}

}  // namespace

bool SameEntry(const TDataRec& a, const TDataRec& b) {
    return std::bit_cast<std::uint64_t>(a.Date) == std::bit_cast<std::uint64_t>(b.Date) &&
           a.Title == b.Title && a.Value == b.Value && a.Info == b.Info;
}

std::uint64_t HashEntry(const TDataRec& rec) {
    const std::hash<std::string_view> hash;
    std::uint64_t h = Mix(hash(rec.Title), hash(rec.Value));
    return Mix(Mix(h, hash(rec.Info)), std::bit_cast<std::uint64_t>(rec.Date));
}

void PairEntries(const std::vector<TDataRec>& from, const std::vector<TDataRec>& to,
                 std::vector<std::uint32_t>& fromPartner, std::vector<std::uint32_t>& toPartner) {
    PairInStep(from, to, fromPartner, toPartner);
    PairPass(from, to, fromPartner, toPartner, HashEntry, SameEntry);
    PairPass(from, to, fromPartner, toPartner, HashTitle, SameTitle);
}

std::vector<std::size_t> PlacementOrder(const std::vector<TPlace>& items,
                                        std::size_t secondaryCount) {
    // The primary place of each secondary position that has one, then carried forward.
    std::vector<std::int64_t> anchor(secondaryCount + 1, -1);
    for (const TPlace& p : items) {
        if (p.Primary >= 0 && p.Secondary >= 0) anchor[p.Secondary + 1] = p.Primary;
    }
    for (std::size_t s = 1; s <= secondaryCount; ++s)
        anchor[s] = std::max(anchor[s], anchor[s - 1]);
    struct TSortKey {
        std::int64_t Anchor;
        int Tier;
        std::int64_t Secondary;
        auto operator<=>(const TSortKey&) const = default;
    };
    std::vector<TSortKey> keys(items.size());
    for (std::size_t i = 0; i < items.size(); ++i) {
        const TPlace& p = items[i];
        keys[i] = p.Tier == 2 ? TSortKey{anchor[p.Secondary], 2, p.Secondary}
                              : TSortKey{p.Primary, p.Tier, 0};
    }
    std::vector<std::size_t> order(items.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::stable_sort(order.begin(), order.end(),
                     [&](std::size_t a, std::size_t b) { return keys[a] < keys[b]; });
    return order;
}

std::vector<TDataRec> MergeEntries(const TEntrySides& sides, const std::string& parent,
                                   const std::string& name, TMergeResult& result) {
    // Most sub-categories changed on one side at most: that side's list, as sorted as it was.
    if (SameList(sides.Theirs, sides.Base) || SameList(sides.Theirs, sides.Ours)) {
        if (!sides.OursGone) return sides.Ours;
    }
    if (SameList(sides.Ours, sides.Base) && !sides.TheirsGone && !sides.OursGone) {
        // Only for the counts: what theirs added, changed and deleted.
        std::vector<std::uint32_t> bt(sides.Base.size(), kNone), tb(sides.Theirs.size(), kNone);
        PairEntries(sides.Base, sides.Theirs, bt, tb);
        auto& counts = result.FromTheirs;
        counts.EntriesAdded += std::count(tb.begin(), tb.end(), kNone);
        for (std::size_t i = 0; i < bt.size(); ++i) {
            if (bt[i] == kNone) {
                ++counts.EntriesDeleted;
            } else if (!SameEntry(sides.Base[i], sides.Theirs[bt[i]])) {
                ++counts.EntriesChanged;
            }
        }
        return sides.Theirs;
    }
    return TEntryMerger(sides, parent, name, result).Run();
}

}  // namespace dorvanta::merge
