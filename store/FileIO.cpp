#include "store/FileIO.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "store/PdtFile.h"
#include "store/StoreError.h"

namespace dorvanta {

ReadFileResult ReadWholeFile(const std::string& path, std::string& bytes, std::uint64_t cap,
                             struct stat* info) {
    // Non-blocking, so that opening a named pipe does not wait for a writer.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return ReadFileResult::CannotOpen;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return ReadFileResult::CannotOpen;
    }
    if (info) *info = st;
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
