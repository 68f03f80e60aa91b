#include "update/Installer.h"

#include <fcntl.h>
#include <sodium.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zip.h>

#include <QFileInfo>
#include <QSet>
#include <array>
#include <cerrno>
#include <initializer_list>
#include <memory>
#include <mutex>
#include <string>

#include "store/FileIO.h"
#include "store/StoreError.h"

#ifndef DORVANTA_UPDATE_PUBLIC_KEY
#error "DORVANTA_UPDATE_PUBLIC_KEY must be defined by the build"
#endif

namespace dorvanta {

namespace {

// Limits against archives we did not write: the signature check holds the whole
// archive in memory, and extraction must not fill the disk.
constexpr qint64 kMaxArchiveSize = qint64(512) << 20;
constexpr zip_int64_t kMaxEntries = 10000;
constexpr qint64 kMaxScriptSize = qint64(4) << 20;

const char* const kScriptName = "Update.bat";

std::string Utf8(const QString& text) {
    return text.toUtf8().toStdString();
}

QString WithSlash(QString folder) {
    if (!folder.endsWith(QLatin1Char('/'))) folder += QLatin1Char('/');
    return folder;
}

bool SodiumReady() {
    static const bool ready = sodium_init() >= 0;
    return ready;
}

// Strict base64 (the standard alphabet with padding) of exactly `size` bytes;
// blanks and line ends around the text are tolerated, nothing else.
bool DecodeBase64(const QByteArray& text, std::size_t size, QByteArray& out) {
    const QByteArray b64 = text.trimmed();
    QByteArray bin(static_cast<qsizetype>(size), '\0');
    std::size_t length = 0;
    if (!SodiumReady() || b64.isEmpty() ||
        sodium_base642bin(reinterpret_cast<unsigned char*>(bin.data()), size, b64.constData(),
                          b64.size(), nullptr, &length, nullptr,
                          sodium_base64_VARIANT_ORIGINAL) != 0 ||
        length != size)
        return false;
    out = bin;
    return true;
}

// A file written beside its target and renamed over it when complete: a stale
// file is replaced whole or not at all, and a symbolic link at the target is
// replaced instead of followed.
class TReplacement {
  public:
    TReplacement(const std::string& folder, const std::string& target, mode_t mode)
        : target_(target), temp_(folder + ".dorvanta-XXXXXX") {
        fd_ = mkostemp(temp_.data(), O_CLOEXEC);
        if (fd_ >= 0 && fchmod(fd_, mode) != 0) Discard();
    }
    ~TReplacement() { Discard(); }
    TReplacement(const TReplacement&) = delete;
    TReplacement& operator=(const TReplacement&) = delete;

    bool Ok() const { return fd_ >= 0; }
    bool Write(const char* data, std::size_t size) {
        while (fd_ >= 0 && size > 0) {
            const ssize_t n = ::write(fd_, data, size);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) return false;
            data += n;
            size -= static_cast<std::size_t>(n);
        }
        return fd_ >= 0;
    }
    bool Commit() {
        if (fd_ < 0) return false;
        const bool closed = ::close(fd_) == 0;
        fd_ = -1;
        if (!closed || ::rename(temp_.c_str(), target_.c_str()) != 0) {
            ::unlink(temp_.c_str());
            return false;
        }
        return true;
    }

  private:
    void Discard() {
        if (fd_ < 0) return;
        ::close(fd_);
        ::unlink(temp_.c_str());
        fd_ = -1;
    }

    std::string target_;
    std::string temp_;
    int fd_ = -1;
};

[[noreturn]] void ThrowArchive(const std::string& pattern, const QString& archivePath) {
    throw EStoreError(FormatMessage(pattern, Utf8(archivePath)));
}

[[noreturn]] void ThrowCannotCreate(const std::string& path) {
    throw EStoreError(FormatMessage("Datei %s kann nicht erstellt werden", path));
}

struct TZipCloser {
    void operator()(zip_t* archive) const { zip_discard(archive); }
};
struct TZipFileCloser {
    void operator()(zip_file_t* file) const { zip_fclose(file); }
};

void RemoveFiles(const std::string& folder, const QStringList& names) {
    for (const QString& name : names) ::unlink((folder + Utf8(name)).c_str());
}

QStringList ExtractArchiveLimited(const QString& archivePath, const QString& folderText,
                                  qint64 maxTotalBytes) {
    const std::string folder = Utf8(WithSlash(folderText));
    struct stat st {};
    const std::string path = Utf8(archivePath);
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_size > kMaxArchiveSize)
        ThrowArchive("Das Archiv %s kann nicht gelesen werden.", archivePath);
    int error = 0;
    std::unique_ptr<zip_t, TZipCloser> archive(
        zip_open(path.c_str(), ZIP_RDONLY | ZIP_CHECKCONS, &error));
    if (!archive) ThrowArchive("Das Archiv %s kann nicht gelesen werden.", archivePath);
    const zip_int64_t count = zip_get_num_entries(archive.get(), 0);
    if (count < 0 || count > kMaxEntries)
        ThrowArchive("Das Archiv %s kann nicht gelesen werden.", archivePath);

    QStringList written;
    QSet<QString> seen;
    try {
        qint64 total = 0;
        std::array<char, 65536> buffer;
        for (zip_uint64_t i = 0; i < static_cast<zip_uint64_t>(count); ++i) {
            const char* rawName = zip_get_name(archive.get(), i, 0);
            if (!rawName) ThrowArchive("Das Archiv %s kann nicht gelesen werden.", archivePath);
            const std::string bare = ArchiveEntryFileName(rawName);
            if (bare.empty()) continue;

            // The unix mode sits in the high half of the external attributes; only
            // plain files are extracted (a link or device would not be ours).
            zip_uint8_t system = 0;
            zip_uint32_t attributes = 0;
            mode_t mode = 0600;
            if (zip_file_get_external_attributes(archive.get(), i, 0, &system, &attributes) == 0 &&
                system == ZIP_OPSYS_UNIX) {
                const mode_t unixMode = attributes >> 16;
                if ((unixMode & S_IFMT) != 0 && !S_ISREG(unixMode)) continue;
                if (unixMode & 0111) mode = 0700;  // the program file must stay runnable
            }

            std::unique_ptr<zip_file_t, TZipFileCloser> entry(zip_fopen_index(archive.get(), i, 0));
            if (!entry) ThrowArchive("Das Archiv %s kann nicht gelesen werden.", archivePath);
            const std::string target = folder + bare;
            TReplacement out(folder, target, mode);
            if (!out.Ok()) ThrowCannotCreate(target);
            for (;;) {
                const zip_int64_t n = zip_fread(entry.get(), buffer.data(), buffer.size());
                if (n < 0) ThrowArchive("Das Archiv %s kann nicht gelesen werden.", archivePath);
                if (n == 0) break;
                total += n;
                if (total > maxTotalBytes) ThrowArchive("Das Archiv %s ist zu groß.", archivePath);
                if (!out.Write(buffer.data(), static_cast<std::size_t>(n)))
                    ThrowCannotCreate(target);
            }
            if (!out.Commit()) ThrowCannotCreate(target);
            const QString name = QString::fromUtf8(bare);
            if (!seen.contains(name)) {
                seen.insert(name);
                written << name;
            }
        }
    } catch (...) {
        // Half an update is no use to anyone: what was written goes again.
        RemoveFiles(folder, written);
        throw;
    }
    return written;
}

// Fills "%s" with the next argument ("" once they are used up) and "%%" with '%';
// any other '%' stays.
QString FormatLine(const QString& line, std::initializer_list<const QString*> args) {
    QString out;
    out.reserve(line.size() + 64);
    auto next = args.begin();
    for (qsizetype i = 0; i < line.size(); ++i) {
        const QChar c = line[i];
        const QChar following = i + 1 < line.size() ? line[i + 1] : QChar();
        if (c == QLatin1Char('%') && following == QLatin1Char('s')) {
            if (next != args.end()) out += **next++;
            ++i;
        } else if (c == QLatin1Char('%') && following == QLatin1Char('%')) {
            out += QLatin1Char('%');
            ++i;
        } else {
            out += c;
        }
    }
    return out;
}

bool IsRegularFile(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

}  // namespace

// libzip already turns a NUL inside a name into a blank, so a name is never cut
// short; control characters have no place in our names and are refused as well.
std::string ArchiveEntryFileName(const std::string& name) {
    if (name.empty() || name.back() == '/' || name.back() == '\\') return {};
    const std::size_t cut = name.find_last_of("/\\");
    std::string bare = cut == std::string::npos ? name : name.substr(cut + 1);
    if (bare == "." || bare == "..") return {};
    for (const unsigned char c : bare)
        if (c < 0x20 || c == 0x7f) return {};
    return bare;
}

// A file name from the server must not lead out of the temporary folder or
// elsewhere on the server.
bool IsBareFileName(const QString& name) {
    if (name.isEmpty() || name == QLatin1String(".") || name.contains(QLatin1String("..")) ||
        name.contains(QLatin1Char('/')) || name.contains(QLatin1Char('\\')))
        return false;
    for (const QChar c : name)
        if (c.unicode() < 0x20 || c.unicode() == 0x7f) return false;
    return true;
}

QByteArray UpdatePublicKey() {
    // Empty in a build without a key of its own: then nothing verifies.
    QByteArray key;
    if (!DecodeBase64(QByteArrayLiteral(DORVANTA_UPDATE_PUBLIC_KEY), crypto_sign_PUBLICKEYBYTES,
                      key))
        return {};
    return key;
}

bool VerifyArchiveSignature(const QString& archivePath, const QString& signatureBase64,
                            const QByteArray& publicKey) {
    QByteArray signature;
    std::string bytes;
    if (publicKey.size() != crypto_sign_PUBLICKEYBYTES ||
        !DecodeBase64(signatureBase64.toLatin1(), crypto_sign_BYTES, signature) ||
        ReadWholeFile(Utf8(archivePath), bytes, kMaxArchiveSize) != ReadFileResult::Ok)
        return false;
    return crypto_sign_verify_detached(
               reinterpret_cast<const unsigned char*>(signature.constData()),
               reinterpret_cast<const unsigned char*>(bytes.data()),
               static_cast<unsigned long long>(bytes.size()),
               reinterpret_cast<const unsigned char*>(publicKey.constData())) == 0;
}

QStringList ExtractArchive(const QString& archivePath, const QString& folder,
                           qint64 maxTotalBytes) {
    return ExtractArchiveLimited(archivePath, folder, maxTotalBytes);
}

QString ShellQuote(const QString& text) {
    QString quoted = text;
    quoted.replace(QLatin1Char('\''), QLatin1String("'\\''"));
    return QLatin1Char('\'') + quoted + QLatin1Char('\'');
}

QStringList FillInstallScript(const QStringList& templateLines, const QString& programFolder,
                              const QString& tempFolder, const QString& programPath, bool restart,
                              const QStringList& cleanupFiles) {
    const QString p = ShellQuote(WithSlash(programFolder));
    const QString t = ShellQuote(WithSlash(tempFolder));
    const qsizetype count = templateLines.size();
    QStringList out;
    if (!cleanupFiles.isEmpty()) {
        // Runs however the script ends, also on an "exit 1" of the template.
        QString remove = QStringLiteral("dorvanta_cleanup() { rm -f --");
        for (const QString& name : cleanupFiles)
            remove += QLatin1Char(' ') + ShellQuote(WithSlash(tempFolder) + name);
        remove += QLatin1Char(' ') + ShellQuote(WithSlash(tempFolder) + kScriptName) +
                  QStringLiteral("; }");
        out << remove << QStringLiteral("trap dorvanta_cleanup EXIT");
    }
    qsizetype tail = count;
    for (qsizetype first = 0; first < count; first += 4) {
        if (templateLines[first].startsWith(QLatin1Char(' '))) {
            tail = first;
            break;
        }
        out << templateLines[first];
        if (first + 1 < count) out << FormatLine(templateLines[first + 1], {&p});
        if (first + 2 < count) out << FormatLine(templateLines[first + 2], {&p});
        if (first + 3 < count) out << FormatLine(templateLines[first + 3], {&t, &p});
    }
    for (qsizetype i = tail; i < count; ++i) out << FormatLine(templateLines[i], {&t});
    if (restart) out << ShellQuote(programPath) + QStringLiteral(" >/dev/null 2>&1 &");
    out << QStringLiteral("rm -f -- ") + ShellQuote(WithSlash(tempFolder) + kScriptName);
    return out;
}

TPrepareResult PrepareInstallation(const QString& tempFolder, const QString& zipFileName,
                                   const QString& signatureBase64, const QString& programPath,
                                   bool restart, const QByteArray& publicKey,
                                   qint64 maxExtractedBytes) {
    const QString folder = WithSlash(tempFolder);
    // The name comes from the server; one that names another folder is treated as
    // absent and nothing is touched.
    if (!IsBareFileName(zipFileName)) return TPrepareResult::ArchiveMissing;
    const QString archive = folder + zipFileName;
    const std::string archiveBytesPath = Utf8(archive);
    if (!IsRegularFile(archiveBytesPath)) return TPrepareResult::ArchiveMissing;
    if (!VerifyArchiveSignature(archive, signatureBase64, publicKey)) {
        ::unlink(archiveBytesPath.c_str());
        return TPrepareResult::ArchiveMissing;
    }

    // A script left from an earlier download must not pass for this archive's.
    const std::string script = Utf8(folder + kScriptName);
    ::unlink(script.c_str());
    QStringList extracted;
    try {
        extracted = ExtractArchive(archive, folder, maxExtractedBytes);

        std::string templateText;
        switch (ReadWholeFile(script, templateText, kMaxScriptSize)) {
            case ReadFileResult::Ok:
                break;
            case ReadFileResult::CannotOpen:
                throw EStoreError(FormatMessage("Datei %s kann nicht geöffnet werden", script));
            default:
                throw EStoreError(FormatMessage("Datei %s kann nicht gelesen werden", script));
        }
        const QByteArray bytes = QByteArray::fromStdString(templateText);
        QList<QByteArray> rawLines = bytes.split('\n');
        if (rawLines.last().isEmpty()) rawLines.removeLast();  // the final line end
        QStringList lines;
        for (QByteArray& line : rawLines) {
            if (line.endsWith('\r')) line.chop(1);
            lines << QString::fromUtf8(line);
        }

        // The files the script needs are those its template names; the script
        // removes them when it ends, the rest goes now.
        const QString templateString = QString::fromUtf8(bytes);
        QStringList needed, unneeded;
        for (const QString& name : extracted) {
            if (name == QLatin1String(kScriptName)) continue;
            const bool named =
                templateString.contains(name) || templateString.contains(ShellQuote(name));
            (named ? needed : unneeded) << name;
        }

        const QString programFolder = QFileInfo(programPath).absolutePath();
        const QByteArray text = (FillInstallScript(lines, WithSlash(programFolder), folder,
                                                   programPath, restart, needed)
                                     .join(QLatin1Char('\n')) +
                                 QLatin1Char('\n'))
                                    .toUtf8();
        TReplacement out(Utf8(folder), script, 0700);
        if (!out.Ok() || !out.Write(text.constData(), static_cast<std::size_t>(text.size())) ||
            !out.Commit())
            ThrowCannotCreate(script);
        RemoveFiles(Utf8(folder), unneeded);
    } catch (...) {
        // Nothing of a failed preparation stays: neither the archive nor what came out of it.
        RemoveFiles(Utf8(folder), extracted);
        ::unlink(script.c_str());
        ::unlink(archiveBytesPath.c_str());
        throw;
    }
    ::unlink(archiveBytesPath.c_str());
    return TPrepareResult::Prepared;
}

}  // namespace dorvanta
