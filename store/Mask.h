#pragma once
// Wildcard masks as the search uses them: * (any run), ? (one character),
// [set], [!set] with ranges; only a..z fold to A..Z. A mask matches whole texts.

#include <bitset>
#include <stdexcept>
#include <string>
#include <vector>

namespace dorvanta {

// Message (UTF-8): "'%s' ist eine ungültige Maske für (%d)".
class EMaskException : public std::runtime_error {
  public:
    EMaskException(const std::string& mask, int position);
    int Position() const { return position_; }

  private:
    int position_;
};

class TMask {
  public:
    static constexpr int kMaxSkipStates = 30;

    // Compiles a Windows-1252 mask text; throws EMaskException when malformed.
    explicit TMask(const std::string& mask);

    bool Matches(const std::string& text) const;

  private:
    enum class Kind { Literal, Any, Set, End };
    struct MaskState {
        bool skip = false;
        Kind kind = Kind::End;
        unsigned char literal = 0;
        bool negate = false;
        std::bitset<256> members;
        bool Accepts(unsigned char byte) const;
    };
    static MaskState StateOf(Kind kind, unsigned char literal = 0) {
        MaskState s;
        s.kind = kind;
        s.literal = literal;
        return s;
    }
    std::vector<MaskState> states_;
};

bool MatchesMask(const std::string& text, const std::string& mask);

}  // namespace dorvanta
