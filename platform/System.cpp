#include "platform/System.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <unistd.h>

#include <QApplication>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QFile>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QNetworkInformation>
#include <QUrl>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <sstream>

#include "platform/MessageService.h"  // InTestMode only
#include "store/Cp1252.h"
#include "store/DateTime.h"
#include "store/StoreError.h"

#ifndef DORVANTA_FILE_VERSION
#error "DORVANTA_FILE_VERSION must come from the build"
#endif

extern char** environ;

namespace dorvanta {
namespace {

std::string Native(const QString& path) {
    return QFile::encodeName(path).toStdString();
}
QString FromNative(const std::string& path) {
    return QFile::decodeName(path.c_str());
}

QString& TitleStorage() {
    static QString title = QStringLiteral("Dorvanta");
    return title;
}

QStringList& TestUrls() {
    static QStringList urls;
    return urls;
}

int& TestBeeps() {
    static int beeps = 0;
    return beeps;
}

}  // namespace

// ---- Program identity -----------------------------------------------------------

QString ProgramPath() {
    char buffer[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n <= 0) return QCoreApplication::applicationFilePath();
    return FromNative(std::string(buffer, static_cast<std::size_t>(n)));
}

QStringList CommandLineArguments() {
    if (QCoreApplication::instance()) return QCoreApplication::arguments().mid(1);
    QStringList args;
    std::ifstream in("/proc/self/cmdline", std::ios::binary);
    std::string arg;
    while (std::getline(in, arg, '\0')) args << QString::fromLocal8Bit(arg.c_str());
    return args.mid(1);
}

QString ApplicationTitle() {
    return TitleStorage();
}

void SetApplicationTitle(const QString& title) {
    TitleStorage() = title;
    // Not the display name: Qt would append it to every window caption on X11.
    QCoreApplication::setApplicationName(title);
}

std::optional<double> FileDateTime(const QString& path) {
    struct stat st {};
    if (path.isEmpty() || ::stat(Native(path).c_str(), &st) != 0) return std::nullopt;
    std::tm local{};
    const std::time_t seconds = st.st_mtim.tv_sec;
    if (!::localtime_r(&seconds, &local)) return std::nullopt;
    DateTimeParts parts;
    parts.year = local.tm_year + 1900;
    parts.month = local.tm_mon + 1;
    parts.day = local.tm_mday;
    parts.hour = local.tm_hour;
    parts.minute = local.tm_min;
    parts.second = std::min(local.tm_sec, 59);  // a leap second counts as :59
    parts.millisecond = static_cast<int>(st.st_mtim.tv_nsec / 1000000);
    return EncodeDateTime(parts);
}

double ProgramFileDateTime() {
    return FileDateTime(ProgramPath()).value_or(0.0);
}

// ---- Version --------------------------------------------------------------------

QString GetFileVersionString(const QString& path) {
    // The version is built into the program; a path that names no file has none.
    if (!FileExists(path)) return {};
    return QStringLiteral(DORVANTA_FILE_VERSION);
}

QString GetFileVersionText() {
    return GetFileVersionString(ProgramPath());
}

// ---- Drives ---------------------------------------------------------------------

DriveType DriveTypeOfFilesystem(std::string_view fsType, bool removableDevice) {
    if (fsType.empty()) return DriveType::Unknown;
    // FUSE file systems name their kind after the dot ("fuse.sshfs").
    if (fsType.rfind("fuse.", 0) == 0) fsType.remove_prefix(5);
    // Network file systems: the program then runs from another machine.
    static constexpr std::string_view kRemote[] = {
        "nfs",   "nfs4",     "cifs",   "smb3",    "smbfs",     "sshfs",     "9p",
        "afs",   "ceph",     "coda",   "ncpfs",   "glusterfs", "lustre",    "beegfs",
        "gpfs",  "davfs",    "davfs2", "rclone",  "s3fs",      "curlftpfs", "gvfsd-fuse",
        "ocfs2", "orangefs", "pvfs2",  "virtiofs"};
    for (auto name : kRemote) {
        if (fsType == name) return DriveType::Remote;
    }
    // Optical media.
    if (fsType == "iso9660" || fsType == "udf") return DriveType::CdRom;
    // Memory-backed file systems.
    if (fsType == "tmpfs" || fsType == "ramfs") return DriveType::RamDisk;
    // Everything else lives on a local device; USB sticks and card readers say
    // "removable" in sysfs.
    return removableDevice ? DriveType::Removable : DriveType::Fixed;
}

namespace {

// /proc/self/mountinfo writes blanks and the like as \ooo.
std::string UnescapeMountPath(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 3 < text.size() &&
            std::isdigit(static_cast<unsigned char>(text[i + 1]))) {
            out += static_cast<char>(std::stoi(text.substr(i + 1, 3), nullptr, 8));
            i += 3;
        } else {
            out += text[i];
        }
    }
    return out;
}

bool IsUnder(const std::string& path, const std::string& mountPoint) {
    if (mountPoint == "/") return true;
    return path == mountPoint || path.rfind(mountPoint + "/", 0) == 0;
}

bool DeviceIsRemovable(const std::string& majorMinor) {
    char resolved[PATH_MAX];
    const std::string link = "/sys/dev/block/" + majorMinor;
    if (!::realpath(link.c_str(), resolved)) return false;
    std::string dir = resolved;
    // A partition's flag sits on its disk, one folder up.
    for (int level = 0; level < 2; ++level) {
        std::ifstream in(dir + "/removable");
        int flag = 0;
        if (in >> flag) return flag == 1;
        dir = dir.substr(0, dir.rfind('/'));
    }
    return false;
}

// Magic numbers of statfs for when /proc is not there to name the file system.
DriveType DriveTypeOfMagic(unsigned long magic) {
    switch (magic) {
        case 0x6969:      // NFS
        case 0x517B:      // SMB
        case 0xFF534D42:  // CIFS
        case 0xFE534D42:  // SMB2
        case 0x01021997:  // 9P
        case 0x5346414F:  // AFS
        case 0x00C36400:  // Ceph
            return DriveType::Remote;
        case 0x9660:      // ISO 9660
        case 0x15013346:  // UDF
            return DriveType::CdRom;
        case 0x01021994:  // tmpfs
        case 0x858458F6:  // ramfs
            return DriveType::RamDisk;
        default:
            return DriveType::Fixed;
    }
}

}  // namespace

DriveType GetDriveType(const QString& path) {
    const std::string native = Native(path);
    struct statfs fs {};
    if (native.empty() || ::statfs(native.c_str(), &fs) != 0) return DriveType::NoRootDir;
    char resolved[PATH_MAX];
    if (!::realpath(native.c_str(), resolved)) return DriveType::NoRootDir;
    const std::string real = resolved;

    // The mount that holds the path is the last one with the longest matching point.
    std::ifstream in("/proc/self/mountinfo");
    std::string line, bestPoint, bestType, bestDevice;
    bool found = false;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string id, parent, device, root, point;
        if (!(fields >> id >> parent >> device >> root >> point)) continue;
        std::string field, type;
        while (fields >> field && field != "-") {
        }
        if (!(fields >> type)) continue;
        point = UnescapeMountPath(point);
        if (IsUnder(real, point) && (!found || point.size() >= bestPoint.size())) {
            found = true;
            bestPoint = point;
            bestType = type;
            bestDevice = device;
        }
    }
    if (!found) return DriveTypeOfMagic(static_cast<unsigned long>(fs.f_type));
    return DriveTypeOfFilesystem(bestType, DeviceIsRemovable(bestDevice));
}

// ---- Files and folders ------------------------------------------------------------

bool FileExists(const QString& path) {
    struct stat st {};
    return !path.isEmpty() && ::stat(Native(path).c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool DeleteFile(const QString& path) {
    return !path.isEmpty() && ::unlink(Native(path).c_str()) == 0;
}

namespace {

// A folder that only this user can use: created 0700, or existing as a real
// folder (no symbolic link) of this user, whose rights are then narrowed to 0700.
bool EnsurePrivateFolder(const std::string& path) {
    if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) return false;
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::getuid()) {
        return false;
    }
    if ((st.st_mode & 077) != 0 && ::chmod(path.c_str(), 0700) != 0) return false;
    return true;
}

bool IsPrivateBase(const char* dir) {
    struct stat st {};
    return dir && dir[0] == '/' && ::stat(dir, &st) == 0 && S_ISDIR(st.st_mode) &&
           st.st_uid == ::getuid() && (st.st_mode & 077) == 0;
}

}  // namespace

QString TempFolder() {
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); IsPrivateBase(runtime)) {
        const std::string path = std::string(runtime) + "/Dorvanta";
        if (EnsurePrivateFolder(path)) return FromNative(path + "/");
    }
    const char* tmpdir = std::getenv("TMPDIR");
    const std::string base = (tmpdir && tmpdir[0] == '/') ? tmpdir : "/tmp";
    const std::string path = base + "/Dorvanta-" + std::to_string(::getuid());
    if (EnsurePrivateFolder(path)) return FromNative(path + "/");

    // Someone else holds that name: take a fresh folder of our own for this run.
    static std::string fallback;
    if (fallback.empty() || !EnsurePrivateFolder(fallback)) {
        std::string pattern = path + "-XXXXXX";
        if (!::mkdtemp(pattern.data())) {
            throw EStoreError(
                FormatMessage("Der temporäre Ordner '%s' kann nicht angelegt werden", path));
        }
        fallback = pattern;
    }
    return FromNative(fallback + "/");
}

QString CreateTempFile(const QString& prefix) {
    const std::string folder = Native(TempFolder());
    std::string pattern = folder + Native(prefix) + "XXXXXX.tmp";
    const int fd = ::mkstemps(pattern.data(), 4);
    if (fd < 0) {
        throw EStoreError(FormatMessage("Datei %s kann nicht erstellt werden", pattern));
    }
    ::close(fd);
    return FromNative(pattern);
}

// ---- Shell ------------------------------------------------------------------------

void Beep(BeepKind) {
    if (InTestMode()) {
        ++TestBeeps();
        return;
    }
    if (qobject_cast<QApplication*>(QCoreApplication::instance())) QApplication::beep();
}

int BeepsInTestMode() {
    return TestBeeps();
}

bool OpenUrl(const QString& url) {
    if (InTestMode()) {
        TestUrls() << url;
        return true;
    }
    return QDesktopServices::openUrl(QUrl(url));
}

const QStringList& OpenedUrlsInTestMode() {
    return TestUrls();
}

bool RunAfterExit(const QString& scriptPath) {
    if (!FileExists(scriptPath)) return false;
    const std::string script = Native(scriptPath);
    const std::string folder = script.substr(0, script.rfind('/') + 1);

    // The script waits on a pipe whose writing end only this process holds: the
    // kernel closes it when the program ends, however it ends, and the read
    // then returns. That is safer than watching the process id.
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0) return false;

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[0], 3);
    if (!folder.empty()) posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());

    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attr, &none);
    // A session of its own: closing the terminal or the desktop session's process
    // group does not take the script with it.
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK);

    const char* waiter = "while read -r _ <&3; do :; done; exec 3<&-; exec /bin/sh \"$1\"";
    std::string arg0 = "sh", arg1 = "-c", arg3 = "dorvanta-after-exit";
    std::string waiterText = waiter;
    std::string scriptArg = script;
    char* argv[] = {arg0.data(), arg1.data(),      waiterText.data(),
                    arg3.data(), scriptArg.data(), nullptr};
    pid_t pid = 0;
    const int rc = ::posix_spawn(&pid, "/bin/sh", &actions, &attr, argv, environ);
    posix_spawnattr_destroy(&attr);
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipeFds[0]);
    if (rc != 0) {
        ::close(pipeFds[1]);
        return false;
    }
    // pipeFds[1] stays open on purpose until the program ends.
    return true;
}

QString MessageFontFamily() {
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance())) return {};
    // The windows were laid out for a face with Arial's metrics; a wider one
    // (DejaVu Sans, Cantarell) cuts the tool-bar captions.
    const QStringList installed = QFontDatabase::families();
    for (const QString& family : ArialMetricFamilies()) {
        if (installed.contains(family)) return family;
    }
    return QFontDatabase::systemFont(QFontDatabase::GeneralFont).family();
}

const QStringList& ArialMetricFamilies() {
    static const QStringList families = {QStringLiteral("Arial"),
                                         QStringLiteral("Liberation Sans"),
                                         QStringLiteral("Arimo")};
    return families;
}

bool IsConnected() {
    if (!QCoreApplication::instance()) return true;
    if (!QNetworkInformation::instance() && !QNetworkInformation::loadDefaultBackend()) return true;
    const auto* info = QNetworkInformation::instance();
    if (!info || !info->supports(QNetworkInformation::Feature::Reachability)) return true;
    // Only a definite "disconnected" stops the check; a local network may still
    // reach the update server through a proxy.
    return info->reachability() != QNetworkInformation::Reachability::Disconnected;
}

std::string AnsiToOem(std::string_view cp1252) {
    return Cp1252ToUtf8(cp1252);
}

}  // namespace dorvanta
