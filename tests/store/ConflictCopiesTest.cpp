#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "store/ConflictCopies.h"

namespace dorvanta {
namespace {

TEST(ConflictCopies, TellsEachToolsNamesFromOthers) {
    struct Case {
        const char* candidate;
        const char* original;
        bool copy;
    };
    const Case cases[] = {
        {"Konten.sync-conflict-20261208-101500-ABCDEF7.pdt", "Konten.pdt", true},
        {"Konten.pdt.sync-conflict-20261208-101500-ABCDEF7.age", "Konten.pdt.age", true},
        {"Konten.sync-conflict-20261208-101500-ABCDEF7.pdt.age", "Konten.pdt.age", true},
        {"Konten (conflicted copy 2026-12-08 101500).pdt", "Konten.pdt", true},
        {"Konten (conflicted copy anna 2026-12-08 101500).pdt", "Konten.pdt", true},
        {"Konten (conflicted copy 2026-12-08 101500).pdt.age", "Konten.pdt.age", true},
        {"Konten (Laptop's conflicted copy 2026-12-08).pdt", "Konten.pdt", true},
        {"Konten (Laptop's conflicted copy 2026-12-08 (1)).pdt", "Konten.pdt", true},
        {"Übersicht (Jörg's conflicted copy 2026-12-08).pdt.age", "Übersicht.pdt.age", true},
        // Another collection's copy, another format, or no tool's marker.
        {"Konten2.sync-conflict-20261208-101500-ABCDEF7.pdt", "Konten.pdt", false},
        {"Konten.sync-conflict-20261208-101500-ABCDEF7.pdt", "Konten.pdt.age", false},
        {"Konten.sync-conflict-2026128-101500-ABCDEF7.pdt", "Konten.pdt", false},
        {"Konten (copy 2026-12-08 101500).pdt", "Konten.pdt", false},
        {"Konten (conflicted copy 2026-12-08).pdt.bak", "Konten.pdt", false},
        {"Konten.pdt", "Konten.pdt", false},
        {"Konten.pdt.bak", "Konten.pdt", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(IsConflictCopyName(c.candidate, c.original), c.copy) << c.candidate;
    }
}

TEST(ConflictCopies, FindsRegularFilesBesideTheCollectionOnly) {
    namespace fs = std::filesystem;
    const fs::path dir = fs::path(::testing::TempDir()) / "conflict-copies";
    fs::remove_all(dir);
    fs::create_directories(dir / "Konten (conflicted copy 2026-12-08 101500).pdt");
    for (const char* name : {"Konten.pdt", "Konten.sync-conflict-20261208-101500-ABCDEF7.pdt",
                             "Konten (Laptop's conflicted copy 2026-12-08).pdt", "Andere.pdt"}) {
        std::ofstream(dir / name) << "x";
    }
    fs::create_symlink(dir / "Andere.pdt", dir / "Konten.sync-conflict-20261209-101500-B.pdt");
    EXPECT_EQ(FindConflictCopies((dir / "Konten.pdt").string()),
              (std::vector<std::string>{
                  (dir / "Konten (Laptop's conflicted copy 2026-12-08).pdt").string(),
                  (dir / "Konten.sync-conflict-20261208-101500-ABCDEF7.pdt").string()}));
    EXPECT_TRUE(FindConflictCopies((dir / "missing" / "Konten.pdt").string()).empty());
    fs::remove_all(dir);
}

}  // namespace
}  // namespace dorvanta
