// A failed save must leave the previous file exactly as it was.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include "store/PdtFile.h"
#include "support/TempDir.h"

namespace dorvanta {
namespace {

using testing::ReadBytes;
using testing::TempDir;
using testing::WriteBytes;
namespace fs = std::filesystem;

TDocument BigDocument() {
    TDocument doc;
    doc.Keys.push_back({"k", "p", {}});
    for (int i = 0; i < 2000; ++i)
        doc.Keys[0].Data.push_back({std::to_string(i), "value", "", 1.0});
    return doc;
}

std::size_t FilesIn(const fs::path& dir) {
    return static_cast<std::size_t>(
        std::distance(fs::directory_iterator(dir), fs::directory_iterator()));
}

TEST(SaveSafety, FullDiskLeavesTheOldFileAndNoLeftovers) {
    TempDir dir;
    const std::string path = dir.File("daten.pdt");
    WriteBytes(path, "OLD CONTENT");
    // A file-size limit makes writes fail the way a full disk does.
    signal(SIGXFSZ, SIG_IGN);
    rlimit old{};
    getrlimit(RLIMIT_FSIZE, &old);
    rlimit limited = old;
    limited.rlim_cur = 1024;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
    std::string message;
    try {
        SaveDocument(BigDocument(), path);
    } catch (const EStoreError& e) {
        message = e.what();
    }
    setrlimit(RLIMIT_FSIZE, &old);
    EXPECT_EQ(message, kMsgWriteError);
    EXPECT_EQ(ReadBytes(path), "OLD CONTENT");
    EXPECT_EQ(FilesIn(dir.Path()), 1u);
}

TEST(SaveSafety, UnwritableFolderLeavesTheOldFile) {
    TempDir dir;
    const fs::path folder = dir.Path() / "ro";
    fs::create_directory(folder);
    const std::string path = (folder / "daten.pdt").string();
    WriteBytes(path, "OLD CONTENT");
    chmod(path.c_str(), 0644);
    chmod(folder.c_str(), 0555);
    // Root writes anywhere, so the attempt runs in a child without privileges.
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(10);
        try {
            SaveDocument(BigDocument(), path);
        } catch (const EStoreError& e) {
            _exit(std::string(e.what()) == "Datei " + path + " kann nicht erstellt werden" ? 0
                                                                                           : 11);
        }
        _exit(12);
    }
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(ReadBytes(path), "OLD CONTENT");
}

TEST(SaveSafety, PermissionsAndSymbolicLinks) {
    TempDir dir;
    const std::string fresh = dir.File("neu.pdt");
    SaveDocument(TDocument{}, fresh);
    struct stat st {};
    ASSERT_EQ(stat(fresh.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    chmod(fresh.c_str(), 0640);
    SaveDocument(BigDocument(), fresh);
    ASSERT_EQ(stat(fresh.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);

    // Saving through a link writes the file it names and keeps the link.
    const std::string link = dir.File("link.pdt");
    fs::create_symlink("neu.pdt", link);
    SaveDocument(TDocument{}, link);
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(ReadBytes(fresh), std::string("\x01\x06\x00\x00", 4));
}

TEST(SaveSafety, MissingFolderCannotBeCreated) {
    TempDir dir;
    const std::string path = dir.File("gibt/es/nicht.pdt");
    try {
        SaveDocument(TDocument{}, path);
        FAIL();
    } catch (const EStoreError& e) {
        EXPECT_EQ(std::string(e.what()), "Datei " + path + " kann nicht erstellt werden");
    }
}

}  // namespace
}  // namespace dorvanta
