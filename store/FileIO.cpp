#include "store/FileIO.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <vector>

#include "store/PdtFile.h"
#include "store/StoreError.h"

namespace dorvanta {
namespace fs = std::filesystem;

std::string ResolveSymlinks(const std::string& path) {
    fs::path current(path);
    for (int depth = 0; depth < 40; ++depth) {
        std::error_code ec;
        if (!fs::is_symlink(fs::symlink_status(current, ec))) break;
        fs::path target = fs::read_symlink(current, ec);
        if (ec) break;
        current = target.is_absolute() ? target : current.parent_path() / target;
    }
    return current.string();
}

namespace {

bool WriteAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

}  // namespace

AtomicWriteResult WriteFileAtomically(const std::string& path, std::string_view bytes) {
    const fs::path target(ResolveSymlinks(path));
    const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
    std::string pattern = (folder / ("." + target.filename().string() + ".XXXXXX")).string();
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');

    const int fd = ::mkstemp(name.data());  // mode 0600
    if (fd < 0) return AtomicWriteResult::CannotCreate;
    const std::string tempPath(name.data());

    struct stat existing {};
    if (::stat(target.c_str(), &existing) == 0) {
        if (!S_ISREG(existing.st_mode)) {
            ::close(fd);
            ::unlink(tempPath.c_str());
            return AtomicWriteResult::CannotCreate;
        }
        // Keep the file's owner (when we may) and its permissions.
        if (::fchown(fd, existing.st_uid, existing.st_gid) != 0) {
            // Not permitted for an ordinary user; the file then becomes ours.
        }
        ::fchmod(fd, existing.st_mode & 07777);
    }

    bool ok = WriteAll(fd, bytes) && ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    if (!ok) {
        ::unlink(tempPath.c_str());
        return AtomicWriteResult::WriteFailed;
    }
    if (::rename(tempPath.c_str(), target.c_str()) != 0) {
        ::unlink(tempPath.c_str());
        return AtomicWriteResult::CannotCreate;
    }
    // Make the rename itself durable.
    const int dirFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
    return AtomicWriteResult::Ok;
}

}  // namespace dorvanta

namespace dorvanta {

ReadFileResult ReadWholeFile(const std::string& path, std::string& bytes, std::uint64_t cap) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return ReadFileResult::CannotOpen;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return ReadFileResult::CannotOpen;
    }
    if (static_cast<std::uint64_t>(st.st_size) > cap) {
        ::close(fd);
        return ReadFileResult::TooBig;
    }
    bytes.clear();
    bytes.reserve(static_cast<std::size_t>(st.st_size));
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n == 0) break;
        if (n < 0) {
            if (errno == EINTR) continue;
            ::close(fd);
            return ReadFileResult::ReadFailed;
        }
        if (bytes.size() + static_cast<std::uint64_t>(n) > cap) {
            ::close(fd);
            return ReadFileResult::TooBig;
        }
        bytes.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return ReadFileResult::Ok;
}

std::string ReadWholeFileOrThrow(const std::string& path) {
    std::string bytes;
    switch (ReadWholeFile(path, bytes)) {
        case ReadFileResult::Ok:
            break;
        case ReadFileResult::CannotOpen:
            throw EStoreError(FormatMessage(kMsgCannotOpen, path));
        case ReadFileResult::ReadFailed:
        case ReadFileResult::TooBig:
            throw EStoreError(kMsgReadError);
    }
    return bytes;
}

}  // namespace dorvanta
