#include "store/Mask.h"

#include <algorithm>

#include "store/Collation.h"
#include "store/Cp1252.h"
#include "store/StoreError.h"
#include "store/StoreMessages.h"

namespace dorvanta {

EMaskException::EMaskException(const std::string& mask, int position)
    : std::runtime_error(
          FormatMessage(kMsgInvalidMask, {Cp1252ToUtf8(mask), std::to_string(position)})),
      position_(position) {}

TMask::TMask(const std::string& mask) {
    const std::size_t n = mask.size();
    bool skipPending = false;
    int skipCount = 0;
    // position: 1-based place of the character that completes the state.
    auto add = [&](MaskState state, std::size_t position) {
        state.skip = skipPending;
        skipPending = false;
        if (state.skip && ++skipCount > kMaxSkipStates) {
            throw EMaskException(mask, static_cast<int>(position));
        }
        states_.push_back(state);
    };

    std::size_t i = 0;
    while (i < n) {
        const auto c = static_cast<unsigned char>(mask[i]);
        if (c == '*') {
            skipPending = true;
            ++i;
        } else if (c == '?') {
            if (!skipPending) add(StateOf(Kind::Any), i + 1);
            ++i;
        } else if (c == '[') {
            MaskState set = StateOf(Kind::Set);
            ++i;
            if (i < n && mask[i] == '!') {
                set.negate = true;
                ++i;
            }
            bool haveSingle = false;
            unsigned char last = 0;
            while (i < n && mask[i] != ']') {
                if (mask[i] != '-') {
                    last = AsciiUpper(static_cast<unsigned char>(mask[i]));
                    set.members.set(last);
                    haveSingle = true;
                    ++i;
                } else {
                    if (!haveSingle) throw EMaskException(mask, static_cast<int>(i + 1));
                    ++i;                // past '-'
                    if (i >= n) break;  // a trailing '-' leaves the set unclosed
                    const unsigned char upper = AsciiUpper(static_cast<unsigned char>(mask[i]));
                    for (unsigned v = last; v <= upper; ++v) set.members.set(v);
                    ++i;  // the range's end is consumed even when it is ']'
                }
            }
            if (i >= n) throw EMaskException(mask, static_cast<int>(n + 1));
            if (set.members.none()) throw EMaskException(mask, static_cast<int>(i + 1));
            add(set, i + 1);
            ++i;  // past ']'
        } else {
            add(StateOf(Kind::Literal, AsciiUpper(c)), i + 1);
            ++i;
        }
    }
    add(StateOf(Kind::End), n + 1);
    BuildSegments();
}

void TMask::BuildSegments() {
    endSkip_ = states_.back().skip;
    segments_.push_back({});
    for (std::size_t k = 0; k + 1 < states_.size(); ++k) {
        if (states_[k].skip) {
            segments_.back().last = k;
            segments_.push_back({k, k, true, 0, {}});
        }
    }
    segments_.back().last = states_.size() - 1;
    for (Segment& segment : segments_) {
        // Searched: a segment after a skip, unless it must end with the text.
        if (!segment.skip || (&segment == &segments_.back() && !endSkip_)) continue;
        const std::size_t length = segment.last - segment.first;
        segment.words = (length + 63) / 64;
        segment.table.assign(256 * segment.words, 0);
        for (std::size_t j = 0; j < length; ++j) {
            const MaskState& state = states_[segment.first + j];
            for (unsigned byte = 0; byte < 256; ++byte) {
                if (state.Accepts(static_cast<unsigned char>(byte))) {
                    segment.table[byte * segment.words + j / 64] |= std::uint64_t{1} << (j % 64);
                }
            }
        }
    }
}

bool TMask::MaskState::Accepts(unsigned char byte) const {
    switch (kind) {
        case Kind::Literal:
            return AsciiUpper(byte) == literal;
        case Kind::Any:
            return true;
        case Kind::Set:
            return members.test(AsciiUpper(byte)) != negate;
        case Kind::End:
            return false;
    }
    return false;
}

bool TMask::MatchesAt(const Segment& segment, const std::string& text, std::size_t at) const {
    for (std::size_t k = segment.first; k < segment.last; ++k, ++at) {
        if (!states_[k].Accepts(static_cast<unsigned char>(text[at]))) return false;
    }
    return true;
}

// Shift-and: bit j of the state words is set when the segment's first j + 1 states
// accept the bytes just read, so each byte costs one step per 64 states.
std::size_t TMask::Find(const Segment& segment, const std::string& text, std::size_t from,
                        const TStopCheck& stop) const {
    const std::size_t length = segment.last - segment.first;
    const std::size_t words = segment.words;
    const std::uint64_t top = std::uint64_t{1} << ((length - 1) % 64);
    const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
    const std::uint64_t* table = segment.table.data();
    std::vector<std::uint64_t> wide(words > 1 ? words : 0, 0);
    std::uint64_t d = 0;
    // In pieces of 1 MiB, between which a stop is noticed.
    constexpr std::size_t kPiece = std::size_t{1} << 20;
    for (std::size_t start = from; start < text.size(); start += kPiece) {
        if (stop()) return npos;
        const std::size_t end = std::min(text.size(), start + kPiece);
        if (words == 1) {
            for (std::size_t i = start; i < end; ++i) {
                d = ((d << 1) | 1) & table[bytes[i]];
                if (d & top) return i + 1 - length;
            }
            continue;
        }
        for (std::size_t i = start; i < end; ++i) {
            const std::uint64_t* row = table + bytes[i] * words;
            std::uint64_t carry = 1;
            for (std::size_t w = 0; w < words; ++w) {
                const std::uint64_t next = wide[w] >> 63;
                wide[w] = ((wide[w] << 1) | carry) & row[w];
                carry = next;
            }
            if (wide[words - 1] & top) return i + 1 - length;
        }
    }
    return npos;
}

// Every state but the end consumes exactly one byte, so the texts that a skip may
// pass over can be chosen greedily: each segment after a skip is taken at its
// first place, which leaves the most room for the rest, and the last one (unless
// the mask ends in '*') must end with the text. This gives the same answer as
// full backtracking over all skips, in one pass over the text per 64 states of
// the longest segment. A text shorter than the number of consuming states cannot
// match at all, which ends a long mask against a short field at once.
bool TMask::Matches(const std::string& text, const TStopCheck& stop) const {
    const std::size_t n = text.size();
    if (n < states_.size() - 1) return false;
    std::size_t p = 0;
    for (std::size_t k = 0; k < segments_.size(); ++k) {
        const Segment& segment = segments_[k];
        const std::size_t length = segment.last - segment.first;
        const bool endsText = k + 1 == segments_.size() && !endSkip_;
        if (endsText) {
            if (segment.skip ? n < p + length : n != length) return false;
            return MatchesAt(segment, text, n - length);
        }
        if (!segment.skip) {
            if (n < length || !MatchesAt(segment, text, 0)) return false;
            p = length;
            continue;
        }
        const std::size_t at = Find(segment, text, p, stop);
        if (at == npos) return false;
        p = at + length;
    }
    return true;
}

bool MatchesMask(const std::string& text, const std::string& mask) {
    return TMask(mask).Matches(text);
}

}  // namespace dorvanta
