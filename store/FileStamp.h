#pragma once
// What a collection's file was when the program last read or wrote it, so that a
// save can tell whether another program has changed the file meanwhile; and the
// backup copy a save may keep of the file it replaces.

#include <sys/stat.h>

#include <cstdint>
#include <string>

#include "store/ContentDigest.h"

namespace dorvanta {

struct TFileStamp {
    bool Known = false;  // false: no file remembered (untitled, or never read or written)
    // The file's status as it was read or written. Settled is false when the status
    // changed while the file was read: it then vouches for no bytes, and the next
    // comparison digests the file.
    bool Settled = false;
    // Racy is true when the file's modification or status-change time was not yet
    // older than the file system's timestamp granularity when the stamp was taken:
    // a rewrite of the same size right after could keep every time, so the status
    // alone vouches for nothing and the next comparison digests the file.
    bool Racy = false;
    std::uint64_t Device = 0;
    std::uint64_t Inode = 0;
    std::uint64_t Size = 0;
    struct timespec Modified {};
    struct timespec Changed {};  // status change: no program can set it back
    // The fingerprint (store/ContentDigest.h) of the bytes read or written, and how many there were. Without a
    // digest (a file with a huge tail no load reads), only the status can tell
    // that the file is unchanged.
    bool HasDigest = false;
    TDigest Digest{};
    std::uint64_t DigestedSize = 0;
};

// The stamp of bytes whose file had the status `before` when reading or writing
// began and `after` when it ended.
TFileStamp MakeStamp(const struct stat& before, const struct stat& after, const TDigest& digest,
                     std::uint64_t digestedSize);
// The same without a digest.
TFileStamp StatusStamp(const struct stat& before, const struct stat& after);

// True when the status vouches for the stamp's bytes: the stamp is settled and not
// racy, and device, inode, size and the modification and status-change times match.
bool SameStatus(const TFileStamp& stamp, const struct stat& st);
// True when nothing about the file's status moved since the stamp was taken,
// racy or not: for a second look moments after a comparison that read the bytes.
bool StatusUnmoved(const TFileStamp& stamp, const struct stat& st);

enum class TDiskState {
    Unchanged,  // the file holds the bytes of the stamp (maybe touched, or replaced by a copy)
    Changed,    // other bytes, or something that is not a readable regular file
    Missing,    // nothing at the path (or a link to nothing)
};

// Compares what `path` names now (links followed, as a save follows them) with
// the stamp. A file of the same status is Unchanged without being read; any other
// is read and digested, and only other bytes make it Changed (one of another
// size is Changed without being read, unless `now` is asked for). `now`, when
// given, receives the stamp of what was found (not Known when Missing or
// unreadable), which a later comparison can start from.
TDiskState CompareWithDisk(const std::string& path, const TFileStamp& stamp,
                           TFileStamp* now = nullptr);

// Reads a file and digests it in pieces, without holding it: its stamp, or
// nothing known when it cannot be opened as a regular file or read.
TFileStamp StampOfFile(const std::string& path);

enum class TBackupResult { Made, NoFile, Failed };

// The name of the backup copy of `path`: the same name with ".bak" added.
std::string BackupPath(const std::string& path);

// Keeps the file `path` names as its backup copy, replacing an older one
// atomically: the copy holds the file's bytes exactly (an encrypted file's
// encrypted bytes) with the file's permissions. NoFile when there is no regular
// file to copy; Failed when the copy cannot be made (the file or the folder is
// not readable or writable, the disk is full).
TBackupResult BackupFile(const std::string& path);

}  // namespace dorvanta
