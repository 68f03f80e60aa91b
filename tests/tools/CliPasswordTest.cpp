// The real dorvanta-cli asking for passwords: at a pseudo-terminal, on standard
// input, and without any terminal.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>

#include "store/PdtFile.h"
#include "support/CliRun.h"
#include "support/TempDir.h"
#include "tools/Cli.h"

namespace dorvanta::cli {
namespace {

using dorvanta::testing::Cli;
using dorvanta::testing::ReadBytes;
using dorvanta::testing::TempDir;
using dorvanta::testing::WriteBytes;

const std::string kNoTerminal =
    "Die Datei braucht ein Passwort, aber es gibt kein Terminal, an dem es eingegeben werden "
    "könnte. Geben Sie es mit --password-stdin auf der Standardeingabe an.\n";
const std::string kWrong = std::string(kMsgWrongPassword) + "\n";

struct Ran {
    int code;
    std::string shown;  // what the terminal showed
    std::string err;
    bool echoes = true;  // the terminal echoes again afterwards
};

std::vector<char*> Argv(std::vector<std::string>& all) {
    std::vector<char*> argv;
    for (std::string& a : all) argv.push_back(a.data());
    argv.push_back(nullptr);
    return argv;
}

// In the child: stdout and stderr to files, then the program.
[[noreturn]] void ExecCli(std::vector<std::string> args, const TempDir& dir) {
    args.insert(args.begin(), DORVANTA_CLI_PATH);
    ::dup2(::open(dir.File("out").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), 1);
    ::dup2(::open(dir.File("err").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), 2);
    ::execv(args[0].c_str(), Argv(args).data());
    ::_exit(127);
}

// In the child: a shell with job control. The program runs as its own job in the
// foreground; each time it stops (Ctrl+Z), the echo as it is then is noted in the
// file "stopped" ("an"/"aus"), and the job is continued (fg).
[[noreturn]] void ExecAsJob(const std::vector<std::string>& args, const TempDir& dir) {
    const pid_t job = ::fork();
    if (job == 0) {
        ::setpgid(0, 0);
        sigset_t ttou, former;
        sigemptyset(&ttou);
        sigaddset(&ttou, SIGTTOU);
        ::sigprocmask(SIG_BLOCK, &ttou, &former);  // a background group may take the terminal
        ::tcsetpgrp(0, ::getpid());
        ::sigprocmask(SIG_SETMASK, &former, nullptr);
        ExecCli(args, dir);
    }
    std::string stopped;
    int status = 0;
    while (::waitpid(job, &status, WUNTRACED) == job && WIFSTOPPED(status)) {
        termios now{};
        ::tcgetattr(0, &now);
        stopped += (now.c_lflag & ECHO) ? "an" : "aus";
        WriteBytes(dir.File("stopped"), stopped);
        ::kill(job, SIGCONT);
    }
    ::_exit(WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status));
}

int ExitCode(pid_t pid) {
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// Runs the program on a pseudo-terminal; each keystroke string is typed once the
// next prompt (ending in ": ") shows. Gives up after 60 s instead of hanging.
Ran RunOnTty(const std::vector<std::string>& args, const std::vector<std::string>& keys,
             const TempDir& dir, bool asJob = false) {
    std::filesystem::remove(dir.File("stopped"));
    int master = -1;
    const pid_t pid = ::forkpty(&master, nullptr, nullptr, nullptr);
    if (pid == 0 && asJob) ExecAsJob(args, dir);
    if (pid == 0) ExecCli(args, dir);
    std::string shown;
    std::size_t typed = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    for (;;) {
        if (std::chrono::steady_clock::now() > deadline) {
            ::kill(pid, SIGKILL);
            ADD_FAILURE() << "hangs; the terminal shows: " << shown;
            break;
        }
        pollfd ready{master, POLLIN, 0};
        if (::poll(&ready, 1, 100) <= 0) continue;
        char buffer[256];
        const ssize_t n = ::read(master, buffer, sizeof buffer);
        if (n <= 0) break;  // EIO: the program has closed the terminal
        shown.append(buffer, static_cast<std::size_t>(n));
        std::size_t prompts = 0;
        for (std::size_t at = shown.find(": "); at != std::string::npos;
             at = shown.find(": ", at + 1)) {
            ++prompts;
        }
        for (; typed < prompts && typed < keys.size(); ++typed) {
            ::write(master, keys[typed].data(), keys[typed].size());
        }
    }
    const int code = ExitCode(pid);
    termios after{};
    ::tcgetattr(master, &after);
    ::close(master);
    return {code, shown, ReadBytes(dir.File("err")), (after.c_lflag & ECHO) != 0};
}

// Runs the program detached from any terminal (setsid: none it could open) with
// `input` as its standard input.
Ran RunWithoutTty(const std::vector<std::string>& args, const std::string& input,
                  const TempDir& dir) {
    WriteBytes(dir.File("in"), input);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::setsid();
        ::dup2(::open(dir.File("in").c_str(), O_RDONLY), 0);
        ExecCli(args, dir);
    }
    const int code = ExitCode(pid);
    return {code, "", ReadBytes(dir.File("err"))};
}

class CliPassword : public ::testing::Test {
  protected:
    void SetUp() override {
        TDocument doc;
        doc.Keys.push_back({});
        doc.Keys[0].Name = "Konto";
        SaveDocument(doc, open_);
        doc.Password = "Geheim";
        SaveDocument(doc, closed_);
        const int workFactor = EncryptionWorkFactor();
        SetEncryptionWorkFactor(1);
        doc.Format = TDocument::TFormat::Encrypted;
        doc.Password = "Gehe\xC3\xAF";  // an encrypted file's password is UTF-8
        SaveDocument(doc, sealed_);
        SetEncryptionWorkFactor(workFactor);
    }

    TempDir dir_;
    const std::string open_ = dir_.File("offen.pdt");
    const std::string closed_ = dir_.File("geschuetzt.pdt");
    const std::string sealed_ = dir_.File("sealed.pdt.age");
    const std::string written_ = dir_.File("neu.pdt");

    // `opens`: the password that opens what the command wrote; null: nothing written.
    void ExpectWritten(const char* opens) {
        EXPECT_EQ(std::filesystem::exists(written_), opens != nullptr);
        if (opens && *opens) {
            EXPECT_EQ(Cli({"dump", written_, "--password", opens}).code, kOk);
        }
        std::filesystem::remove(written_);
    }
};

TEST_F(CliPassword, TypedAtTheTerminalWithoutEcho) {
    struct Case {
        std::vector<std::string> args;
        std::vector<std::string> keys;
        int code;
        std::string shown;
        std::string err;
        const char* opens;
        const char* stopped = nullptr;  // under a shell: the echo at each Ctrl+Z
    };
    const Case cases[] = {
        {{"dump", closed_}, {"Geheim\n"}, kOk, "Passwort: \r\n", "", nullptr},
        // Ctrl+Z gives the shell its echo; fg asks again, without echo.
        {{"dump", closed_},
         {"\x1A", "Geheim\n"},
         kOk,
         "Passwort: Passwort: \r\n",
         "",
         nullptr,
         "an"},
        {{"dump", closed_},
         {"\x1A", "\x1A", "geheim\n"},
         kWrongPassword,
         "Passwort: Passwort: Passwort: \r\n",
         kWrong,
         nullptr,
         "anan"},
        {{"dump", closed_}, {"geheim\n"}, kWrongPassword, "Passwort: \r\n", kWrong, nullptr},
        {{"dump", closed_},
         {"\x04"},
         kWrongPassword,
         "Passwort: \r\n",
         "Es wurde kein Passwort eingegeben.\n",
         nullptr},
        // Ctrl+C ends the program, never with the echo left off.
        {{"dump", closed_}, {"\x03"}, 128 + SIGINT, "Passwort: \r\n", "", nullptr},
        {{"sort", open_, written_}, {}, kOk, "", "", ""},
        {{"decrypt", sealed_, written_},
         {"Gehe\xC3\xAF\n"},
         kOk,
         "Passwort: \r\n",
         "",
         "Gehe\xC3\xAF"},
        // One typed password opens all three files of a merge.
        {{"merge", sealed_, sealed_, sealed_, written_},
         {"Gehe\xC3\xAF\n", "Gehe\xC3\xAF\n", "Gehe\xC3\xAF\n"},
         kOk,
         "Passwort: \r\n",
         "",
         "Gehe\xC3\xAF"},
        {{"encrypt", open_, written_},
         {"Neu \xC3\xA4\n", "Neu \xC3\xA4\n"},
         kOk,
         "Passwort: \r\nPasswort wiederholen: \r\n",
         "",
         "Neu \xC3\xA4"},
        {{"encrypt", open_, written_},
         {"Neu 1\n", "Neu 2\n"},
         kWrongPassword,
         "Passwort: \r\nPasswort wiederholen: \r\n",
         "Die beiden Passwörter stimmen nicht überein. Es wurde nichts gespeichert.\n",
         nullptr},
        {{"encrypt", open_, written_},
         {"\n"},
         kWrongPassword,
         "Passwort: \r\n",
         "Eine verschlüsselte Datei braucht ein Passwort, das nicht leer ist. Es wurde nichts "
         "gespeichert.\n",
         nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args[0] + " " + (c.keys.empty() ? "" : c.keys[0]));
        const Ran r = RunOnTty(c.args, c.keys, dir_, c.stopped != nullptr);
        if (c.stopped) {
            EXPECT_EQ(ReadBytes(dir_.File("stopped")), c.stopped);
        }
        EXPECT_EQ(r.code, c.code);
        EXPECT_EQ(r.shown, c.shown);  // nothing typed comes back
        EXPECT_EQ(r.err, c.err);
        EXPECT_TRUE(r.echoes);
        ExpectWritten(c.opens);
    }
}

TEST_F(CliPassword, StandardInputOrNoTerminalAtAll) {
    const std::string tooLong(4097, 'x');
    struct Case {
        std::vector<std::string> args;
        std::string input;
        int code;
        std::string err;
        const char* opens = nullptr;
    };
    const Case cases[] = {
        {{"dump", closed_}, "Geheim\n", kWrongPassword, kNoTerminal},
        {{"decrypt", sealed_, written_}, "", kWrongPassword, kNoTerminal},
        {{"encrypt", open_, written_}, "", kWrongPassword, kNoTerminal},
        {{"encrypt", closed_, written_}, "", kOk, "", "Geheim"},  // its own password
        {{"dump", open_}, "", kOk, ""},
        {{"dump", closed_, "--password-stdin"}, "Geheim\r\nrest", kOk, ""},
        {{"dump", closed_, "--password-stdin"}, "Geheim", kOk, ""},
        {{"dump", closed_, "--password-stdin"}, "Geheim \n", kWrongPassword, kWrong},
        {{"dump", closed_, "--password-stdin"},
         "",
         kWrongPassword,
         "Auf der Standardeingabe steht kein Passwort.\n"},
        {{"dump", closed_, "--password-stdin"}, std::string(4096, 'x'), kWrongPassword, kWrong},
        {{"dump", closed_, "--password-stdin"},
         tooLong + "\n",
         kError,
         "Das Passwort ist länger als 4096 Bytes.\n"},
        // A plain file's password is Windows-1252: "Ω" is simply not it.
        {{"dump", closed_, "--password-stdin"}, "\xCE\xA9\n", kWrongPassword, kWrong},
        {{"dump", closed_, "--password", "Geheim\xC5\x82"}, "", kWrongPassword, kWrong},
        {{"decrypt", sealed_, written_, "--password-stdin"},
         "Gehe\xC3\xAF\n",
         kOk,
         "",
         "Gehe\xC3\xAF"},
        {{"dump", closed_, "--password-stdin", "--password", "Geheim"},
         "Geheim\n",
         kError,
         "--password und --password-stdin schließen einander aus\n"},
        {{"match", "a", "a", "--password-stdin"},
         "",
         kError,
         "Die Option --password-stdin gilt nicht für \"match\"\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args[0] + " " + c.args.back() + " <" + c.input.substr(0, 20));
        const Ran r = RunWithoutTty(c.args, c.input, dir_);
        EXPECT_EQ(r.code, c.code);
        EXPECT_EQ(r.err, c.err);
        ExpectWritten(c.opens);
    }
}

}  // namespace
}  // namespace dorvanta::cli
