#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "platform/System.h"
#include "store/DateTime.h"
#include "store/StoreError.h"
#include "support/TempDir.h"

namespace dorvanta {
namespace {

using testing::TempDir;
using testing::WriteBytes;
namespace fs = std::filesystem;

std::string Std(const QString& s) {
    return s.toStdString();
}

// Sets an environment variable for one test and restores it afterwards.
class ScopedEnv {
  public:
    ScopedEnv(const char* name, const std::string& value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        ::setenv(name, value.c_str(), 1);
    }
    ~ScopedEnv() {
        if (old_) {
            ::setenv(name_, old_->c_str(), 1);
        } else {
            ::unsetenv(name_);
        }
    }

  private:
    const char* name_;
    std::optional<std::string> old_;
};

unsigned Mode(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0;
}

TEST(SystemTest, ProgramIdentityAndVersion) {
    EXPECT_TRUE(FileExists(ProgramPath()));
    EXPECT_EQ(fs::path(Std(ProgramPath())).filename(), "platform_tests");
    EXPECT_EQ(GetFileVersionText(), "1.5.0.0");
    EXPECT_EQ(GetFileVersionString(QStringLiteral("/no/such/file")), "");
    EXPECT_EQ(ApplicationTitle(), "Dorvanta");
    EXPECT_GT(ProgramFileDateTime(), 40000.0);  // some day after 2009
}

TEST(SystemTest, FileDateTimeIsTheLocalModificationTime) {
    TempDir dir;
    const std::string file = dir.File("f");
    WriteBytes(file, "x");
    std::tm local{};
    local.tm_year = 2024 - 1900;
    local.tm_mon = 5;  // June
    local.tm_mday = 1;
    local.tm_hour = 13;
    local.tm_min = 45;
    local.tm_sec = 30;
    local.tm_isdst = -1;
    const timespec times[2] = {{std::mktime(&local), 250000000}, {std::mktime(&local), 250000000}};
    ASSERT_EQ(::utimensat(AT_FDCWD, file.c_str(), times, 0), 0);
    const auto value = FileDateTime(QString::fromStdString(file));
    ASSERT_TRUE(value);
    EXPECT_NEAR(*value, EncodeDateTime({2024, 6, 1, 13, 45, 30, 250}), 1e-8);
    EXPECT_FALSE(FileDateTime(QString::fromStdString(dir.File("missing"))));
}

TEST(SystemTest, FilesystemTypesMapToTheDriveNumbers) {
    EXPECT_EQ(DriveTypeOfFilesystem("ext4", false), DriveType::Fixed);
    EXPECT_EQ(DriveTypeOfFilesystem("overlay", false), DriveType::Fixed);
    EXPECT_EQ(DriveTypeOfFilesystem("vfat", true), DriveType::Removable);
    EXPECT_EQ(DriveTypeOfFilesystem("fuse.ntfs-3g", false), DriveType::Fixed);
    for (const char* remote : {"nfs", "nfs4", "cifs", "smb3", "fuse.sshfs", "9p"}) {
        EXPECT_EQ(DriveTypeOfFilesystem(remote, false), DriveType::Remote) << remote;
    }
    EXPECT_EQ(DriveTypeOfFilesystem("iso9660", true), DriveType::CdRom);
    EXPECT_EQ(DriveTypeOfFilesystem("udf", true), DriveType::CdRom);
    EXPECT_EQ(DriveTypeOfFilesystem("tmpfs", false), DriveType::RamDisk);
    EXPECT_EQ(DriveTypeOfFilesystem("ramfs", false), DriveType::RamDisk);
    EXPECT_EQ(DriveTypeOfFilesystem("", false), DriveType::Unknown);
    EXPECT_EQ(static_cast<int>(DriveType::CdRom), 5);

    EXPECT_EQ(GetDriveType(QStringLiteral("/no/such/program")), DriveType::NoRootDir);
    EXPECT_EQ(GetDriveType(QString()), DriveType::NoRootDir);
    const DriveType own = GetDriveType(ProgramPath());
    EXPECT_TRUE(own == DriveType::Fixed || own == DriveType::Removable ||
                own == DriveType::Remote || own == DriveType::RamDisk)
        << static_cast<int>(own);
    if (fs::is_directory("/dev/shm")) {
        EXPECT_EQ(GetDriveType(QStringLiteral("/dev/shm")), DriveType::RamDisk);
    }
}

TEST(SystemTest, FileExistsWantsARegularFile) {
    TempDir dir;
    WriteBytes(dir.File("a.pdt"), "");
    EXPECT_TRUE(FileExists(QString::fromStdString(dir.File("a.pdt"))));
    EXPECT_FALSE(FileExists(QString::fromStdString(dir.Path().string())));
    EXPECT_FALSE(FileExists(QString()));
    EXPECT_TRUE(DeleteFile(QString::fromStdString(dir.File("a.pdt"))));
    EXPECT_FALSE(FileExists(QString::fromStdString(dir.File("a.pdt"))));
    EXPECT_FALSE(DeleteFile(QString::fromStdString(dir.File("a.pdt"))));
}

TEST(SystemTest, TempFolderIsPrivateToTheUser) {
    TempDir dir;
    const std::string runtime = dir.File("run");
    ASSERT_EQ(::mkdir(runtime.c_str(), 0700), 0);
    {
        ScopedEnv env("XDG_RUNTIME_DIR", runtime);
        EXPECT_EQ(Std(TempFolder()), runtime + "/Dorvanta/");
        EXPECT_EQ(Mode(runtime + "/Dorvanta"), 0700u);
    }

    // A runtime folder others may enter is not used; the fallback lives below TMPDIR.
    const std::string shared = dir.File("shared");
    ASSERT_EQ(::mkdir(shared.c_str(), 0777), 0);
    ::chmod(shared.c_str(), 0777);
    ScopedEnv env1("XDG_RUNTIME_DIR", shared);
    ScopedEnv env2("TMPDIR", dir.Path().string());
    const std::string expected = dir.File("Dorvanta-" + std::to_string(::getuid()));
    EXPECT_EQ(Std(TempFolder()), expected + "/");
    EXPECT_EQ(Mode(expected), 0700u);

    // Loose rights on our own folder are narrowed.
    ::chmod(expected.c_str(), 0777);
    EXPECT_EQ(Std(TempFolder()), expected + "/");
    EXPECT_EQ(Mode(expected), 0700u);
}

TEST(SystemTest, TempFolderRefusesPlantedFolders) {
    TempDir dir;
    ScopedEnv env1("XDG_RUNTIME_DIR", "");
    ScopedEnv env2("TMPDIR", dir.Path().string());
    const std::string fixedName = dir.File("Dorvanta-" + std::to_string(::getuid()));

    // A symbolic link to a folder someone else controls.
    ASSERT_EQ(::mkdir(dir.File("elsewhere").c_str(), 0777), 0);
    ASSERT_EQ(::symlink(dir.File("elsewhere").c_str(), fixedName.c_str()), 0);
    QString folder = TempFolder();
    EXPECT_NE(Std(folder), fixedName + "/");
    EXPECT_NE(Std(folder).find("Dorvanta-"), std::string::npos);
    EXPECT_EQ(Mode(Std(folder).substr(0, Std(folder).size() - 1)), 0700u);
    EXPECT_EQ(TempFolder(), folder) << "the fallback stays the same for the run";

    // A folder of another user (only root can set that up here).
    if (::geteuid() == 0) {
        ::unlink(fixedName.c_str());
        ASSERT_EQ(::mkdir(fixedName.c_str(), 0700), 0);
        ASSERT_EQ(::chown(fixedName.c_str(), 65534, 65534), 0);
        EXPECT_NE(Std(TempFolder()), fixedName + "/");
    }
}

TEST(SystemTest, TempFilesAreNewAndUnique) {
    TempDir dir;
    ScopedEnv env("XDG_RUNTIME_DIR", "");
    ScopedEnv env2("TMPDIR", dir.Path().string());
    const QString a = CreateTempFile(QStringLiteral("$"));
    const QString b = CreateTempFile(QStringLiteral("$"));
    EXPECT_NE(a, b);
    for (const QString& path : {a, b}) {
        EXPECT_TRUE(path.startsWith(TempFolder() + QLatin1Char('$'))) << Std(path);
        EXPECT_TRUE(FileExists(path));
        EXPECT_EQ(fs::file_size(Std(path)), 0u);
        EXPECT_EQ(Mode(Std(path)), 0600u);
    }
}

TEST(SystemTest, AScriptRunsOnlyAfterTheProgramEnded) {
    TempDir dir;
    const std::string marker = dir.File("done");
    const std::string script = dir.File("Update.sh");
    // The script runs in its own folder.
    WriteBytes(script, "pwd > done\n");

    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (!RunAfterExit(QString::fromStdString(script))) ::_exit(2);
        std::this_thread::sleep_for(std::chrono::milliseconds(400));
        ::_exit(fs::exists(marker) ? 3 : 0);  // must not have run yet
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    ASSERT_EQ(WEXITSTATUS(status), 0);
    for (int i = 0; i < 100 && !fs::exists(marker); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ASSERT_TRUE(fs::exists(marker));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(testing::ReadBytes(marker), dir.Path().string() + "\n");

    EXPECT_FALSE(RunAfterExit(QString::fromStdString(dir.File("missing.sh"))));
}

TEST(SystemTest, OemTextIsUtf8) {
    EXPECT_EQ(AnsiToOem("C:\\Programme\\K\xF6ln\\"), "C:\\Programme\\Köln\\");
    EXPECT_EQ(AnsiToOem(""), "");
}

}  // namespace
}  // namespace dorvanta
