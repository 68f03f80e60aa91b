#pragma once
// Replaces a file's contents so that a failure at any point leaves the previous
// file as it was: the bytes go to a temporary file in the same folder, which is
// flushed to disk and then renamed over the target.

#include <cstdint>
#include <string>
#include <string_view>

namespace dorvanta {

enum class AtomicWriteResult { Ok, CannotCreate, WriteFailed };

// A symbolic link is followed to the file it names. An existing file keeps its
// permissions; a new one is readable and writable by its owner only.
AtomicWriteResult WriteFileAtomically(const std::string& path, std::string_view bytes);

// The file a chain of symbolic links ends at (the path itself if it is no link).
std::string ResolveSymlinks(const std::string& path);

}  // namespace dorvanta

namespace dorvanta {

enum class ReadFileResult { Ok, CannotOpen, ReadFailed, TooBig };

// Reads a regular file whole; a folder or a device cannot be opened as a file.
// More than `cap` bytes is TooBig (counted while reading, as the file may grow).
ReadFileResult ReadWholeFile(const std::string& path, std::string& bytes,
                             std::uint64_t cap = UINT64_MAX);
// The same, failing with the store's German messages ("Datei %s kann nicht
// geöffnet werden", "Stream-Lesefehler").
std::string ReadWholeFileOrThrow(const std::string& path);

}  // namespace dorvanta
