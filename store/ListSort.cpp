// The orders of sub-categories and entries: the exact sequence of the classic
// exchange procedure, computed in O(n log n) from collation keys.
#include "store/Document.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <memory>
#include <numeric>
#include <span>
#include <string_view>
#include <type_traits>
#include <unordered_map>

#include "store/Collation.h"
#include "store/ExchangeOrder.h"

namespace dorvanta {
namespace {

// Gives every item the rank of its class of equal items, from an order on indices.
template <typename Less>
std::vector<std::uint32_t> RanksOf(std::size_t n, Less less) {
    std::vector<std::uint32_t> order(n);
    std::iota(order.begin(), order.end(), 0u);
    // Lists are mostly sorted already with new items appended: only the tail needs sorting.
    std::size_t sorted = std::min<std::size_t>(n, 1);
    while (sorted < n && !less(order[sorted], order[sorted - 1])) ++sorted;
    const auto tail = order.begin() + static_cast<std::ptrdiff_t>(sorted);
    std::sort(tail, order.end(), less);
    std::inplace_merge(order.begin(), tail, order.end(), less);
    std::vector<std::uint32_t> rank(n);
    std::uint32_t current = 0;
    for (std::size_t k = 0; k < n; ++k) {
        if (k > 0 && less(order[k - 1], order[k])) ++current;
        rank[order[k]] = current;
    }
    return rank;
}

// Ranks texts by their collation keys. Computing keys is what costs, so each
// distinct text gets one: repeats side by side (sorted lists) are caught for free.
// Parent names repeat by nature, and the keys of a group share one text: with
// `identityOf` scattered repeats are found too, by the shared text's address
// first, so a long name is hashed once per distinct text rather than once per key.
template <typename TextOf, typename IdentityOf = std::nullptr_t>
std::vector<std::uint32_t> CollationRanks(std::size_t n, const Collator& collator, TextOf textOf,
                                          IdentityOf identityOf = nullptr) {
    constexpr bool kHashRepeats = !std::is_same_v<IdentityOf, std::nullptr_t>;
    std::vector<std::string> keys;  // one per distinct text met
    std::vector<std::uint32_t> keyOf(n);
    std::unordered_map<const void*, std::uint32_t> seenIdentity;
    std::unordered_map<std::string_view, std::uint32_t> seenText;
    for (std::size_t i = 0; i < n; ++i) {
        if constexpr (kHashRepeats) {
            if (i > 0 && identityOf(i) == identityOf(i - 1)) {
                keyOf[i] = keyOf[i - 1];
                continue;
            }
        }
        const std::string_view text = textOf(i);
        if (i > 0 && text == textOf(i - 1)) {
            keyOf[i] = keyOf[i - 1];
            continue;
        }
        const auto next = static_cast<std::uint32_t>(keys.size());
        if constexpr (kHashRepeats) {
            const auto [byIdentity, freshIdentity] = seenIdentity.try_emplace(identityOf(i), next);
            if (!freshIdentity) {
                keyOf[i] = byIdentity->second;
                continue;
            }
            const auto [byText, freshText] = seenText.try_emplace(text, next);
            if (!freshText) {
                keyOf[i] = byIdentity->second = byText->second;
                continue;
            }
        }
        keyOf[i] = next;
        keys.push_back(collator.SortKey(text));
    }
    const auto keyRank =
        RanksOf(keys.size(), [&](std::uint32_t a, std::uint32_t b) { return keys[a] < keys[b]; });
    for (std::uint32_t& k : keyOf) k = keyRank[k];
    return keyOf;
}

// Fetches an object into the caches ahead of its use.
template <typename T>
void Prefetch(const T* item) {
    const char* const at = reinterpret_cast<const char*>(item);
    for (std::size_t line = 0; line < sizeof(T); line += 64) __builtin_prefetch(at + line);
    __builtin_prefetch(at + sizeof(T) - 1);
}

// Moves each item once into the order `perm` (new position i: old item perm[i]).
// Long lists lie far beyond the caches, so the items a few places ahead are
// fetched while the current one moves.
template <typename T>
void MoveIntoOrder(std::vector<T>& items, const std::vector<std::uint32_t>& perm) {
    constexpr std::size_t kAhead = 8;
    std::vector<T> sorted;
    sorted.reserve(items.size());
    for (std::size_t i = 0; i < perm.size(); ++i) {
        if (i + kAhead < perm.size()) Prefetch(&items[perm[i + kAhead]]);
        sorted.push_back(std::move(items[perm[i]]));
    }
    items = std::move(sorted);
}

// Puts the items into the order the exchange procedure gives on the ranks (in
// O(n log n), see ExchangeOrder) and moves each item once.
// Returns where each item came from: new position i holds the old item perm[i].
template <typename T>
std::vector<std::uint32_t> ExchangeSortByRank(std::vector<T>& items,
                                              const std::vector<std::uint32_t>& rank) {
    if (std::is_sorted(rank.begin(), rank.end())) {  // the procedure would swap nothing
        std::vector<std::uint32_t> perm(items.size());
        std::iota(perm.begin(), perm.end(), 0u);
        return perm;
    }
    std::vector<std::uint32_t> perm = ExchangeOrder(rank);
    MoveIntoOrder(items, perm);
    return perm;
}

// The collation keys of a list's titles for one sort. Keys are made once per
// distinct title (equal titles are found by a hash), taken from the kept keys
// where a title is still in its place, and lie in one block. The sort orders a
// key per title, not per entry, and compares their bytes eight at a time as
// numbers held beside them.
class TitleKeys {
  public:
    // `keeping`: the titles and keys are to be kept after the sort (see Keep).
    TitleKeys(const std::vector<TDataRec>& entries, const TSortKeyCache& kept, bool keeping)
        : arenaBase_(kept.Bytes.size()) {
        const std::size_t n = entries.size();
        keyOf_.resize(n);
        refs_.reserve(n);
        if (keeping) slotOf_.resize(n);
        std::vector<TMissing> missing;
        bool samesLeft = false;
        for (std::size_t i = 0; i < n; ++i) {
            const std::string& title = entries[i].Title;
            if (i > 0 && title == entries[i - 1].Title) {
                keyOf_[i] = kSameAsBefore;
                samesLeft = true;
                continue;
            }
            if (i < kept.Slots.size()) {
                const TSortKeyCache::TSlot& slot = kept.Slots[i];
                const char* at = kept.Bytes.data() + slot.Start;
                if (std::string_view(at, slot.TitleSize) == title) {
                    keyOf_[i] = Add(i, at + slot.TitleSize, slot.KeySize);
                    if (keeping) slotOf_[i] = slot;
                    continue;
                }
            }
            keyOf_[i] = Add(i, nullptr, 0);
            missing.push_back(
                {static_cast<std::uint32_t>(i), static_cast<std::uint32_t>(refs_.size() - 1)});
        }
        MakeMissing(entries, missing);
        if (samesLeft) {
            for (std::size_t i = 1; i < n; ++i) {
                if (keyOf_[i] == kSameAsBefore) keyOf_[i] = keyOf_[i - 1];
            }
        }
    }

    // Where each entry goes: new position i holds entry result[i].
    std::vector<std::uint32_t> Order() {
        // Keys come in the order of their first entry; a sorted list with entries
        // appended has a sorted run in front that needs merging only.
        std::size_t run = std::min<std::size_t>(refs_.size(), 1);
        while (run < refs_.size() && !Less(refs_[run], refs_[run - 1])) ++run;
        const auto tail = refs_.begin() + static_cast<std::ptrdiff_t>(run);
        SortByBytes(std::span(tail, refs_.end()));
        std::inplace_merge(refs_.begin(), tail, refs_.end(), Less);
        rankStart_.clear();
        for (std::size_t k = 0; k < refs_.size(); ++k) {
            if (k == 0 || !Equal(refs_[k - 1], refs_[k])) {
                rankStart_.push_back(static_cast<std::uint32_t>(k));
            }
        }
        const std::size_t n = keyOf_.size();
        if (rankStart_.size() == n) {
            // No two keys equal and every entry its own (a key is named by its entry):
            // the procedure leaves the plain sorted order.
            std::vector<std::uint32_t> perm(n);
            for (std::size_t k = 0; k < n; ++k) perm[k] = refs_[k].Id;
            return perm;
        }
        // Classes of equal keys. Each key's first entry comes with the sorted keys;
        // later entries of the same title (few, as a rule) are grouped by key, in
        // ascending order.
        std::vector<bool> shared(n);
        const auto groupOf = std::make_unique_for_overwrite<std::uint32_t[]>(n);
        std::vector<std::uint32_t> groupStart;  // first the ends, after the fill the starts
        for (std::size_t e = 0; e < n; ++e) {
            const std::uint32_t first = keyOf_[e];
            if (first == e) continue;
            if (!shared[first]) {
                shared[first] = true;
                groupOf[first] = static_cast<std::uint32_t>(groupStart.size());
                groupStart.push_back(0);
            }
            ++groupStart[groupOf[first]];
        }
        for (std::size_t g = 1; g < groupStart.size(); ++g) groupStart[g] += groupStart[g - 1];
        std::vector<std::uint32_t> later(groupStart.empty() ? 0 : groupStart.back());
        for (std::size_t e = n; e-- > 0;) {
            const std::uint32_t first = keyOf_[e];
            if (first != e) later[--groupStart[groupOf[first]]] = static_cast<std::uint32_t>(e);
        }
        groupStart.push_back(static_cast<std::uint32_t>(later.size()));

        std::vector<std::uint32_t> byRank;
        byRank.reserve(n);
        std::vector<std::uint32_t> classStart;
        classStart.reserve(rankStart_.size() + 1);
        for (std::size_t r = 0; r < rankStart_.size(); ++r) {
            const std::size_t end = r + 1 < rankStart_.size() ? rankStart_[r + 1] : refs_.size();
            const std::size_t begin = byRank.size();
            classStart.push_back(static_cast<std::uint32_t>(begin));
            for (std::size_t k = rankStart_[r]; k < end; ++k) {
                const std::uint32_t first = refs_[k].Id;
                byRank.push_back(first);
                if (shared[first]) {
                    const std::uint32_t g = groupOf[first];
                    byRank.insert(byRank.end(), later.begin() + groupStart[g],
                                  later.begin() + groupStart[g + 1]);
                }
            }
            // One key's entries ascend already; equal keys of other titles mix.
            if (end - rankStart_[r] > 1) std::sort(byRank.begin() + begin, byRank.end());
        }
        classStart.push_back(static_cast<std::uint32_t>(n));
        if (std::is_sorted(byRank.begin(), byRank.end())) return byRank;  // nothing to swap
        return ExchangeOrderOfClasses(std::move(byRank), classStart);
    }

    // Keeps the titles and keys of the sorted entries for the next sort; position
    // i holds entry perm[i]. Kept bytes stay where they lie and the new ones, already
    // in one block, are added behind them: no title or key is copied one by one.
    void Keep(const std::vector<std::uint32_t>& perm, TSortKeyCache& cache) {
        const std::size_t n = perm.size();
        std::vector<TSortKeyCache::TSlot> slots(n);
        std::size_t live = 0;
        constexpr std::size_t kAhead = 8;
        for (std::size_t i = 0; i < n; ++i) {
            // The slots lie in the order before the sort.
            if (i + kAhead < n) __builtin_prefetch(&slotOf_[keyOf_[perm[i + kAhead]]]);
            slots[i] = slotOf_[keyOf_[perm[i]]];
            live += slots[i].TitleSize + slots[i].KeySize;
        }
        if (cache.Bytes.empty()) {
            cache.Bytes = std::move(arena_);
        } else {
            cache.Bytes += arena_;
        }
        cache.Slots = std::move(slots);
        // Entries deleted or changed leave their bytes behind: once these make up
        // more than half of the block, it is written anew.
        if (cache.Bytes.size() / 2 > live) {
            std::string bytes;
            bytes.reserve(live);
            for (TSortKeyCache::TSlot& slot : cache.Slots) {
                const std::size_t start = bytes.size();
                bytes.append(cache.Bytes, slot.Start, slot.TitleSize + slot.KeySize);
                slot.Start = start;
            }
            cache.Bytes = std::move(bytes);
        }
    }

  private:
    static constexpr std::uint32_t kSameAsBefore = 0xFFFFFFFF;

    struct TKeyRef {
        std::uint64_t Head;  // the first eight bytes, big-endian, zeros past the end
        const char* Data;
        std::size_t Size;
        std::uint32_t Id;
    };

    static std::uint64_t HeadOf(const char* data, std::size_t size) {
        std::uint64_t head = 0;
        for (std::size_t b = 0; b < 8; ++b) {
            head = (head << 8) | (b < size ? static_cast<unsigned char>(data[b]) : 0u);
        }
        return head;
    }

    // Byte order, shorter first. Equal heads are equal bytes as far as both keys
    // reach, so the comparison goes on behind them.
    static bool Less(const TKeyRef& a, const TKeyRef& b) {
        if (a.Head != b.Head) return a.Head < b.Head;
        const std::size_t skip = std::min({a.Size, b.Size, std::size_t{8}});
        return std::string_view(a.Data + skip, a.Size - skip) <
               std::string_view(b.Data + skip, b.Size - skip);
    }
    // Sorts keys as Less does, comparing numbers only: by heads, then each run of
    // equal heads by the next eight bytes, and so on; keys equal up to their ends go
    // shorter first. Lists whose titles share long beginnings ("Konto ...") thus
    // visit each key's bytes once per eight, not once per comparison. The heads are
    // the first eight bytes again afterwards.
    static void SortByBytes(std::span<TKeyRef> refs) {
        struct TRun {
            std::size_t Begin, End, Depth;  // Depth: bytes the run's keys agree on
        };
        const auto byHead = [](const TKeyRef& a, const TKeyRef& b) { return a.Head < b.Head; };
        std::sort(refs.begin(), refs.end(), byHead);
        std::vector<TRun> runs;
        const auto findRuns = [&](std::size_t begin, std::size_t end, std::size_t depth) {
            for (std::size_t from = begin; from < end;) {
                std::size_t to = from + 1;
                while (to < end && refs[to].Head == refs[from].Head) ++to;
                if (to - from > 1) runs.push_back({from, to, depth + 8});
                from = to;
            }
        };
        findRuns(0, refs.size(), 0);
        const std::vector<TRun> refined = runs;
        while (!runs.empty()) {
            const TRun run = runs.back();
            runs.pop_back();
            const auto first = refs.begin() + static_cast<std::ptrdiff_t>(run.Begin);
            const auto last = refs.begin() + static_cast<std::ptrdiff_t>(run.End);
            bool longer = false;
            for (auto ref = first; ref != last; ++ref) {
                const std::size_t from = std::min(ref->Size, run.Depth);
                ref->Head = HeadOf(ref->Data + from, ref->Size - from);
                longer = longer || ref->Size > run.Depth;
            }
            if (!longer) {
                std::sort(first, last,
                          [](const TKeyRef& a, const TKeyRef& b) { return a.Size < b.Size; });
                continue;
            }
            std::sort(first, last, byHead);
            findRuns(run.Begin, run.End, run.Depth);
        }
        for (const TRun& run : refined) {
            for (std::size_t k = run.Begin; k < run.End; ++k) {
                refs[k].Head = HeadOf(refs[k].Data, refs[k].Size);
            }
        }
    }

    static bool Equal(const TKeyRef& a, const TKeyRef& b) {
        return a.Head == b.Head && a.Size == b.Size && std::memcmp(a.Data, b.Data, a.Size) == 0;
    }

    // A key is named by the first entry with its title. One whose bytes are not made
    // yet (data null) gets them and its head later.
    std::uint32_t Add(std::size_t entry, const char* data, std::size_t size) {
        const auto id = static_cast<std::uint32_t>(entry);
        refs_.push_back({data ? HeadOf(data, size) : 0, data, size, id});
        return id;
    }

    // A hash for finding equal titles, eight bytes a step; the final mix spreads
    // every bit over the whole word, whose halves serve as slot and tag.
    static std::uint64_t HashOf(std::string_view text) {
        std::uint64_t h = 0x9E3779B97F4A7C15ull ^ text.size();
        std::size_t at = 0;
        for (; at + 8 <= text.size(); at += 8) {
            std::uint64_t word;
            std::memcpy(&word, text.data() + at, 8);
            h = (h ^ word) * 0xFF51AFD7ED558CCDull;
            h ^= h >> 32;
        }
        std::uint64_t rest = 0;
        std::memcpy(&rest, text.data() + at, text.size() - at);
        h = (h ^ rest) * 0xC4CEB9FE1A85EC53ull;
        h ^= h >> 33;
        h *= 0xFF51AFD7ED558CCDull;
        return h ^ (h >> 33);
    }

    struct TMissing {
        std::uint32_t Entry;
        std::uint32_t Ref;  // its empty place in refs_
    };

    // Makes the keys of the titles not kept, once per distinct title.
    void MakeMissing(const std::vector<TDataRec>& entries, const std::vector<TMissing>& missing) {
        if (missing.empty()) return;
        const Collator& collator = TitleCollator();
        // Open addressing; a slot holds the upper half of the title's hash and its
        // first entry plus one (0: empty).
        const std::size_t mask = std::bit_ceil(missing.size() * 2) - 1;
        std::vector<std::uint64_t> table(mask + 1, 0);
        std::size_t room = 0;
        for (const TMissing& m : missing) room += entries[m.Entry].Title.size() * 4 + 16;
        arena_.reserve(room);
        std::vector<std::pair<std::uint32_t, std::size_t>> made;  // place in refs_, key in arena_
        // The table is far larger than the caches: each title's slot is fetched
        // a few titles ahead, while the keys in between are made.
        constexpr std::size_t kAhead = 8;
        std::uint64_t hashes[kAhead];
        const auto fetch = [&](std::size_t b) {
            hashes[b % kAhead] = HashOf(entries[missing[b].Entry].Title);
            __builtin_prefetch(&table[hashes[b % kAhead] & mask]);
        };
        for (std::size_t b = 0; b < std::min(kAhead, missing.size()); ++b) fetch(b);
        for (std::size_t b = 0; b < missing.size(); ++b) {
            const std::uint64_t h = hashes[b % kAhead];
            if (b + kAhead < missing.size()) fetch(b + kAhead);
            const std::uint32_t i = missing[b].Entry;
            const std::string& title = entries[i].Title;
            const std::uint64_t tag = h >> 32;
            std::size_t at = h & mask;
            for (;; at = (at + 1) & mask) {
                const std::uint64_t slot = table[at];
                if (slot == 0) break;
                if ((slot >> 32) == tag) {
                    const auto first = static_cast<std::uint32_t>(slot) - 1;
                    if (entries[first].Title == title) break;
                }
            }
            if (table[at] != 0) {
                keyOf_[i] = keyOf_[static_cast<std::uint32_t>(table[at]) - 1];
                continue;  // its own key stays empty and goes below
            }
            table[at] = (tag << 32) | (std::uint64_t{i} + 1);
            // The title goes with its key, as the kept block holds them.
            const std::size_t start = arena_.size();
            arena_ += title;
            const std::size_t size = collator.AppendSortKey(title, arena_);
            refs_[missing[b].Ref].Size = size;
            made.emplace_back(missing[b].Ref, start + title.size());
            if (!slotOf_.empty()) slotOf_[i] = {arenaBase_ + start, title.size(), size};
        }
        // The block has its final place only now.
        for (const auto& [place, key] : made) {
            TKeyRef& ref = refs_[place];
            ref.Data = arena_.data() + key;
            ref.Head = HeadOf(ref.Data, ref.Size);
        }
        if (made.size() < missing.size()) {
            std::erase_if(refs_, [](const TKeyRef& ref) { return ref.Data == nullptr; });
        }
    }

    std::vector<std::uint32_t> keyOf_;      // per entry: its key, the first entry with its title
    std::vector<TKeyRef> refs_;             // in the order of their entries, sorted by Order
    std::vector<std::uint32_t> rankStart_;  // by rank: its first key in the sorted refs_
    // Per key, named by its first entry: where its title and key are to be kept.
    std::vector<TSortKeyCache::TSlot> slotOf_;
    std::size_t arenaBase_;  // where arena_ will begin in the kept block
    std::string arena_;      // the titles and keys made here
};

}  // namespace

std::vector<std::uint32_t> SortKeyList(std::vector<TDataKey>& keys) {
    const std::size_t n = keys.size();
    if (n < 2) return std::vector<std::uint32_t>(n, 0);
    const auto parentRank = CollationRanks(
        n, ParentCollator(),
        [&](std::size_t i) -> std::string_view { return keys[i].Parent.str(); },
        [&](std::size_t i) -> const void* { return &keys[i].Parent.str(); });
    const auto rank = RanksOf(n, [&](std::uint32_t a, std::uint32_t b) {
        if (parentRank[a] != parentRank[b]) return parentRank[a] < parentRank[b];
        return CompareAsciiCI(keys[a].Name, keys[b].Name) < 0;
    });
    return ExchangeSortByRank(keys, rank);
}

std::vector<std::uint32_t> SortEntryList(std::vector<TDataRec>& entries, TSortKeyCache* cache) {
    const std::size_t n = entries.size();
    if (!cache && n < 2) return std::vector<std::uint32_t>(n, 0);
    TSortKeyCache none;
    TSortKeyCache& kept = cache ? *cache : none;
    if (kept.Generation != CollationGeneration()) {
        kept.Bytes.clear();
        kept.Slots.clear();
        kept.Generation = CollationGeneration();
    }
    TitleKeys keys(entries, kept, cache != nullptr);
    const std::vector<std::uint32_t> perm = keys.Order();
    bool moved = false;
    for (std::size_t i = 0; i < n && !moved; ++i) moved = perm[i] != i;
    if (moved) MoveIntoOrder(entries, perm);
    if (cache) keys.Keep(perm, *cache);
    return perm;
}

}  // namespace dorvanta
