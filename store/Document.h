#pragma once
// The one collection the program holds: sub-categories (keys) under parent names,
// each with its entries. Views address keys and entries by position.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "store/SharedText.h"

namespace dorvanta {

// All texts are Windows-1252 byte strings.
struct TDataRec {
    std::string Title;
    std::string Value;
    std::string Info;
    double Date = 0.0;  // days since 1899-12-30, local time
};

struct TDataKey {
    std::string Name;
    // The keys of a group share one text (the loader and the key operations see to
    // it); grouping itself still goes by the bytes of the name.
    TSharedText Parent;
    std::vector<TDataRec> Data;
};

// The collation keys of a list of titles as they stood after its last sort, by
// position: a later sort reuses the key of every title still in its place, so
// adding one entry to a long list costs one key, not a key per entry. Titles and
// keys lie in one block, not in two strings per entry.
struct TSortKeyCache {
    struct TSlot {
        std::size_t Start = 0;  // in Bytes: the title, then its key
        std::size_t TitleSize = 0;
        std::size_t KeySize = 0;
    };
    std::uint64_t Generation = 0;  // of the collator that made the keys
    std::string Bytes;
    std::vector<TSlot> Slots;
};

// The document state and its operations. Operations do not validate: callers
// check their input first and pass only indices of existing keys and entries.
class TDocument {
  public:
    std::vector<TDataKey> Keys;
    // Empty: not protected. A plain document's password is Windows-1252 text of at
    // most kMaxPlainPasswordLength characters (the pdt format holds no other); an
    // encrypted one's is its age passphrase, any UTF-8 text.
    std::string Password;
    // How the document was read and is saved: plain pdt or an age file.
    enum class TFormat { Plain, Encrypted } Format = TFormat::Plain;
    bool Modified = false;
    bool Loading = false;

    // The clock that stamps entries; tests replace it.
    std::function<double()> Now;

    TDocument();

    void ClearDocument();
    std::int32_t AddKey(const std::string& parent, const std::string& name);
    std::int32_t UpdateKey(std::int32_t key, const std::string& parent, const std::string& name);
    void DeleteKey(std::int32_t key);
    bool RenameParent(std::int32_t key, const std::string& newParent);
    bool IsGroupStart(std::int32_t key) const;
    void SortKeys();

    std::int32_t FindEntry(std::int32_t key, const std::string& title) const;
    void AddEntry(std::int32_t key, const std::string& title, const std::string& value,
                  const std::string& info);
    // Returns the entry's position after the re-sort, so a view can keep it selected.
    std::int32_t UpdateEntry(std::int32_t key, std::int32_t entry, const std::string& title,
                             const std::string& value, const std::string& info);
    void DeleteEntry(std::int32_t key, std::int32_t entry);
    void SortEntries(std::int32_t key);

    void SetPassword(const std::string& password);
    // Overwrites every text the document holds (names, entries, the password and
    // the sort caches' copies of titles) before it empties itself like
    // ClearDocument, so that freed memory keeps none of them.
    void Wipe();
    // Gives the keys parent texts of their own, shared only within this document:
    // a copy (or a merge's result) shares them with the document it came from,
    // and wiping one must leave the other whole.
    void OwnTexts();

  private:
    std::int32_t IndexOfKey(const std::string& parent, const std::string& name) const;
    // Lets a key take its group's shared parent text instead of a copy of its own.
    void ShareParentWithNeighbours(std::int32_t key);

    // One cache per key position, following the keys when they are sorted or
    // deleted; a stale one only costs keys, since every title is checked.
    std::vector<TSortKeyCache> entryKeyCache_;
};

// Key order: parent by the case-sensitive locale collation, then name by the
// ASCII case-insensitive order. Entry order: title by the case-insensitive
// locale collation. Both sorts reproduce, ties included, the sequence of the
// classic exchange procedure: for i, for j > i, swap when item i sorts after item j.
// Returns where each key came from, like SortEntryList.
std::vector<std::uint32_t> SortKeyList(std::vector<TDataKey>& keys);
// Returns where each entry came from: position i now holds the former entry result[i].
std::vector<std::uint32_t> SortEntryList(std::vector<TDataRec>& entries,
                                         TSortKeyCache* cache = nullptr);

inline constexpr std::size_t kMaxPlainPasswordLength = 255;

// A document's password of format `from` as a document of format `to` keeps it;
// nothing when a plain document cannot hold it.
std::optional<std::string> PasswordForFormat(const std::string& password,
                                             TDocument::TFormat from, TDocument::TFormat to);

}  // namespace dorvanta
