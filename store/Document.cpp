#include "store/Document.h"

#include <sodium.h>

#include <algorithm>

#include "store/Cp1252.h"
#include "store/DateTime.h"

namespace dorvanta {

TDocument::TDocument() : Now(&NowDateTime) {}

void TDocument::ClearDocument() {
    Keys.clear();
    entryKeyCache_.clear();
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
        // The deleted entry's bytes stay unused in the block until the next sort.
        auto& slots = entryKeyCache_[key].Slots;
        if (static_cast<std::size_t>(entry) < slots.size()) slots.erase(slots.begin() + entry);
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

void TDocument::Wipe() {
    const auto wipe = [](std::string& text) {
        if (!text.empty()) sodium_memzero(text.data(), text.size());
    };
    for (TDataKey& key : Keys) {
        wipe(key.Name);
        key.Parent.Wipe();
        for (TDataRec& rec : key.Data) {
            wipe(rec.Title);
            wipe(rec.Value);
            wipe(rec.Info);
        }
    }
    for (TSortKeyCache& cache : entryKeyCache_) wipe(cache.Bytes);
    wipe(Password);
    ClearDocument();
    Keys.shrink_to_fit();
}

void TDocument::OwnTexts() {
    for (std::size_t i = 0; i < Keys.size(); ++i) {
        if (i > 0 && Keys[i].Parent == Keys[i - 1].Parent) {
            Keys[i].Parent = Keys[i - 1].Parent;
        } else {
            Keys[i].Parent = TSharedText(Keys[i].Parent.str());
        }
    }
}

void TDocument::SetPassword(const std::string& password) {
    Password = password;
    Modified = true;
}

std::optional<std::string> PasswordForFormat(const std::string& password,
                                             TDocument::TFormat from, TDocument::TFormat to) {
    using TFormat = TDocument::TFormat;
    if (from == to) return password;
    if (to == TFormat::Encrypted) return Cp1252ToUtf8(password);
    auto plain = Utf8ToCp1252Strict(password);
    if (plain && plain->size() > kMaxPlainPasswordLength) {
        sodium_memzero(plain->data(), plain->size());
        plain.reset();
    }
    return plain;
}

}  // namespace dorvanta
