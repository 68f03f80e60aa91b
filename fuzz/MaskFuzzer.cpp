// Compiles the input up to its first NUL as a mask and matches the rest. A mask
// either compiles or throws EMaskException; a compiled mask must give the same
// answer as an exhaustive matcher that tries every length of every '*' run.
#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "fuzz/FuzzSupport.h"
#include "store/Mask.h"

namespace {

using dorvanta::EMaskException;
using dorvanta::TMask;

DORVANTA_FUZZ_CHECK unsigned char Upper(unsigned char c) {
    return c >= 'a' && c <= 'z' ? static_cast<unsigned char>(c - 32) : c;
}

// One position of the mask as documented: a byte, '?', or a set; `skip` when
// a '*' run stands before it. The last one is the end of the mask.
struct Step {
    enum Kind { Byte, Any, Set, End } kind = End;
    bool skip = false;
    unsigned char byte = 0;
    bool negate = false;
    bool members[256] = {};
    DORVANTA_FUZZ_CHECK bool Accepts(unsigned char c) const {
        switch (kind) {
            case Byte:
                return Upper(c) == byte;
            case Any:
                return true;
            case Set:
                return members[Upper(c)] != negate;
            case End:
                return false;
        }
        return false;
    }
};

// Reads a mask that TMask accepted. A '?' straight after '*' adds nothing (the
// run already covers it); a range's end is taken even when it is ']' and runs
// from the last single character of the set.
DORVANTA_FUZZ_CHECK std::vector<Step> Steps(const std::string& mask) {
    std::vector<Step> steps;
    steps.reserve(mask.size() + 1);
    bool skip = false;
    std::size_t i = 0;
    const std::size_t n = mask.size();
    while (i < n) {
        Step step;
        const auto c = static_cast<unsigned char>(mask[i++]);
        if (c == '*') {
            skip = true;
            continue;
        }
        if (c == '?') {
            if (skip) continue;
            step.kind = Step::Any;
        } else if (c == '[') {
            step.kind = Step::Set;
            if (i < n && mask[i] == '!') {
                step.negate = true;
                ++i;
            }
            unsigned last = 0;
            while (mask[i] != ']') {
                if (mask[i] == '-') {
                    const unsigned upper = Upper(static_cast<unsigned char>(mask[i + 1]));
                    for (unsigned v = last; v <= upper; ++v) step.members[v] = true;
                    i += 2;
                } else {
                    last = Upper(static_cast<unsigned char>(mask[i++]));
                    step.members[last] = true;
                }
            }
            ++i;
        } else {
            step.kind = Step::Byte;
            step.byte = Upper(c);
        }
        step.skip = skip;
        skip = false;
        steps.push_back(step);
    }
    Step end;
    end.skip = skip;
    steps.push_back(end);
    return steps;
}

// Row i holds whether steps i.. match the text from each position on; a skip
// lets its step start at any later position.
DORVANTA_FUZZ_CHECK bool ExhaustiveMatch(const std::vector<Step>& steps, const std::string& text) {
    const std::size_t n = text.size();
    std::vector<unsigned char> rows(2 * (n + 1), 0);
    unsigned char* next = rows.data();
    unsigned char* row = rows.data() + n + 1;
    for (std::size_t i = steps.size(); i-- > 0;) {
        const Step& s = steps[i];
        bool later = false;  // some q >= p where step i matches without a skip
        for (std::size_t p = n + 1; p-- > 0;) {
            const bool here =
                s.kind == Step::End
                    ? p == n
                    : p < n && s.Accepts(static_cast<unsigned char>(text[p])) && next[p + 1];
            later = later || here;
            row[p] = s.skip ? later : here;
        }
        std::swap(row, next);
    }
    return next[0];
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string all(reinterpret_cast<const char*>(data), size);
    const std::size_t cut = all.find('\0');
    const std::string mask = all.substr(0, cut);
    const std::string text = cut == std::string::npos ? std::string() : all.substr(cut + 1);
    bool matched;
    try {
        TMask compiled(mask);
        matched = compiled.Matches(text);
    } catch (const EMaskException& e) {
        if (e.Position() < 1 || static_cast<std::size_t>(e.Position()) > mask.size() + 1)
            dorvanta::fuzz::Fail("fuzz_mask", "an error position outside the mask", e.what());
        return 0;
    }
    // The exhaustive table grows with mask times text; large pairs only run the matcher.
    if ((mask.size() + 1) * (text.size() + 1) > 1u << 18) return 0;
    if (ExhaustiveMatch(Steps(mask), text) != matched)
        dorvanta::fuzz::Fail("fuzz_mask", "matcher and exhaustive search disagree");
    return 0;
}
