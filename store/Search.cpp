#include "store/Search.h"

#include <string.h>

#include <array>
#include <atomic>
#include <optional>
#include <string_view>

#include "store/Mask.h"
#include "store/VectorState.h"

namespace dorvanta {

const char* const kSourceNames[4] = {"Unterrubrikname", "Titel", "Wert", "Info"};

namespace {

constexpr std::array<unsigned char, 256> MakeUpperTable() {
    std::array<unsigned char, 256> table{};
    for (unsigned c = 0; c < 256; ++c) {
        unsigned u = c;
        if ((c >= 'a' && c <= 'z') || (c >= 0xE0 && c <= 0xFE && c != 0xF7)) {
            u = c - 0x20;
        } else if (c == 0x9A || c == 0x9C || c == 0x9E) {  // š œ ž
            u = c - 0x10;
        } else if (c == 0xFF) {  // ÿ
            u = 0x9F;
        }
        table[c] = static_cast<unsigned char>(u);
    }
    return table;
}

constexpr std::array<unsigned char, 256> kUpper = MakeUpperTable();

void UpperInto(const std::string& text, std::string& out) {
    out.resize(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        out[i] = static_cast<char>(kUpper[static_cast<unsigned char>(text[i])]);
    }
}

// Tests fields one after the other exactly as MatchesMask(field, text) would
// after the substring test, but compiles the mask only once, and only when a
// field first needs it, so a malformed mask fails at the same field.
class FieldTester {
  public:
    FieldTester(const std::string& text, const TSearchOptions& options)
        : exact_(options.Exact), wildcard_(options.Wildcard) {
        if (exact_) {
            text_ = text;
        } else {
            UpperInto(text, text_);
        }
    }

    bool Test(const std::string& field, const TStopCheck& stop) {
        const std::string* tested = &field;
        if (!exact_) {
            UpperInto(field, buffer_);  // reused: no allocation per field
            tested = &buffer_;
        }
        // glibc's memmem takes time in proportion to field and text, never their product.
        if (::memmem(tested->data(), tested->size(), text_.data(), text_.size())) return true;
        if (!wildcard_) return false;
        if (!mask_) mask_.emplace(text_);
        return mask_->Matches(*tested, stop);
    }

  private:
    bool exact_;
    bool wildcard_;
    std::string text_;
    std::string buffer_;
    std::optional<TMask> mask_;
};

}  // namespace

std::string UpperCaseCp1252(const std::string& text) {
    std::string out;
    UpperInto(text, out);
    return out;
}

void SearchDocument(const TDocument& doc, const std::string& text, const TSearchOptions& options,
                    std::vector<TSearchHit>& hits, const TStopCheck& stop) {
    ClearUpperVectorState();
    FieldTester tester(text, options);
    // A test cut short by the stop answers false: only whole tests give hits.
    auto test = [&](const std::string& field) { return tester.Test(field, stop); };
    for (std::size_t k = 0; k < doc.Keys.size() && !stop(); ++k) {
        const TDataKey& key = doc.Keys[k];
        const auto keyIndex = static_cast<std::int32_t>(k);
        if (options.Names && test(key.Name)) {
            hits.push_back({keyIndex, -1, TSearchSource::Name});
        }
        for (std::size_t e = 0; e < key.Data.size() && !stop(); ++e) {
            const TDataRec& rec = key.Data[e];
            const auto entry = static_cast<std::int32_t>(e);
            if (options.Titles && test(rec.Title)) {
                hits.push_back({keyIndex, entry, TSearchSource::Title});
            }
            if (options.Values && test(rec.Value)) {
                hits.push_back({keyIndex, entry, TSearchSource::Value});
            }
            if (options.Info && test(rec.Info)) {
                hits.push_back({keyIndex, entry, TSearchSource::Info});
            }
        }
    }
}

const std::string& HitText(const TDocument& doc, const TSearchHit& hit) {
    const TDataKey& key = doc.Keys[hit.KeyIndex];
    switch (hit.Source) {
        case TSearchSource::Name:
            return key.Name;
        case TSearchSource::Title:
            return key.Data[hit.DataIndex].Title;
        case TSearchSource::Value:
            return key.Data[hit.DataIndex].Value;
        case TSearchSource::Info:
            break;
    }
    return key.Data[hit.DataIndex].Info;
}

}  // namespace dorvanta
