#include "store/PdtDocReader.h"

#include <algorithm>
#include <cstdint>
#include <vector>

#include "store/Document.h"
#include "store/PdtReader.h"
#include "store/VectorState.h"

namespace dorvanta {
namespace {

using namespace pdt;

// Unscrambles in place: a long text is not held twice.
void Unscramble(std::string& text) {
    auto* bytes = reinterpret_cast<unsigned char*>(text.data());
    const std::size_t n = text.size();
    auto sub = static_cast<unsigned char>(n + 1);  // n + 3j + 1 for byte j
    std::size_t j = 0;
    // Sixteen bytes at a time in a loop of fixed length, which the compiler turns
    // into one vector subtraction.
    for (; j + 16 <= n; j += 16) {
        for (unsigned k = 0; k < 16; ++k) {
            bytes[j + k] = static_cast<unsigned char>(bytes[j + k] - sub - 3 * k);
        }
        sub = static_cast<unsigned char>(sub + 48);
    }
    for (; j < n; ++j) {
        bytes[j] = static_cast<unsigned char>(bytes[j] - sub);
        sub = static_cast<unsigned char>(sub + 3);
    }
}

std::string Unscrambled(std::string text) {
    Unscramble(text);
    return text;
}

// Reads a stored text straight into its place.
void ReadScrambled(TPdtReader& reader, std::string& into) {
    into = reader.String();
    Unscramble(into);
}

// Room for one more item. The capacity doubles, but never beyond what the rest of
// the file (`remaining` bytes, records of at least `minRecord` bytes) can still
// fill; when that is near, it goes there at once. A file of many small records
// thus leaves no unused room, and its last move holds at most half the list twice.
template <typename T>
void MakeRoom(std::vector<T>& items, std::uint64_t remaining, std::uint64_t minRecord) {
    if (items.size() < items.capacity()) return;
    const std::uint64_t most = items.size() + 1 + remaining / minRecord;
    const std::uint64_t doubled = std::max<std::uint64_t>(2 * items.capacity(), 4);
    items.reserve(static_cast<std::size_t>(most <= 2 * doubled ? most : doubled));
}

// Drops a finished list's unused room when it is worth a move.
template <typename T>
void TrimRoom(std::vector<T>& items) {
    if (8 * (items.capacity() - items.size()) > items.size()) items.shrink_to_fit();
}

// The smallest records: marker, empty name; marker, three empty texts, an 8-bit date.
constexpr std::uint64_t kMinKeyBytes = 4;
constexpr std::uint64_t kMinEntryBytes = 10;

// Asks for the password the file stores; false (the file refused) when the
// prompt is cancelled or answered wrongly.
bool StoredPasswordGiven(TDocument& doc, const std::string& path, const TLoadHooks& hooks) {
    const auto typed = hooks.AskPassword ? hooks.AskPassword(path) : std::nullopt;
    if (typed && *typed == doc.Password) return true;
    RefuseFile(doc, hooks, typed.has_value());
    return false;
}

// The records up to the list's end, each appended in its place.
void ReadRecords(TDocument& doc, TPdtReader& reader) {
    while (reader.PeekTag() != kEndOfList) {
        const std::int32_t marker = reader.Integer();
        if (marker == kMarkerEntry) {
            // An entry needs a key to belong to.
            if (doc.Keys.empty()) BadValue();
            // Read in its place in the list: no entry is moved once read. (A
            // failed read fails the whole load, which drops the document.)
            auto& data = doc.Keys.back().Data;
            MakeRoom(data, reader.Remaining(), kMinEntryBytes);
            TDataRec& rec = data.emplace_back();
            ReadScrambled(reader, rec.Title);
            ReadScrambled(reader, rec.Value);
            ReadScrambled(reader, rec.Info);
            rec.Date = reader.Date();
        } else {
            TDataKey key;
            if (marker == kMarkerGroupStart) {
                key.Parent = reader.String();
                // The same name again is still the same group: share its text.
                if (!doc.Keys.empty() && doc.Keys.back().Parent == key.Parent) {
                    key.Parent = doc.Keys.back().Parent;
                }
            } else {
                // Any other marker continues the previous key's group.
                if (doc.Keys.empty()) BadValue();
                key.Parent = doc.Keys.back().Parent;
            }
            ReadScrambled(reader, key.Name);
            if (!doc.Keys.empty()) TrimRoom(doc.Keys.back().Data);
            MakeRoom(doc.Keys, reader.Remaining(), kMinKeyBytes);
            doc.Keys.push_back(std::move(key));
        }
    }
    if (!doc.Keys.empty()) TrimRoom(doc.Keys.back().Data);
}

}  // namespace

std::string UnscrambleText(const std::string& text) {
    return Unscrambled(text);
}

namespace pdt {

void RefuseFile(TDocument& doc, const TLoadHooks& hooks, bool wrongPassword) {
    if (wrongPassword && hooks.ShowWrongPassword) hooks.ShowWrongPassword();
    doc.Modified = false;
    if (hooks.ResetToNew) {
        hooks.ResetToNew();
    } else {
        doc.ClearDocument();
    }
}

bool ReadDocument(TDocument& doc, TPdtReader& reader, const std::string& path,
                  const TLoadHooks& hooks, const std::string* passphrase) {
    ClearUpperVectorState();
    doc.Keys.clear();
    doc.Keys.shrink_to_fit();  // the previous document's room
    // A pdt stream is the plain format; ReadEncrypted sets its own afterwards. (A
    // plain file opened after an encrypted one was saved encrypted before.)
    doc.Format = TDocument::TFormat::Plain;
    if (reader.Tag() != kListBegin) BadValue();
    doc.Password = Unscrambled(reader.String());
    doc.Loading = true;
    if (passphrase) doc.Password = *passphrase;

    const bool accepted =
        passphrase || doc.Password.empty() || StoredPasswordGiven(doc, path, hooks);
    if (accepted) ReadRecords(doc, reader);

    doc.Loading = false;
    if (hooks.RebuildViews) hooks.RebuildViews();
    return accepted;
}

}  // namespace pdt
}  // namespace dorvanta
