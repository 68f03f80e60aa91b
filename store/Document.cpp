#include "store/Document.h"

#include <algorithm>
#include <numeric>

#include "store/Collation.h"
#include "store/DateTime.h"

namespace dorvanta {
namespace {

// Gives every item the rank of its class of equal items, from an order on indices.
template <typename Less>
std::vector<std::uint32_t> RanksOf(std::size_t n, Less less) {
    std::vector<std::uint32_t> order(n);
    std::iota(order.begin(), order.end(), 0u);
    std::sort(order.begin(), order.end(), less);
    std::vector<std::uint32_t> rank(n);
    std::uint32_t current = 0;
    for (std::size_t k = 0; k < n; ++k) {
        if (k > 0 && less(order[k - 1], order[k])) ++current;
        rank[order[k]] = current;
    }
    return rank;
}

// Runs the exchange procedure on the ranks (cheap integer comparisons) and then
// moves the items once into the resulting places.
// Returns where each item came from: new position i holds the old item perm[i].
template <typename T>
std::vector<std::uint32_t> ExchangeSortByRank(std::vector<T>& items,
                                              std::vector<std::uint32_t> rank) {
    const std::size_t n = items.size();
    std::vector<std::uint32_t> perm(n);
    std::iota(perm.begin(), perm.end(), 0u);
    if (std::is_sorted(rank.begin(), rank.end())) return perm;  // the procedure would swap nothing
    for (std::size_t i = 0; i < n; ++i) {
        std::uint32_t ri = rank[i];
        for (std::size_t j = i + 1; j < n; ++j) {
            if (ri > rank[j]) {
                rank[i] = rank[j];
                rank[j] = ri;
                ri = rank[i];
                std::swap(perm[i], perm[j]);
            }
        }
    }
    std::vector<T> sorted;
    sorted.reserve(n);
    for (std::uint32_t p : perm) sorted.push_back(std::move(items[p]));
    items = std::move(sorted);
    return perm;
}

}  // namespace

void SortKeyList(std::vector<TDataKey>& keys) {
    const std::size_t n = keys.size();
    if (n < 2) return;
    const Collator& collator = ParentCollator();
    std::vector<std::string> parentKeys(n);
    for (std::size_t i = 0; i < n; ++i) parentKeys[i] = collator.SortKey(keys[i].Parent);
    auto rank = RanksOf(n, [&](std::uint32_t a, std::uint32_t b) {
        const int c = parentKeys[a].compare(parentKeys[b]);
        if (c != 0) return c < 0;
        return CompareAsciiCI(keys[a].Name, keys[b].Name) < 0;
    });
    ExchangeSortByRank(keys, std::move(rank));
}

std::vector<std::uint32_t> SortEntryList(std::vector<TDataRec>& entries) {
    const std::size_t n = entries.size();
    if (n < 2) return std::vector<std::uint32_t>(n, 0);
    const Collator& collator = TitleCollator();
    std::vector<std::string> titleKeys(n);
    for (std::size_t i = 0; i < n; ++i) titleKeys[i] = collator.SortKey(entries[i].Title);
    auto rank =
        RanksOf(n, [&](std::uint32_t a, std::uint32_t b) { return titleKeys[a] < titleKeys[b]; });
    return ExchangeSortByRank(entries, std::move(rank));
}

TDocument::TDocument() : Now(&NowDateTime) {}

void TDocument::ClearDocument() {
    Keys.clear();
    SelectedKey = -1;
    FileName.clear();
    Password.clear();
    Modified = false;
}

std::int32_t TDocument::IndexOfKey(const std::string& parent, const std::string& name) const {
    for (std::size_t i = 0; i < Keys.size(); ++i) {
        if (Keys[i].Name == name && Keys[i].Parent == parent) return static_cast<std::int32_t>(i);
    }
    return -1;
}

std::int32_t TDocument::AddKey(const std::string& parent, const std::string& name) {
    Keys.push_back(TDataKey{name, parent, {}});
    SortKeys();
    Modified = true;
    return IndexOfKey(parent, name);
}

std::int32_t TDocument::UpdateKey(std::int32_t key, const std::string& parent,
                                  const std::string& name) {
    Keys[key].Parent = parent;
    Keys[key].Name = name;
    SortKeys();
    Modified = true;
    return IndexOfKey(parent, name);
}

void TDocument::DeleteKey(std::int32_t key) {
    Keys.erase(Keys.begin() + key);
    Modified = true;
}

bool TDocument::RenameParent(std::int32_t key, const std::string& newParent) {
    const std::string old = Keys[key].Parent;
    if (newParent == old) return false;
    for (std::int32_t i = key - 1; i >= 0 && Keys[i].Parent == old; --i) Keys[i].Parent = newParent;
    for (std::size_t i = key; i < Keys.size() && Keys[i].Parent == old; ++i) {
        Keys[i].Parent = newParent;
    }
    SortKeys();
    Modified = true;
    return true;
}

bool TDocument::IsGroupStart(std::int32_t key) const {
    return key == 0 || Keys[key].Parent != Keys[key - 1].Parent;
}

void TDocument::SortKeys() {
    SortKeyList(Keys);
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
    const auto perm = SortEntryList(Keys[key].Data);
    Modified = true;
    const auto it = std::find(perm.begin(), perm.end(), static_cast<std::uint32_t>(entry));
    return static_cast<std::int32_t>(it - perm.begin());
}

void TDocument::DeleteEntry(std::int32_t key, std::int32_t entry) {
    auto& data = Keys[key].Data;
    data.erase(data.begin() + entry);
    Modified = true;
}

void TDocument::SortEntries(std::int32_t key) {
    SortEntryList(Keys[key].Data);
}

void TDocument::SetPassword(const std::string& password) {
    Password = password;
    Modified = true;
}

}  // namespace dorvanta
