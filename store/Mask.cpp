#include "store/Mask.h"

#include "store/Collation.h"
#include "store/Cp1252.h"
#include "store/StoreError.h"

namespace dorvanta {

EMaskException::EMaskException(const std::string& mask, int position)
    : std::runtime_error(FormatMessage("'%s' ist eine ungültige Maske für (%d)",
                                       {Cp1252ToUtf8(mask), std::to_string(position)})),
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

// Every state but the end consumes exactly one byte, so a skip only ever has to
// be retried at the most recent skip state: this gives the same answer as full
// backtracking over all skips, in at most text length x state count steps.
//
// Every state but the end consumes one byte, so from state i on exactly
// states_.size() - 1 - i bytes are still needed: a text (or the rest of it after
// a skip's start) shorter than that cannot match, which ends the search for a
// long mask against a short field at once.
bool TMask::Matches(const std::string& text) const {
    const std::size_t n = text.size();
    const std::size_t consuming = states_.size() - 1;
    if (n < consuming) return false;
    std::size_t p = 0;
    std::size_t i = 0;
    bool haveSkip = false;
    std::size_t skipState = 0;
    std::size_t skipPos = 0;
    for (;;) {
        const MaskState& s = states_[i];
        if (s.skip) {
            if (s.kind == Kind::End) return true;
            haveSkip = true;
            skipState = i;
            skipPos = p;
        }
        if (s.kind == Kind::End) {
            if (p == n) return true;
        } else if (p < n && s.Accepts(static_cast<unsigned char>(text[p]))) {
            ++p;
            ++i;
            continue;
        }
        // Let the last skip state start one byte later, while the rest is long enough.
        if (!haveSkip || skipPos >= n || n - skipPos - 1 < consuming - skipState) return false;
        p = ++skipPos;
        i = skipState;
    }
}

bool MatchesMask(const std::string& text, const std::string& mask) {
    return TMask(mask).Matches(text);
}

}  // namespace dorvanta
