// Saves of the real command-line program under a file-size limit and killed at
// random moments: the target is always the complete old or the complete new
// file, and no temporary file is left behind.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <random>
#include <thread>

#include "support/TempDir.h"

namespace dorvanta::cli {
namespace {

using dorvanta::testing::ReadBytes;
using dorvanta::testing::TempDir;
using dorvanta::testing::WriteBytes;
namespace fs = std::filesystem;

// Starts the program with `args`, its stderr to `errFile`, under a file-size
// limit of `limit` bytes (0: none). SIGXFSZ gets its default action, whatever
// this process inherited, so the program must ignore it itself.
pid_t Start(const std::vector<std::string>& args, const std::string& errFile, rlim_t limit = 0) {
    std::vector<char*> argv{const_cast<char*>(DORVANTA_CLI_PATH)};
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    const pid_t child = fork();
    if (child != 0) return child;
    signal(SIGXFSZ, SIG_DFL);
    const rlimit fsize{limit, limit};
    if (limit != 0) setrlimit(RLIMIT_FSIZE, &fsize);
    const int null = open("/dev/null", O_WRONLY);
    const int err = open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    dup2(null, STDOUT_FILENO);
    dup2(err, STDERR_FILENO);
    execv(DORVANTA_CLI_PATH, argv.data());
    _exit(127);
}

int Wait(pid_t child) {
    int status = 0;
    waitpid(child, &status, 0);
    return status;
}

std::vector<std::string> Names(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// A collection in JSON: `entries` entries in reverse order, each value 600 × `fill`.
std::string CollectionJson(int entries, char fill) {
    std::string json = "{\"keys\": [{\"parent\": \"Ober\", \"name\": \"Unter\", \"entries\": [";
    const std::string value(600, fill);
    for (int i = entries; i > 0; --i) {
        json += "{\"title\": \"Titel " + std::to_string(i) + "\", \"value\": \"" + value +
                "\", \"info\": \"\", \"date\": 40000.5}";
        if (i > 1) json += ",";
    }
    return json + "]}]}";
}

// Under `ulimit -f` the write fails with a message instead of the signal ending
// the program; the old file stays as it was and no temporary file remains.
TEST(CliSave, FileSizeLimitReportsWriteErrorAndKeepsOldFile) {
    TempDir dir;
    const fs::path out = dir.Path() / "out";
    fs::create_directory(out);
    WriteBytes(dir.File("big.json"), CollectionJson(2000, 'v'));
    ASSERT_EQ(Wait(Start({"build", dir.File("big.json"), dir.File("big.pdt")}, dir.File("e"))), 0);
    WriteBytes(dir.File("small.json"), "{\"keys\": [{\"parent\": \"Alt\", \"name\": \"Alt\"}]}");
    const std::string target = (out / "ziel.pdt").string();
    ASSERT_EQ(Wait(Start({"build", dir.File("small.json"), target}, dir.File("e"))), 0);
    const std::string old = ReadBytes(target);

    const std::vector<std::string> commands[] = {
        {"build", dir.File("big.json"), target},
        {"sort", dir.File("big.pdt"), target},
    };
    for (const auto& args : commands) {
        SCOPED_TRACE(args[0]);
        const int status = Wait(Start(args, dir.File("stderr"), 64 * 1024));
        ASSERT_TRUE(WIFEXITED(status)) << "signal " << WTERMSIG(status);
        EXPECT_EQ(WEXITSTATUS(status), 2);
        EXPECT_NE(ReadBytes(dir.File("stderr")).find("Stream-Schreibfehler"), std::string::npos);
        EXPECT_EQ(ReadBytes(target), old);
        EXPECT_EQ(Names(out), std::vector<std::string>{"ziel.pdt"});
    }
}

// SIGKILL at random moments of a large save (about 20 MB) over an existing file.
TEST(CliSave, KilledSavesLeaveOldOrNewFileAndNothingElse) {
    TempDir dir;
    const fs::path out = dir.Path() / "out";
    fs::create_directory(out);
    const std::string target = (out / "ziel.pdt").string();
    // Two unsorted collections and, sorted, the two files a save writes.
    std::string inputs[2], sorted[2];
    for (int i = 0; i < 2; ++i) {
        inputs[i] = dir.File(std::string("in") + char('a' + i) + ".pdt");
        WriteBytes(dir.File("in.json"), CollectionJson(20000 + i, i ? 'w' : 'v'));
        ASSERT_EQ(Wait(Start({"build", dir.File("in.json"), inputs[i]}, dir.File("e"))), 0);
    }
    std::chrono::duration<double> duration{};
    for (int i = 0; i < 2; ++i) {
        const auto start = std::chrono::steady_clock::now();
        ASSERT_EQ(Wait(Start({"sort", inputs[i], target}, dir.File("e"))), 0);
        duration = std::max<std::chrono::duration<double>>(
            duration, std::chrono::steady_clock::now() - start);
        sorted[i] = ReadBytes(target);
    }
    ASSERT_GT(sorted[1].size(), 10'000'000u);

    std::mt19937 random(20240601);
    // Spread over a little more than a save takes, as a loaded machine is slower.
    std::uniform_real_distribution<double> moment(0.0, 1.25 * duration.count());
    int current = 1, replaced = 0;
    for (int round = 0; round < 50; ++round) {
        SCOPED_TRACE(round);
        const int next = 1 - current;
        const pid_t child = Start({"sort", inputs[next], target}, dir.File("e"));
        std::this_thread::sleep_for(std::chrono::duration<double>(moment(random)));
        kill(child, SIGKILL);
        Wait(child);
        const std::string now = ReadBytes(target);
        ASSERT_TRUE(now == sorted[current] || now == sorted[next])
            << "torn target of " << now.size() << " bytes";
        ASSERT_EQ(Names(out), std::vector<std::string>{"ziel.pdt"});
        if (now == sorted[next]) {
            current = next;
            ++replaced;
        }
    }
    // At least one kill cut a save short (a slow machine only makes that likelier).
    EXPECT_LT(replaced, 50);
}

}  // namespace
}  // namespace dorvanta::cli
