#pragma once
// Collections shaped like users' own, for the benchmarks: 1,000 groups, sub-categories
// of very uneven size, texts of 5 to 40 characters mixing German words, umlauts,
// digits, punctuation and the typographic characters of Windows-1252 (€ „ “ ” – …).
// Scrambled, most of their bytes lie at 0x80 and above, so the files go through the
// UTF-8 strings of the format, where generated "Titel 123" texts mostly do not.
// Everything comes from fixed seeds: the same call gives the same bytes.

#include <cstddef>
#include <random>
#include <string>
#include <vector>

#include "store/Document.h"

namespace dorvanta::bench {

inline constexpr std::size_t kGroups = 1000;

// One text of 5 to 40 Windows-1252 bytes; never a tab, line break or NUL.
std::string RealisticText(std::mt19937& rng);

// An entry with realistic title, value and info, dated 2000 to 2026.
TDataRec RealisticEntry(std::mt19937& rng);

// `count` sub-categories without entries, in no order, under kGroups parents (every
// group used once `count` reaches kGroups); a group's keys share its parent text, as
// loaded ones do, and no group holds a name twice.
std::vector<TDataKey> RealisticKeys(std::size_t count, std::mt19937& rng);

// `entries` entries in one sub-category per ten entries (at least kGroups), a few of
// them holding thousands and most a handful; sorted, as the program keeps its files.
TDocument RealisticDocument(std::size_t entries);

// An import file of `lines` lines "title<TAB>value<TAB>info" ending in CR LF.
std::string RealisticImportText(std::size_t lines);

// The share of a document's text bytes that lie at 0x80 and above once scrambled
// as the file stores them.
double ScrambledHighShare(const TDocument& doc);

}  // namespace dorvanta::bench
