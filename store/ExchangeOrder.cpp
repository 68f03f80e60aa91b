#include "store/ExchangeOrder.h"

#include <algorithm>
#include <bit>
#include <span>
#include <utility>

// Why this equals the procedure. Fix one class C. Every other item is either smaller
// or larger than C, and the procedure swaps two items of different kinds exactly when
// their kinds say so; swaps inside the smaller or the larger items do not change which
// positions hold which kind. So the members of C travel as in the sequence of kinds.
// There, while smaller items remain, pass i brings the foremost remaining smaller item
// to position i. If a member of C lies before that item, the foremost member takes the
// item's place; nothing else of C or of the smaller items moves. Smaller items are thus
// taken in the order of their original positions r_0 < r_1 < ..., and step t either
// moves the foremost member to r_t (when it lies before r_t) or does nothing. After the
// last smaller item the members keep their order. The result is all classes in
// ascending rank, each in the order of its members' final positions.
//
// Once a member has moved, every later step moves one (the last moved member lies
// before the next r), so the moved members form a FIFO holding, after step t-1, the
// positions r_{t-k} .. r_{t-1} in order, k being its length. A step takes either the
// foremost unmoved member (when it lies before r_{t-k}) or the FIFO's front to the back.
// Runs of the latter are rotations, done at once by moving a head index; the former is
// an insertion just before the head, recorded and replayed at the end.

namespace dorvanta {
namespace {

std::size_t LowBit(std::size_t i) {
    return i & (~i + 1);
}

// Counts over slots 0..n-1: prefix counts and the search for the k-th counted slot.
class Fenwick {
  public:
    void Reset(std::size_t n, bool allCounted) {
        tree_.assign(n + 1, 0);
        if (allCounted) {
            for (std::size_t i = 1; i <= n; ++i) tree_[i] = static_cast<std::uint32_t>(LowBit(i));
        }
    }
    void Insert(std::size_t slot) {
        for (std::size_t i = slot + 1; i < tree_.size(); i += LowBit(i)) ++tree_[i];
    }
    void Remove(std::size_t slot) {
        for (std::size_t i = slot + 1; i < tree_.size(); i += LowBit(i)) --tree_[i];
    }
    // Counted slots below `slot`.
    std::uint64_t Below(std::size_t slot) const {
        std::uint64_t sum = 0;
        for (std::size_t i = slot; i > 0; i -= LowBit(i)) sum += tree_[i];
        return sum;
    }
    // The counted slot with exactly k counted slots before it (k < the count).
    std::size_t Kth(std::uint64_t k) const {
        std::size_t pos = 0;
        for (std::size_t step = std::bit_floor(tree_.size() - 1); step > 0; step >>= 1) {
            if (pos + step < tree_.size() && tree_[pos + step] <= k) {
                pos += step;
                k -= tree_[pos];
            }
        }
        return pos;
    }

  private:
    std::vector<std::uint32_t> tree_;
};

struct Scratch {
    std::vector<std::pair<std::uint32_t, std::uint64_t>> inserts;  // member, list index
    std::vector<std::uint32_t> list;
    Fenwick free;
};

// Appends the final order of one class. `members`: its original positions, ascending;
// `below(j)`: how many of the `total` items of lower rank lie before members[j], asked
// for j in ascending order.
template <typename Below>
void OrderClass(std::span<const std::uint32_t> members, Below&& below, std::uint64_t total,
                Scratch& s, std::vector<std::uint32_t>& out) {
    // Steps before the first r beyond the first member change nothing.
    std::uint64_t t = below(0);
    if (t >= total) {
        out.insert(out.end(), members.begin(), members.end());
        return;
    }
    // The FIFO is kept as a list whose cyclic order from `head` is the FIFO's order.
    s.inserts.assign(1, {members[0], 0});
    std::uint64_t k = 1;
    std::uint64_t head = 0;
    ++t;
    std::size_t next = 1;  // foremost unmoved member
    std::uint64_t nextBelow = members.size() > 1 ? below(1) : 0;
    while (t < total) {
        if (next == members.size()) {
            head = (head + (total - t)) % k;  // only rotations remain
            break;
        }
        if (t - k < nextBelow) {
            // The FIFO's front lies before the unmoved member: rotate until it does not.
            const std::uint64_t run = std::min(nextBelow - (t - k), total - t);
            head = (head + run) % k;
            t += run;
        } else {
            s.inserts.push_back({members[next], head});
            ++head;
            ++k;
            ++t;
            if (++next < members.size()) nextBelow = below(next);
        }
    }

    // Replays the insertions backwards: each lands on the free slot its index names.
    s.list.resize(k);
    s.free.Reset(k, true);
    for (auto it = s.inserts.rbegin(); it != s.inserts.rend(); ++it) {
        const std::size_t slot = s.free.Kth(it->second);
        s.list[slot] = it->first;
        s.free.Remove(slot);
    }

    // Moved member i (from the head) sits at r_{total-k+i}; unmoved ones stay put.
    const std::uint64_t firstR = total - k;
    std::rotate(s.list.begin(), s.list.begin() + static_cast<std::ptrdiff_t>(head), s.list.end());
    std::uint64_t emitted = 0;
    auto emitMovedBefore = [&](std::uint64_t count) {
        for (; emitted < count; ++emitted) out.push_back(s.list[emitted]);
    };
    for (; next < members.size(); ++next) {
        emitMovedBefore(std::clamp(below(next), firstR, total) - firstR);
        out.push_back(members[next]);
    }
    emitMovedBefore(k);
}

}  // namespace

std::vector<std::uint32_t> ExchangeOrder(const std::vector<std::uint32_t>& rank) {
    const std::size_t n = rank.size();
    // Items by rank, each class in ascending positions; classStart marks the classes.
    std::vector<std::uint32_t> byRank(n);
    std::vector<std::uint32_t> classStart;
    const std::uint32_t maxRank = n == 0 ? 0 : *std::max_element(rank.begin(), rank.end());
    if (maxRank / 4 < n) {
        // Dense ranks (as callers make them): counting sort, linear and stable.
        std::vector<std::uint32_t> start(std::size_t{maxRank} + 2, 0);
        for (std::uint32_t r : rank) ++start[r + 1];
        for (std::size_t r = 0; r <= maxRank; ++r) {
            if (start[r + 1] != 0) classStart.push_back(start[r]);
            start[r + 1] += start[r];
        }
        for (std::size_t i = 0; i < n; ++i)
            byRank[start[rank[i]]++] = static_cast<std::uint32_t>(i);
    } else {
        std::vector<std::uint64_t> keyed(n);
        for (std::size_t i = 0; i < n; ++i) keyed[i] = (std::uint64_t{rank[i]} << 32) | i;
        std::sort(keyed.begin(), keyed.end());
        for (std::size_t i = 0; i < n; ++i) {
            byRank[i] = static_cast<std::uint32_t>(keyed[i]);
            if (i == 0 || (keyed[i] >> 32) != (keyed[i - 1] >> 32)) {
                classStart.push_back(static_cast<std::uint32_t>(i));
            }
        }
    }
    classStart.push_back(static_cast<std::uint32_t>(n));
    return ExchangeOrderOfClasses(std::move(byRank), classStart);
}

std::vector<std::uint32_t> ExchangeOrderOfClasses(std::vector<std::uint32_t> byRank,
                                                  const std::vector<std::uint32_t>& classStart) {
    const std::size_t n = byRank.size();
    // Only a class of several items that is not the first can move, and only its
    // members need the counts of smaller items before them. Without such a class
    // (all titles distinct) the order is byRank itself.
    const std::size_t classes = classStart.size() - 1;
    std::size_t last = 0;    // the last class that can move
    std::uint64_t scan = 0;  // items that counting by scans would read
    for (std::size_t c = 1; c < classes; ++c) {
        if (classStart[c + 1] - classStart[c] > 1) {
            last = c;
            scan += std::uint64_t{classStart[c]} * (classStart[c + 1] - classStart[c]);
        }
    }
    if (last == 0) return byRank;
    // Few such classes (a long list with a handful of equal titles) are counted by
    // scans over the smaller items; many share one tree of counts, filled up to the
    // last of them.
    const bool scanning = scan <= 16 * std::uint64_t{n};
    Fenwick smaller;
    if (!scanning) smaller.Reset(n, false);

    std::vector<std::uint32_t> order;
    order.reserve(n);
    Scratch scratch;
    std::size_t copied = 0;  // byRank up to here is in order already
    for (std::size_t c = 0; c <= last; ++c) {
        const std::size_t begin = classStart[c];
        const std::span<const std::uint32_t> members(byRank.data() + begin,
                                                     classStart[c + 1] - begin);
        if (members.size() > 1 && begin > 0) {
            order.insert(order.end(), byRank.begin() + static_cast<std::ptrdiff_t>(copied),
                         byRank.begin() + static_cast<std::ptrdiff_t>(begin));
            copied = classStart[c + 1];
            if (scanning) {
                std::size_t asked = members.size();  // a member is asked for again at times
                std::uint64_t count = 0;
                OrderClass(members, [&](std::size_t j) {
                    if (j != asked) {
                        asked = j;
                        count = 0;
                        for (std::size_t k = 0; k < begin; ++k) count += byRank[k] < members[j];
                    }
                    return count;
                }, begin, scratch, order);
            } else {
                OrderClass(members, [&](std::size_t j) { return smaller.Below(members[j]); },
                           begin, scratch, order);
            }
        }
        if (!scanning && c < last) {
            for (std::uint32_t p : members) smaller.Insert(p);
        }
    }
    order.insert(order.end(), byRank.begin() + static_cast<std::ptrdiff_t>(copied), byRank.end());
    return order;
}

}  // namespace dorvanta
