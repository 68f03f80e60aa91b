#pragma once
// Wildcard masks as the search uses them: * (any run), ? (one character),
// [set], [!set] with ranges; only a..z fold to A..Z. A mask matches whole texts.

#include <atomic>
#include <bitset>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "store/StopCheck.h"

namespace dorvanta {

// Message: kMsgInvalidMask (store/StoreMessages.h), "'%s' ist eine ungültige Maske für (%d)".
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

    // `stop`, once it answers true, ends a long match early with false.
    bool Matches(const std::string& text, const TStopCheck& stop = {}) const;

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
    // The states between two skips: the first segment starts at the text's start,
    // every later one with a skip state. The end state belongs to none.
    struct Segment {
        std::size_t first = 0, last = 0;  // states [first, last)
        bool skip = false;
        // For a search: bit j of table[byte * words + j / 64] is set when state
        // first + j accepts the byte (shift-and).
        std::size_t words = 0;
        std::vector<std::uint64_t> table;
    };
    static constexpr std::size_t npos = static_cast<std::size_t>(-1);
    // Cuts the compiled states into segments at the skips and builds the search
    // tables of the segments that are searched for.
    void BuildSegments();
    bool MatchesAt(const Segment& segment, const std::string& text, std::size_t at) const;
    // The first position from `from` on where the segment matches; npos if none
    // (or when stopped).
    std::size_t Find(const Segment& segment, const std::string& text, std::size_t from,
                     const TStopCheck& stop) const;

    std::vector<MaskState> states_;
    std::vector<Segment> segments_;
    bool endSkip_ = false;  // the mask ends in '*'
};

bool MatchesMask(const std::string& text, const std::string& mask);

}  // namespace dorvanta
