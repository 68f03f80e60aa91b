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

// The same from the items grouped by class: `byRank` lists the items class by class
// in ascending rank, each class in ascending positions; class c is byRank[classStart[c]]
// up to byRank[classStart[c + 1]], and classStart ends with the number of items.
std::vector<std::uint32_t> ExchangeOrderOfClasses(std::vector<std::uint32_t> byRank,
                                                  const std::vector<std::uint32_t>& classStart);

}  // namespace dorvanta
