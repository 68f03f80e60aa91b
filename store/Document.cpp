#include "store/Document.h"

#include <algorithm>
#include <numeric>
#include <string_view>
#include <type_traits>
#include <unordered_map>

#include "store/Collation.h"
#include "store/DateTime.h"
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
    std::vector<T> sorted;
    sorted.reserve(items.size());
    for (std::uint32_t p : perm) sorted.push_back(std::move(items[p]));
    items = std::move(sorted);
    return perm;
}

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
    if (!cache) {
        if (n < 2) return std::vector<std::uint32_t>(n, 0);
        const auto rank =
            CollationRanks(n, TitleCollator(),
                           [&](std::size_t i) -> std::string_view { return entries[i].Title; });
        return ExchangeSortByRank(entries, rank);
    }
    const Collator& collator = TitleCollator();
    if (cache->Generation != CollationGeneration()) {
        cache->Texts.clear();
        cache->Keys.clear();
        cache->Generation = CollationGeneration();
    }
    std::vector<std::string> keys(n);
    for (std::size_t i = 0; i < n; ++i) {
        const std::string& title = entries[i].Title;
        if (i < cache->Texts.size() && cache->Texts[i] == title) {
            keys[i] = std::move(cache->Keys[i]);
        } else if (i > 0 && title == entries[i - 1].Title) {
            keys[i] = keys[i - 1];
        } else {
            keys[i] = collator.SortKey(title);
        }
    }
    const auto rank =
        RanksOf(n, [&](std::uint32_t a, std::uint32_t b) { return keys[a] < keys[b]; });
    const auto perm = ExchangeSortByRank(entries, rank);
    cache->Texts.resize(n);
    cache->Keys.resize(n);
    for (std::size_t i = 0; i < n; ++i) {
        cache->Texts[i] = entries[i].Title;
        cache->Keys[i] = std::move(keys[perm[i]]);
    }
    return perm;
}

TDocument::TDocument() : Now(&NowDateTime) {}

void TDocument::ClearDocument() {
    Keys.clear();
    entryKeyCache_.clear();
    SelectedKey = -1;
    FileName.clear();
    Password.clear();
    Format = TFormat::Plain;
    Modified = false;
}

std::int32_t TDocument::IndexOfKey(const std::string& parent, const std::string& name) const {
    for (std::size_t i = 0; i < Keys.size(); ++i) {
        if (Keys[i].Name == name && Keys[i].Parent == parent) return static_cast<std::int32_t>(i);
    }
    return -1;
}

void TDocument::ShareParentWithNeighbours(std::int32_t key) {
    if (key < 0) return;
    TSharedText& parent = Keys[key].Parent;
    if (key > 0 && Keys[key - 1].Parent == parent) {
        parent = Keys[key - 1].Parent;
    } else if (static_cast<std::size_t>(key) + 1 < Keys.size() && Keys[key + 1].Parent == parent) {
        parent = Keys[key + 1].Parent;
    }
}

std::int32_t TDocument::AddKey(const std::string& parent, const std::string& name) {
    Keys.push_back(TDataKey{name, parent, {}});
    SortKeys();
    Modified = true;
    const std::int32_t index = IndexOfKey(parent, name);
    ShareParentWithNeighbours(index);
    return index;
}

std::int32_t TDocument::UpdateKey(std::int32_t key, const std::string& parent,
                                  const std::string& name) {
    if (Keys[key].Parent != parent) Keys[key].Parent = parent;
    Keys[key].Name = name;
    SortKeys();
    Modified = true;
    const std::int32_t index = IndexOfKey(parent, name);
    ShareParentWithNeighbours(index);
    return index;
}

void TDocument::DeleteKey(std::int32_t key) {
    Keys.erase(Keys.begin() + key);
    if (static_cast<std::size_t>(key) < entryKeyCache_.size()) {
        entryKeyCache_.erase(entryKeyCache_.begin() + key);
    }
    Modified = true;
}

bool TDocument::RenameParent(std::int32_t key, const std::string& newParent) {
    const TSharedText old = Keys[key].Parent;
    if (old == newParent) return false;
    const TSharedText renamed(newParent);  // the whole group shares the new name
    for (std::int32_t i = key - 1; i >= 0 && Keys[i].Parent == old; --i) Keys[i].Parent = renamed;
    for (std::size_t i = key; i < Keys.size() && Keys[i].Parent == old; ++i) {
        Keys[i].Parent = renamed;
    }
    SortKeys();
    Modified = true;
    return true;
}

bool TDocument::IsGroupStart(std::int32_t key) const {
    return key == 0 || Keys[key].Parent != Keys[key - 1].Parent;
}

void TDocument::SortKeys() {
    const auto perm = SortKeyList(Keys);
    if (entryKeyCache_.empty()) return;
    // The caches follow their keys to the new places.
    entryKeyCache_.resize(std::max(entryKeyCache_.size(), Keys.size()));
    std::vector<TSortKeyCache> moved(Keys.size());
    for (std::size_t i = 0; i < perm.size(); ++i) moved[i] = std::move(entryKeyCache_[perm[i]]);
    entryKeyCache_ = std::move(moved);
}

std::int32_t TDocument::FindEntry(std::int32_t key, const std::string& title) const {
    const auto& data = Keys[key].Data;
    for (std::size_t i = 0; i < data.size(); ++i) {
        if (data[i].Title == title) return static_cast<std::int32_t>(i);
    }
    return -1;
}

void TDocument::AddEntry(std::int32_t key, const std::string& title, const std::string& value,
                         const std::string& info) {
    Keys[key].Data.push_back(TDataRec{title, value, info, Now()});
    SortEntries(key);
    Modified = true;
}

std::int32_t TDocument::UpdateEntry(std::int32_t key, std::int32_t entry, const std::string& title,
                                    const std::string& value, const std::string& info) {
    Keys[key].Data[entry] = TDataRec{title, value, info, Now()};
    if (entryKeyCache_.size() <= static_cast<std::size_t>(key)) entryKeyCache_.resize(key + 1);
    const auto perm = SortEntryList(Keys[key].Data, &entryKeyCache_[key]);
    Modified = true;
    const auto it = std::find(perm.begin(), perm.end(), static_cast<std::uint32_t>(entry));
    return static_cast<std::int32_t>(it - perm.begin());
}

void TDocument::DeleteEntry(std::int32_t key, std::int32_t entry) {
    auto& data = Keys[key].Data;
    data.erase(data.begin() + entry);
    if (static_cast<std::size_t>(key) < entryKeyCache_.size()) {
        TSortKeyCache& cache = entryKeyCache_[key];
        if (static_cast<std::size_t>(entry) < cache.Texts.size()) {
            cache.Texts.erase(cache.Texts.begin() + entry);
            cache.Keys.erase(cache.Keys.begin() + entry);
        }
    }
    Modified = true;
}

void TDocument::SortEntries(std::int32_t key) {
    // Nothing to order, and no cache kept: sorting a file of many small keys then
    // costs no cache per key.
    if (Keys[key].Data.size() < 2) return;
    if (entryKeyCache_.size() <= static_cast<std::size_t>(key)) entryKeyCache_.resize(key + 1);
    SortEntryList(Keys[key].Data, &entryKeyCache_[key]);
}

void TDocument::SetPassword(const std::string& password) {
    Password = password;
    Modified = true;
}

}  // namespace dorvanta
