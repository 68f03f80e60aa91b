#pragma once
// An immutable text that copies share: every key of a group holds the same parent
// name, so a file of many keys under one long name costs the name once, not once
// per key. It behaves as the std::string it holds; equality is by content and
// decides at once when both sides share one text.

#include <memory>
#include <ostream>
#include <string>
#include <utility>

namespace dorvanta {

class TSharedText {
  public:
    TSharedText() = default;
    // Implicit, so that a plain text can stand wherever a shared one is expected.
    TSharedText(std::string text) {
        if (!text.empty()) text_ = std::make_shared<const std::string>(std::move(text));
    }
    TSharedText(const char* text) : TSharedText(std::string(text)) {}

    const std::string& str() const { return text_ ? *text_ : Empty(); }
    operator const std::string&() const { return str(); }

    std::size_t size() const { return str().size(); }
    bool empty() const { return str().empty(); }
    const char* data() const { return str().data(); }

    // Overwrites the text in place for every holder and lets this holder go of it
    // (a lock wipes the document before it frees it).
    void Wipe();

    // True when both hold the very same text, not merely equal ones.
    bool SharesWith(const TSharedText& other) const { return text_ == other.text_; }

    friend bool operator==(const TSharedText& a, const TSharedText& b) {
        return a.text_ == b.text_ || a.str() == b.str();
    }
    friend bool operator==(const TSharedText& a, const std::string& b) { return a.str() == b; }
    friend bool operator==(const TSharedText& a, const char* b) { return a.str() == b; }
    friend std::ostream& operator<<(std::ostream& out, const TSharedText& text) {
        return out << text.str();
    }

  private:
    static const std::string& Empty() {
        static const std::string empty;
        return empty;
    }

    std::shared_ptr<const std::string> text_;  // null: the empty text
};

}  // namespace dorvanta
