#pragma once
// The order the classic exchange procedure leaves, ties included:
//   for i, for j > i: swap items i and j when rank[i] > rank[j].
// The program has always sorted this way, and items of equal rank end up in the
// procedure's own (unstable) order, so only this exact result keeps lists as users know them.

#include <cstdint>
#include <vector>

namespace dorvanta {

// rank[i] is the comparison class of item i (equal ranks: equal items).
// Returns where each item comes from: position i of the result holds item result[i].
// O(n log n) time, O(n) memory.
std::vector<std::uint32_t> ExchangeOrder(const std::vector<std::uint32_t>& rank);

}  // namespace dorvanta
