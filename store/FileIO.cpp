#include "store/FileIO.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "store/StoreError.h"
#include "store/StoreMessages.h"

namespace dorvanta {

ReadFileResult ReadWholeFile(const std::string& path, std::string& bytes, std::uint64_t cap,
                             struct stat* info,
                             const std::function<void(std::string_view, bool)>& firstPiece) {
    // Non-blocking, so that opening a named pipe does not wait for a writer.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return ReadFileResult::CannotOpen;
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) return ReadFileResult::CannotOpen;
    if (info) *info = st;
    if (static_cast<std::uint64_t>(st.st_size) > cap) return ReadFileResult::TooBig;
    bytes.clear();
    char buffer[65536];
    bool first = true;
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n == 0) break;
        if (n < 0) {
            if (errno == EINTR) continue;
            return ReadFileResult::ReadFailed;
        }
        if (bytes.size() + static_cast<std::uint64_t>(n) > cap) return ReadFileResult::TooBig;
        if (first) {
            first = false;
            if (firstPiece) {
                firstPiece(std::string_view(buffer, static_cast<std::size_t>(n)),
                           static_cast<std::size_t>(n) == sizeof buffer);
            }
            // Reserved only once the beginning has passed: a refused file costs no room.
            bytes.reserve(static_cast<std::size_t>(st.st_size));
        }
        bytes.append(buffer, static_cast<std::size_t>(n));
    }
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
