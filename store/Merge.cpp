// Merging collections (store/Merge.h): the sub-categories, the password, the texts.
#include "store/Merge.h"

#include <algorithm>
#include <cstdio>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

#include "store/Cp1252.h"
#include "store/DateTime.h"
#include "store/MergeParts.h"

namespace dorvanta {
namespace {

using namespace merge;

enum { kBase = 0, kOurs = 1, kTheirs = 2 };

// One sub-category as the three sides hold it (null: not there), its positions and
// its parent as a number: equal parent texts, one per side, get one number.
struct TSlot {
    const TDataKey* Side[3] = {};
    std::int64_t Pos[3] = {-1, -1, -1};
    std::uint32_t Parent[3] = {};
};

struct TKeyPairing {
    std::vector<TSlot> Slots;
    std::vector<std::uint32_t> Taken;  // slots of new sub-categories that held a moved one's place
};

struct TIdentity {
    std::uint32_t Parent;
    std::string_view Name;
    bool operator==(const TIdentity&) const = default;
};
struct TIdentityHash {
    std::size_t operator()(const TIdentity& id) const {
        return std::hash<std::string_view>{}(id.Name) * 31 + id.Parent;
    }
};

// Pairs the sub-categories of the three sides by parent and name, equal ones in
// order. A group's keys share their parent text, so a long parent name is hashed
// once per group, not once per key (a hostile file may hold many under a long one).
TKeyPairing PairKeys(const TDocument* const docs[3]) {
    TKeyPairing pairing;
    std::vector<TSlot>& slots = pairing.Slots;
    std::unordered_map<std::string_view, std::uint32_t> parentNumber;
    struct TEqual {
        std::vector<std::uint32_t> Slots;  // of the keys of this identity, in order
        std::uint32_t Seen[3] = {};        // how many each side has met so far
    };
    std::unordered_map<TIdentity, TEqual, TIdentityHash> slotsOf;
    slotsOf.reserve(docs[kOurs]->Keys.size());
    for (int side = 0; side < 3; ++side) {
        const std::vector<TDataKey>& keys = docs[side]->Keys;
        std::uint32_t parent = 0;
        for (std::size_t k = 0; k < keys.size(); ++k) {
            const TDataKey& key = keys[k];
            if (k == 0 || !key.Parent.SharesWith(keys[k - 1].Parent)) {
                parent =
                    parentNumber.try_emplace(key.Parent.str(), parentNumber.size()).first->second;
            }
            TEqual& same = slotsOf[{parent, key.Name}];
            const std::uint32_t occurrence = same.Seen[side]++;
            if (occurrence == same.Slots.size()) {
                same.Slots.push_back(static_cast<std::uint32_t>(slots.size()));
                slots.emplace_back();
            }
            TSlot& slot = slots[same.Slots[occurrence]];
            slot.Side[side] = &key;
            slot.Pos[side] = static_cast<std::int64_t>(k);
            slot.Parent[side] = parent;
        }
    }
    return pairing;
}

std::uint64_t HashEntries(const TDataKey& key) {
    std::uint64_t h = std::hash<std::string>{}(key.Name);
    for (const TDataRec& rec : key.Data) h = h * 1000003u ^ HashEntry(rec);
    return h;
}

bool SameEntries(const TDataKey& a, const TDataKey& b) {
    return a.Data.size() == b.Data.size() &&
           std::equal(a.Data.begin(), a.Data.end(), b.Data.begin(), SameEntry);
}

// A renamed parent makes its sub-categories look deleted and added on that side.
// A sub-category of base that side no longer holds as it was pairs with a new one
// of the same name and the same entries under another parent: it moved there with
// its parent's rename, whether the new name is new or joins a group base had. A
// sub-category made since under the old name, which took the place by its name,
// then counts as new. Unpaired, the moved one would look added, and bring back
// what the other side deleted.
void PairRenamedParents(TKeyPairing& pairing, int s) {
    std::vector<TSlot>& slots = pairing.Slots;
    // Only a name that is new somewhere on that side can have moved; most merges
    // have none, and compare no entries here.
    std::unordered_set<std::string_view> addedNames;
    for (const TSlot& slot : slots) {
        if (!slot.Side[kBase] && slot.Side[s]) addedNames.insert(slot.Side[s]->Name);
    }
    if (addedNames.empty()) return;
    std::unordered_map<std::uint64_t, std::vector<std::uint32_t>> gone;  // reversed, by content
    for (std::uint32_t i = static_cast<std::uint32_t>(slots.size()); i-- > 0;) {
        const TSlot& slot = slots[i];
        if (slot.Side[kBase] && addedNames.contains(slot.Side[kBase]->Name) &&
            (!slot.Side[s] || !SameEntries(*slot.Side[kBase], *slot.Side[s]))) {
            gone[HashEntries(*slot.Side[kBase])].push_back(i);
        }
    }
    if (gone.empty()) return;
    const std::size_t count = slots.size();
    for (std::size_t a = 0; a < count; ++a) {
        const TSlot added = slots[a];
        if (added.Side[kBase] || !added.Side[s]) continue;
        const auto it = gone.find(HashEntries(*added.Side[s]));
        if (it == gone.end() || it->second.empty()) continue;
        const std::uint32_t r = it->second.back();
        const TDataKey& was = *slots[r].Side[kBase];
        if (was.Name != added.Side[s]->Name || !SameEntries(was, *added.Side[s])) continue;
        it->second.pop_back();
        if (slots[r].Side[s]) {
            // The one that took the place: new, in a slot of its own.
            TSlot other;
            other.Side[s] = slots[r].Side[s], other.Pos[s] = slots[r].Pos[s];
            other.Parent[s] = slots[r].Parent[s];
            pairing.Taken.push_back(static_cast<std::uint32_t>(slots.size()));
            slots.push_back(other);
        }
        TSlot& renamed = slots[r];
        renamed.Side[s] = added.Side[s], renamed.Pos[s] = added.Pos[s];
        renamed.Parent[s] = added.Parent[s];
        slots[a].Side[s] = nullptr, slots[a].Pos[s] = -1;
    }
}

// New sub-categories that took a moved one's place on both sides are one, as
// they would have been paired by parent and name (equal ones in their order).
void PairTakenPlaces(TKeyPairing& pairing) {
    std::vector<TSlot>& slots = pairing.Slots;
    std::unordered_map<TIdentity, std::vector<std::uint32_t>, TIdentityHash> theirs;
    for (auto t = pairing.Taken.rbegin(); t != pairing.Taken.rend(); ++t) {
        if (const TDataKey* key = slots[*t].Side[kTheirs]) {
            theirs[{slots[*t].Parent[kTheirs], key->Name}].push_back(*t);
        }
    }
    if (theirs.empty()) return;
    for (const std::uint32_t o : pairing.Taken) {
        const TDataKey* key = slots[o].Side[kOurs];
        if (!key) continue;
        const auto it = theirs.find({slots[o].Parent[kOurs], key->Name});
        if (it == theirs.end() || it->second.empty()) continue;
        TSlot& other = slots[it->second.back()];
        it->second.pop_back();
        TSlot& ours = slots[o];
        ours.Side[kTheirs] = other.Side[kTheirs], ours.Pos[kTheirs] = other.Pos[kTheirs];
        ours.Parent[kTheirs] = other.Parent[kTheirs];
        other = TSlot{};
    }
}

// The sub-category's parent where all three sides hold it.
const TSharedText& PickParent(const TSlot& slot, TMergeResult& result) {
    const std::uint32_t b = slot.Parent[kBase], o = slot.Parent[kOurs], t = slot.Parent[kTheirs];
    if (o == b && t != b) ++result.FromTheirs.KeysChanged;
    if (o == b) return slot.Side[kTheirs]->Parent;
    if (t != b && t != o) {
        result.Conflicts.push_back({TMergeConflict::TKind::ParentRenamedBoth,
                                    slot.Side[kOurs]->Parent,
                                    slot.Side[kOurs]->Name,
                                    slot.Side[kTheirs]->Parent,
                                    {}});
    }
    return slot.Side[kOurs]->Parent;
}

// The merged sub-category of one slot; false when it is gone.
bool MergeKey(const TSlot& slot, TDataKey& out, TMergeResult& result) {
    static const std::vector<TDataRec> kNoEntries;
    const TDataKey *b = slot.Side[kBase], *o = slot.Side[kOurs], *t = slot.Side[kTheirs];
    if (!o && !t) return false;  // deleted on both sides, or moved by a rename
    if (!b && !(o && t)) {       // new on one side
        out = o ? *o : *t;
        if (!o) ++result.FromTheirs.KeysAdded, result.FromTheirs.EntriesAdded += t->Data.size();
        return true;
    }
    const TDataKey& named = o ? *o : *t;
    const TSharedText& parent = (b && o && t) ? PickParent(slot, result) : named.Parent;
    TEntrySides sides{b ? b->Data : kNoEntries, o ? o->Data : kNoEntries, t ? t->Data : kNoEntries,
                      !o, !t};
    const std::size_t conflicts = result.Conflicts.size();
    out.Data = MergeEntries(sides, parent, named.Name, result);
    out.Parent = parent;
    out.Name = named.Name;
    if (o && t) return true;
    // Deleted on one side: what the other side added or changed in it stays.
    if (out.Data.empty()) {
        if (o) ++result.FromTheirs.KeysDeleted, result.FromTheirs.EntriesDeleted += b->Data.size();
        return false;
    }
    result.Conflicts.resize(conflicts);
    result.Conflicts.push_back(
        {TMergeConflict::TKind::KeyDeletedEntriesKept, parent, named.Name, {}, {}});
    return true;
}

bool SameKeyList(const TKeyPairing& pairing) {
    return std::all_of(pairing.Slots.begin(), pairing.Slots.end(), [](const TSlot& slot) {
        return !slot.Side[kBase] == !slot.Side[kOurs] && slot.Pos[kBase] == slot.Pos[kOurs] &&
               slot.Parent[kBase] == slot.Parent[kOurs];
    });
}

TMergeResult MergeDocuments(const TDocument& base, const TDocument& ours, const TDocument& theirs) {
    const TDocument* const docs[3] = {&base, &ours, &theirs};
    TKeyPairing pairing = PairKeys(docs);
    PairRenamedParents(pairing, kOurs);
    PairRenamedParents(pairing, kTheirs);
    PairTakenPlaces(pairing);

    TMergeResult result;
    // The order of ties before the sort follows the side that changed the list, so
    // that a merge with one side unchanged gives the other side as it stands.
    const int primary = SameKeyList(pairing) ? kTheirs : kOurs;
    const int secondary = kOurs + kTheirs - primary;
    std::vector<TDataKey> keys;
    std::vector<TPlace> places;
    keys.reserve(pairing.Slots.size());
    for (const TSlot& slot : pairing.Slots) {
        keys.emplace_back();
        if (!MergeKey(slot, keys.back(), result)) {
            keys.pop_back();
            continue;
        }
        const bool onPrimary = slot.Pos[primary] >= 0;
        places.push_back({slot.Pos[primary], slot.Pos[secondary], onPrimary ? 0 : 2});
    }
    const auto order = PlacementOrder(places, docs[secondary]->Keys.size());
    TDocument& doc = result.Document;
    doc.Keys.reserve(keys.size());
    bool asPrimary = keys.size() == docs[primary]->Keys.size();
    for (const std::size_t i : order) {
        const std::size_t at = doc.Keys.size();
        // A parent taken from the other side moves the sub-category.
        asPrimary = asPrimary && places[i].Primary == static_cast<std::int64_t>(at) &&
                    docs[primary]->Keys[at].Parent.SharesWith(keys[i].Parent);
        doc.Keys.push_back(std::move(keys[i]));
    }
    if (!asPrimary) SortKeyList(doc.Keys);
    // A group shares one parent text of its own, none of the sides'.
    for (std::size_t k = 0; k < doc.Keys.size(); ++k) {
        TSharedText& parent = doc.Keys[k].Parent;
        parent = k > 0 && doc.Keys[k - 1].Parent == parent ? doc.Keys[k - 1].Parent
                                                           : TSharedText(parent.str());
    }
    doc.Format = ours.Format;
    doc.Now = ours.Now;
    doc.Modified = true;
    return result;
}

std::string Quoted(std::string_view cp1252) {
    return "„" + Cp1252ToUtf8(cp1252) + "“";
}

std::string Counted(std::size_t n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

}  // namespace

TMergeResult Merge(const TDocument& base, const TDocument& ours, const TDocument& theirs) {
    TMergeResult result = MergeDocuments(base, ours, theirs);
    std::string& password = result.Document.Password;
    if (ours.Password == base.Password) {
        password = theirs.Password;
    } else {
        password = ours.Password;
        if (theirs.Password != base.Password && theirs.Password != ours.Password) {
            result.Conflicts.push_back(
                {TMergeConflict::TKind::PasswordChangedBoth, {}, {}, {}, {}});
        }
    }
    return result;
}

TMergeResult MergeWithoutBase(const TDocument& ours, const TDocument& theirs) {
    const TDocument none;
    TMergeResult result = MergeDocuments(none, ours, theirs);
    result.Document.Password = ours.Password;
    if (theirs.Password != ours.Password) {
        result.Conflicts.push_back({TMergeConflict::TKind::PasswordChangedBoth, {}, {}, {}, {}});
    }
    return result;
}

std::string ConflictCopyTitle(const std::string& title, double date) {
    const DateTimeParts p = DecodeDateTime(date);
    char stamp[64];
    std::snprintf(stamp, sizeof stamp, " (Konflikt vom %02d.%02d.%04d %02d:%02d)", p.day, p.month,
                  p.year, p.hour, p.minute);
    return title + stamp;
}

std::string ConflictLine(const TMergeConflict& c) {
    using K = TMergeConflict::TKind;
    const std::string key = Quoted(c.Parent) + " / " + Quoted(c.Name);
    switch (c.Kind) {
        case K::BothChanged:
            return key + ": " + Quoted(c.Title) +
                   " wurde auf beiden Seiten geändert; die ältere Fassung steht als " +
                   Quoted(c.CopyTitle) + " daneben.";
        case K::DeletedAndChanged:
            return key + ": " + Quoted(c.Title) +
                   " wurde auf einer Seite gelöscht und auf der anderen geändert; der geänderte "
                   "Eintrag bleibt.";
        case K::KeyDeletedEntriesKept:
            return "Die Unterrubrik " + key +
                   " wurde auf einer Seite gelöscht; die auf der anderen Seite hinzugefügten oder "
                   "geänderten Einträge bleiben.";
        case K::ParentRenamedBoth:
            return "Die Rubrik der Unterrubrik " + key + " wurde auf beiden Seiten umbenannt; " +
                   Quoted(c.Title) + " wurde nicht übernommen.";
        case K::PasswordChangedBoth:
            return "Das Passwort wurde auf beiden Seiten geändert; das Passwort dieses Fensters "
                   "bleibt.";
    }
    return {};
}

std::string MergeSummary(const TMergeResult& result) {
    const TMergeCounts& n = result.FromTheirs;
    std::string text =
        Counted(n.EntriesAdded + n.EntriesChanged + n.EntriesDeleted, "Eintrag", "Einträge");
    const std::size_t keys = n.KeysAdded + n.KeysChanged + n.KeysDeleted;
    if (keys > 0) text += ", " + Counted(keys, "Unterrubrik", "Unterrubriken");
    text += " übernommen";
    if (!result.Conflicts.empty()) {
        text += ", " + Counted(result.Conflicts.size(), "Konflikt", "Konflikte");
    }
    return text;
}

}  // namespace dorvanta
