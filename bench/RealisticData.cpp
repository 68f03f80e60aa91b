#include "bench/RealisticData.h"

#include <algorithm>
#include <iterator>
#include <unordered_set>

#include "store/PdtFile.h"

namespace dorvanta::bench {

std::string RealisticText(std::mt19937& rng) {
    // Umlauts and ß as Windows-1252 bytes (octal where a hex digit follows).
    static const char* const kWords[] = {
        "Konto",        "Zugang",       "Kennwort",      "Geb\xFChr",    "Stra\337e",
        "Gr\366\337e",  "\xC4rzte",     "\334bersicht",  "\xD6l",        "Bank",
        "Mail",         "Versicherung", "M\xFCller",     "Kundennr.",    "PIN",
        "Tel.",         "IBAN",         "K\xF6ln",       "Schl\xFCssel", "Vertrag",
        "s\xFC\xDF",    "Fr\xFChling",  "Abo",           "Login",        "M\xFCnchen",
        "B\xFCrgeramt", "Krankenkasse", "Steuer-ID",     "Benutzer",     "Geheimzahl",
        "Fu\337ball",   "Verein",       "T\xFCr",        "WLAN",         "Hausarzt",
        "K\xFCndigung", "Pr\xE4mie",    "j\xE4hrlich",   "B\xFCro",      "\326ffnungszeiten",
        "Gr\374\337e",  "Caf\xE9",      "Zahn\xE4rztin", "Mitgliedsnr.", "D\xFCsseldorf"};
    // The 27 characters of 0x80-0x9F; the ones German texts use most come twice.
    static const char kTypographic[] =
        "\x80\x82\x83\x84\x85\x86\x87\x88\x89\x8A\x8B\x8C\x8E\x91\x92\x93\x94\x95\x96\x97\x98\x99"
        "\x9A\x9B\x9C\x9E\x9F\x80\x84\x93\x94\x96\x85";
    static const char kPunctuation[] = "-./:;,@#!?()+_&%";
    const std::size_t length = 5 + rng() % 36;
    std::string text;
    while (text.size() < length) {
        if (!text.empty()) text += rng() % 3 == 0 ? kPunctuation[rng() % 16] : ' ';
        switch (rng() % 8) {
            case 0:
            case 1:
                text += std::to_string(rng() % 100000);
                break;
            case 2:
                text += kTypographic[rng() % (sizeof kTypographic - 1)];
                break;
            default:
                text += kWords[rng() % std::size(kWords)];
        }
    }
    text.resize(length);
    return text;
}

TDataRec RealisticEntry(std::mt19937& rng) {
    TDataRec rec;
    rec.Title = RealisticText(rng);
    rec.Value = RealisticText(rng);
    rec.Info = RealisticText(rng);
    // Whole minutes from 2000-01-01 on.
    rec.Date = 36526.0 + rng() % 9600 + (rng() % 1440) / 1440.0;
    return rec;
}

std::vector<TDataKey> RealisticKeys(std::size_t count, std::mt19937& rng) {
    std::vector<TSharedText> parents;
    std::unordered_set<std::string> taken;
    while (parents.size() < kGroups) {
        std::string parent = RealisticText(rng);
        if (taken.insert(parent).second) parents.emplace_back(std::move(parent));
    }
    taken.clear();
    std::vector<TDataKey> keys;
    keys.reserve(count);
    for (std::size_t k = 0; k < count; ++k) {
        const std::size_t group = k < kGroups ? k : rng() % kGroups;
        std::string name;
        do name = RealisticText(rng);
        while (!taken.insert(std::to_string(group) + '\t' + name).second);
        keys.push_back({std::move(name), parents[group], {}});
    }
    return keys;
}

TDocument RealisticDocument(std::size_t entries) {
    std::mt19937 rng(1252);
    std::vector<TDataKey> keys = RealisticKeys(std::max(kGroups, entries / 10), rng);
    // Entry e goes to key floor(n u^2) for a uniform u: the first keys get about
    // sqrt(n) times the average, the last ones half of it.
    const std::size_t n = keys.size();
    std::vector<std::size_t> sizes(n, 0);
    for (std::size_t e = 0; e < entries; ++e) {
        const double u = rng() / 4294967296.0;
        ++sizes[std::min(n - 1, static_cast<std::size_t>(n * u * u))];
    }
    for (std::size_t k = 0; k < n; ++k) {
        keys[k].Data.reserve(sizes[k]);
        for (std::size_t e = 0; e < sizes[k]; ++e) keys[k].Data.push_back(RealisticEntry(rng));
    }
    TDocument sorted;
    sorted.Keys = std::move(keys);
    sorted.SortKeys();
    for (std::size_t k = 0; k < n; ++k) sorted.SortEntries(static_cast<std::int32_t>(k));
    // A fresh document, without the sort's kept collation keys, as a load makes it.
    TDocument doc;
    doc.Keys = std::move(sorted.Keys);
    return doc;
}

std::string RealisticImportText(std::size_t lines) {
    std::mt19937 rng(1250);
    std::string text;
    text.reserve(lines * 72);
    for (std::size_t i = 0; i < lines; ++i) {
        const TDataRec rec = RealisticEntry(rng);
        text += rec.Title + '\t' + rec.Value + '\t' + rec.Info + "\r\n";
    }
    return text;
}

double ScrambledHighShare(const TDocument& doc) {
    std::size_t high = 0, all = 0;
    const auto count = [&](const std::string& text) {
        for (unsigned char c : ScrambleText(text)) high += c >= 0x80;
        all += text.size();
    };
    for (const TDataKey& key : doc.Keys) {
        count(key.Name);
        for (const TDataRec& rec : key.Data) {
            count(rec.Title);
            count(rec.Value);
            count(rec.Info);
        }
    }
    return all ? static_cast<double>(high) / all : 0.0;
}

}  // namespace dorvanta::bench
