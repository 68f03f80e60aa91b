#pragma once
// Preparing an installation: the downloaded archive's signature, its extraction
// into the private temporary folder and the installation script completed from
// the template the archive carries. The program never replaces its own files;
// the script does that after the program has ended.

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <string>

namespace dorvanta {

// The maker's Ed25519 public key (32 bytes), the build setting
// DORVANTA_UPDATE_PUBLIC_KEY; empty when the build has none, and then no archive
// passes the check. There is no other key in the program.
QByteArray UpdatePublicKey();

// Whether `signatureBase64` is a valid detached Ed25519 signature of the file's
// bytes under `publicKey`. False for a missing file, a malformed signature or key.
bool VerifyArchiveSignature(const QString& archivePath, const QString& signatureBase64,
                            const QByteArray& publicKey = UpdatePublicKey());

// The bare file name an archive entry is extracted under, empty when the entry is
// skipped: only the text after the last '/' or '\' counts, so no entry reaches
// another folder; ".", ".." and names with control characters are skipped.
std::string ArchiveEntryFileName(const std::string& entryName);

// Whether a name from the server is a bare file name: not empty, not ".", without
// '/', '\', ".." and control characters.
bool IsBareFileName(const QString& name);

inline constexpr qint64 kMaxExtractedBytes = qint64(1) << 30;

// Extracts every entry of the ZIP archive into `folder` (ending in '/') under its
// bare file name and returns those names (each once, in archive order); folders
// stored in the archive are not recreated, entries whose bare name is empty, "."
// or ".." are skipped, nothing is written outside `folder`, and an existing file
// of the same name is replaced. An archive that unpacks to more than
// `maxTotalBytes` in all, holds more than 10,000 entries, cannot be read or a file
// not written throws EStoreError with a German message; every file written until
// then is removed first.
QStringList ExtractArchive(const QString& archivePath, const QString& folder,
                           qint64 maxTotalBytes = kMaxExtractedBytes);

// Text for the shell: the argument in single quotes, safe for blanks, quotes,
// '$' and backquotes.
QString ShellQuote(const QString& text);

// Completes the template's lines: blocks of four lines (the first copied, the
// second and third filled with P, the fourth with T then P) up to a line that
// starts with a blank, from which on every line is filled with T; "%s" takes the
// next argument and "%%" gives '%'. P and T are the program's folder and the
// temporary folder, both ending in '/', inserted shell-quoted. Then the restart
// line (the program started in the background) when `restart`, and always the
// line that removes the script itself. With `cleanupFiles` (bare names in the
// temporary folder), two lines come first that remove those files and the script
// whenever the script ends, also when it stops early.
QStringList FillInstallScript(const QStringList& templateLines, const QString& programFolder,
                              const QString& tempFolder, const QString& programPath, bool restart,
                              const QStringList& cleanupFiles = {});

enum class TPrepareResult { Prepared, ArchiveMissing };

// The whole preparation in `tempFolder` (ending in '/'): the archive
// `tempFolder + zipFileName` must exist and carry a valid signature under
// `publicKey` (otherwise it is deleted and reported as missing; an empty key
// passes nothing); it is extracted, "Update.bat" is read, completed and written
// back with LF line ends, and the archive is deleted. Of the extracted files only
// those the template names stay, and the script removes them when it ends; the
// others are removed at once. A missing "Update.bat" or a failed extraction
// throws EStoreError; nothing is prepared then, and neither the archive nor
// anything extracted from it is left.
TPrepareResult PrepareInstallation(const QString& tempFolder, const QString& zipFileName,
                                   const QString& signatureBase64, const QString& programPath,
                                   bool restart, const QByteArray& publicKey,
                                   qint64 maxExtractedBytes = kMaxExtractedBytes);

}  // namespace dorvanta
