#include "store/PdtFile.h"

#include <fcntl.h>
#include <sodium.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>

#include "store/AgeFile.h"
#include "store/Cp1252.h"
#include "store/FileIO.h"
#include "store/FileStamp.h"
#include "store/PdtReader.h"
#include "store/VectorState.h"

namespace dorvanta {
namespace {

using namespace pdt;

enum Marker : int { kMarkerGroupStart = 0, kMarkerSameGroup = 1, kMarkerEntry = 2 };

// ---- writing ----

// The file's bytes while they are written: room is made ahead in small steps
// (within the capacity reserved at the start) and filled through a pointer.
class TOutput {
  public:
    explicit TOutput(std::size_t expected) { bytes_.reserve(expected); }

    // Room for n bytes at the end; Advance tells how many were written there.
    char* Room(std::size_t n) {
        if (n > bytes_.size() - used_) bytes_.resize(used_ + std::max(n, kStep));
        return bytes_.data() + used_;
    }
    void Advance(std::size_t n) { used_ += n; }

    std::string Finish() {
        bytes_.resize(used_);
        return std::move(bytes_);
    }

  private:
    static constexpr std::size_t kStep = 64 * 1024;
    std::string bytes_;
    std::size_t used_ = 0;
};

void WriteUInt32(char* at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) at[i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

// A text as the file holds it, scrambled on the way when asked: UTF-8 when a
// byte (after scrambling) is not ASCII, else a short or a long string. The UTF-8
// goes straight to the output; a text that turns out to be ASCII moves to its
// place behind the shorter tag.
void PutText(TOutput& out, const std::string& text, bool scramble) {
    const std::size_t n = text.size();
    const auto* in = reinterpret_cast<const unsigned char*>(text.data());
    char* const head = out.Room(5 + 3 * n + 1);  // one more for the last four-byte store
    char* o = head + 5;
    // The scramble adds n + 3j + 1 to byte j.
    auto add = static_cast<unsigned char>(scramble ? n + 1 : 0);
    const unsigned char step = scramble ? 3 : 0;
    unsigned high = 0;
    for (std::size_t j = 0; j < n; ++j) {
        const auto byte = static_cast<unsigned char>(in[j] + add);
        add = static_cast<unsigned char>(add + step);
        high |= byte;
        const TUtf8OfByte& utf8 = kUtf8OfCp1252[byte];
        std::memcpy(o, &utf8, 4);
        o += utf8.Size;
    }
    if (high >= 0x80) {
        const auto size = static_cast<std::size_t>(o - (head + 5));
        head[0] = static_cast<char>(kUtf8String);
        WriteUInt32(head + 1, static_cast<std::uint32_t>(size));
        out.Advance(5 + size);
    } else if (n <= 255) {
        head[0] = static_cast<char>(kString);
        head[1] = static_cast<char>(n);
        std::memmove(head + 2, head + 5, n);
        // No copy of the text's tail stays behind its end: the plain bytes of an
        // encrypted file are wiped up to their end only.
        std::memset(head + 2 + n, 0, 3);
        out.Advance(2 + n);
    } else {
        head[0] = static_cast<char>(kLString);
        WriteUInt32(head + 1, static_cast<std::uint32_t>(n));
        out.Advance(5 + n);
    }
}

void PutMarker(TOutput& out, Marker m) {
    char* at = out.Room(2);
    at[0] = static_cast<char>(kInt8);
    at[1] = static_cast<char>(m);
    out.Advance(2);
}

void PutDate(TOutput& out, double date) {
    std::uint64_t bits;
    std::memcpy(&bits, &date, sizeof bits);
    char* at = out.Room(9);
    at[0] = static_cast<char>(kDate);
    for (int i = 0; i < 8; ++i) at[1 + i] = static_cast<char>((bits >> (8 * i)) & 0xFF);
    out.Advance(9);
}

// ---- reading ----

// Unscrambles in place: a long text is not held twice.
void Unscramble(std::string& text) {
    auto* bytes = reinterpret_cast<unsigned char*>(text.data());
    const std::size_t n = text.size();
    auto sub = static_cast<unsigned char>(n + 1);  // n + 3j + 1 for byte j
    std::size_t j = 0;
    // Sixteen bytes at a time in a loop of fixed length, which the compiler turns
    // into one vector subtraction.
    for (; j + 16 <= n; j += 16) {
        for (unsigned k = 0; k < 16; ++k) {
            bytes[j + k] = static_cast<unsigned char>(bytes[j + k] - sub - 3 * k);
        }
        sub = static_cast<unsigned char>(sub + 48);
    }
    for (; j < n; ++j) {
        bytes[j] = static_cast<unsigned char>(bytes[j] - sub);
        sub = static_cast<unsigned char>(sub + 3);
    }
}

std::string Unscrambled(std::string text) {
    Unscramble(text);
    return text;
}

// Reads a stored text straight into its place.
void ReadScrambled(TPdtReader& reader, std::string& into) {
    into = reader.String();
    Unscramble(into);
}

// Room for one more item. The capacity doubles, but never beyond what the rest of
// the file (`remaining` bytes, records of at least `minRecord` bytes) can still
// fill; when that is near, it goes there at once. A file of many small records
// thus leaves no unused room, and its last move holds at most half the list twice.
template <typename T>
void MakeRoom(std::vector<T>& items, std::uint64_t remaining, std::uint64_t minRecord) {
    if (items.size() < items.capacity()) return;
    const std::uint64_t most = items.size() + 1 + remaining / minRecord;
    const std::uint64_t doubled = std::max<std::uint64_t>(2 * items.capacity(), 4);
    items.reserve(static_cast<std::size_t>(most <= 2 * doubled ? most : doubled));
}

// Drops a finished list's unused room when it is worth a move.
template <typename T>
void TrimRoom(std::vector<T>& items) {
    if (8 * (items.capacity() - items.size()) > items.size()) items.shrink_to_fit();
}

// Closes a descriptor however the load ends.
struct OpenFile {
    explicit OpenFile(int descriptor) : fd(descriptor) {}
    ~OpenFile() {
        if (fd >= 0) ::close(fd);
    }
    OpenFile(const OpenFile&) = delete;
    OpenFile& operator=(const OpenFile&) = delete;
    int fd;
};

// The smallest records: marker, empty name; marker, three empty texts, an 8-bit date.
constexpr std::uint64_t kMinKeyBytes = 4;
constexpr std::uint64_t kMinEntryBytes = 10;

// `passphrase`: the password an encrypted file was opened with; it replaces the
// stored one, which is then not asked for.
bool ReadDocument(TDocument& doc, TPdtReader& reader, const std::string& path,
                  const TLoadHooks& hooks, const std::string* passphrase = nullptr) {
    ClearUpperVectorState();
    doc.Keys.clear();
    doc.Keys.shrink_to_fit();  // the previous document's room
    // A pdt stream is the plain format; ReadEncrypted sets its own afterwards. (A
    // plain file opened after an encrypted one was saved encrypted before.)
    doc.Format = TDocument::TFormat::Plain;
    if (reader.Tag() != kListBegin) BadValue();
    doc.Password = Unscrambled(reader.String());
    doc.Loading = true;
    if (passphrase) doc.Password = *passphrase;

    bool accepted = true;
    if (!doc.Password.empty() && !passphrase) {
        const auto typed = hooks.AskPassword ? hooks.AskPassword(path) : std::nullopt;
        if (typed && *typed != doc.Password) {
            if (hooks.ShowWrongPassword) hooks.ShowWrongPassword();
        }
        if (!typed || *typed != doc.Password) {
            accepted = false;
            doc.Modified = false;
            if (hooks.ResetToNew) {
                hooks.ResetToNew();
            } else {
                doc.ClearDocument();
            }
        }
    }

    if (accepted) {
        while (reader.PeekTag() != kEndOfList) {
            const std::int32_t marker = reader.Integer();
            if (marker == kMarkerEntry) {
                // An entry needs a key to belong to.
                if (doc.Keys.empty()) BadValue();
                // Read in its place in the list: no entry is moved once read. (A
                // failed read fails the whole load, which drops the document.)
                auto& data = doc.Keys.back().Data;
                MakeRoom(data, reader.Remaining(), kMinEntryBytes);
                TDataRec& rec = data.emplace_back();
                ReadScrambled(reader, rec.Title);
                ReadScrambled(reader, rec.Value);
                ReadScrambled(reader, rec.Info);
                rec.Date = reader.Date();
            } else {
                TDataKey key;
                if (marker == kMarkerGroupStart) {
                    key.Parent = reader.String();
                    // The same name again is still the same group: share its text.
                    if (!doc.Keys.empty() && doc.Keys.back().Parent == key.Parent) {
                        key.Parent = doc.Keys.back().Parent;
                    }
                } else {
                    // Any other marker continues the previous key's group.
                    if (doc.Keys.empty()) BadValue();
                    key.Parent = doc.Keys.back().Parent;
                }
                ReadScrambled(reader, key.Name);
                if (!doc.Keys.empty()) TrimRoom(doc.Keys.back().Data);
                MakeRoom(doc.Keys, reader.Remaining(), kMinKeyBytes);
                doc.Keys.push_back(std::move(key));
            }
        }
        if (!doc.Keys.empty()) TrimRoom(doc.Keys.back().Data);
    }

    doc.Loading = false;
    if (hooks.RebuildViews) hooks.RebuildViews();
    return accepted;
}

// Runs work through the runner, handing its exception back to this thread.
void RunCaptured(const TBusyRunner& runBusy, const std::function<void()>& work) {
    std::exception_ptr error;
    const std::function<void()> captured = [&] {
        try {
            work();
        } catch (...) {
            error = std::current_exception();
        }
    };
    if (runBusy) {
        runBusy(captured);
    } else {
        captured();
    }
    if (error) std::rethrow_exception(error);
}

[[noreturn]] void ThrowAgeError(const age::EAgeError& e, const std::string& path) {
    throw EStoreError(FormatMessage(e.what(), path));
}

// An age file: the header is checked first, so a file no password can open is
// refused without a prompt; then the password, the slow key derivation and the
// payload, which must be a readable pdt stream.
bool ReadEncrypted(TDocument& doc, age::TSource& source, const std::string& path,
                   const TLoadHooks& hooks) {
    age::THeader header;
    try {
        header = age::ReadHeader(source);
        age::CheckPassphraseHeader(header);
    } catch (const age::EAgeError& e) {
        ThrowAgeError(e, path);
    }
    doc.Loading = true;
    const auto typed = hooks.AskPassword ? hooks.AskPassword(path) : std::nullopt;
    bool wrong = typed && typed->empty();  // no file has an empty passphrase
    std::string plain;
    const age::TWipeGuard plainGuard(plain);
    if (typed && !wrong) {
        std::string passphrase = Cp1252ToUtf8(*typed);
        const age::TWipeGuard passphraseGuard(passphrase);
        try {
            RunCaptured(hooks.RunBusy, [&] {
                unsigned char key[age::kFileKeySize];
                age::UnwrapFileKey(header, passphrase, key);
                try {
                    age::VerifyHeaderMac(header, key);
                    age::DecryptPayload(source, header, key, plain);
                } catch (...) {
                    sodium_memzero(key, sizeof key);
                    throw;
                }
                sodium_memzero(key, sizeof key);
            });
        } catch (const age::EAgeError& e) {
            if (e.Kind() != age::Failure::NoMatch) ThrowAgeError(e, path);
            wrong = true;
        }
    }
    if (!typed || wrong) {
        if (wrong && hooks.ShowWrongPassword) hooks.ShowWrongPassword();
        doc.Modified = false;
        if (hooks.ResetToNew) {
            hooks.ResetToNew();
        } else {
            doc.ClearDocument();
        }
        doc.Loading = false;
        if (hooks.RebuildViews) hooks.RebuildViews();
        return false;
    }
    TPdtReader reader(plain);
    try {
        ReadDocument(doc, reader, path, hooks, &*typed);
    } catch (const EStoreError&) {
        // Authentic, but not a collection.
        throw EStoreError(FormatMessage(age::kMsgDamaged, path));
    }
    doc.Format = TDocument::TFormat::Encrypted;
    return true;
}

int g_workFactor = age::kWriteWorkFactor;

// Bytes after the list's end that a load still digests. A file holds none unless
// something else appended them; gigabytes of them (a file grown by mistake) are
// not read, and the file is then remembered by its status alone.
constexpr std::uint64_t kMaxDigestedTail = 1 << 20;

// The stamp of a file whose status was `before` when it was opened and whose
// bytes up to the current position `digest` has taken in: the rest is digested too.
TFileStamp StampOfRest(int fd, const struct stat& before, TContentDigest& digest) {
    // Where the file cannot be followed to its end, it is remembered as unsettled:
    // a later save over it asks.
    TFileStamp unsettled = StatusStamp(before, before);
    unsettled.Settled = false;
    const off_t position = ::lseek(fd, 0, SEEK_CUR);
    if (position < 0) return unsettled;
    std::uint64_t size = static_cast<std::uint64_t>(position);
    struct stat after {};
    if (static_cast<std::uint64_t>(before.st_size) > size + kMaxDigestedTail) {
        if (::fstat(fd, &after) != 0) return unsettled;
        return StatusStamp(before, after);
    }
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n == 0) break;
        if (n < 0) {
            if (errno == EINTR) continue;
            return unsettled;
        }
        digest.Update(buffer, static_cast<std::size_t>(n));
        size += static_cast<std::uint64_t>(n);
        // A file that keeps growing is not followed.
        if (size > static_cast<std::uint64_t>(before.st_size) + kMaxDigestedTail) return unsettled;
    }
    if (::fstat(fd, &after) != 0) return unsettled;
    return MakeStamp(before, after, digest.Final(), size);
}

}  // namespace

int EncryptionWorkFactor() {
    return g_workFactor;
}

void SetEncryptionWorkFactor(int factor) {
    g_workFactor = factor;
}

std::string ScrambleText(const std::string& text) {
    const std::size_t n = text.size();
    std::string out(n, '\0');
    const auto* in = reinterpret_cast<const unsigned char*>(text.data());
    auto* bytes = reinterpret_cast<unsigned char*>(out.data());
    auto add = static_cast<unsigned char>(n + 1);  // n + 3j + 1 for byte j
    for (std::size_t j = 0; j < n; ++j) {
        bytes[j] = static_cast<unsigned char>(in[j] + add);
        add = static_cast<unsigned char>(add + 3);
    }
    return out;
}

std::string UnscrambleText(const std::string& text) {
    return Unscrambled(text);
}

std::string EncodeDocument(const TDocument& doc) {
    ClearUpperVectorState();
    // Room reserved once from the texts: markers, tags and lengths add at most 6
    // bytes per text and 11 per record, and a scrambled text written as UTF-8
    // takes about one and a half times its bytes (twice at most in practice;
    // more only makes the output grow once).
    std::size_t size = 64 + doc.Password.size() * 3;
    for (std::size_t k = 0; k < doc.Keys.size(); ++k) {
        const TDataKey& key = doc.Keys[k];
        // A parent is written once per group, not once per key.
        const bool start = doc.IsGroupStart(static_cast<std::int32_t>(k));
        size += 32 + ((start ? key.Parent.size() : 0) + key.Name.size()) * 2;
        for (const TDataRec& rec : key.Data) {
            size += 40 + (rec.Title.size() + rec.Value.size() + rec.Info.size()) * 2;
        }
    }
    TOutput out(size);
    *out.Room(1) = static_cast<char>(kListBegin);
    out.Advance(1);
    PutText(out, doc.Password, true);
    for (std::size_t k = 0; k < doc.Keys.size(); ++k) {
        const TDataKey& key = doc.Keys[k];
        if (doc.IsGroupStart(static_cast<std::int32_t>(k))) {
            PutMarker(out, kMarkerGroupStart);
            PutText(out, key.Parent, false);
        } else {
            PutMarker(out, kMarkerSameGroup);
        }
        PutText(out, key.Name, true);
        for (const TDataRec& rec : key.Data) {
            PutMarker(out, kMarkerEntry);
            PutText(out, rec.Title, true);
            PutText(out, rec.Value, true);
            PutText(out, rec.Info, true);
            PutDate(out, rec.Date);
        }
    }
    *out.Room(1) = static_cast<char>(kEndOfList);
    out.Advance(1);
    return out.Finish();
}

std::string EncodeFile(const TDocument& doc, const TBusyRunner& runBusy) {
    if (doc.Format == TDocument::TFormat::Plain) return EncodeDocument(doc);
    if (doc.Password.empty()) throw EStoreError(kMsgNoPassphrase);
    std::string plain = EncodeDocument(doc);
    const age::TWipeGuard plainGuard(plain);
    std::string passphrase = Cp1252ToUtf8(doc.Password);
    const age::TWipeGuard passphraseGuard(passphrase);
    std::string file;
    RunCaptured(runBusy, [&] { file = age::Encrypt(plain, passphrase, g_workFactor); });
    return file;
}

TFileStamp SaveDocument(const TDocument& doc, const std::string& path,
                        const TBusyRunner& runBusy) {
    const std::string bytes = EncodeFile(doc, runBusy);
    TContentDigest digest;
    struct stat written {};
    TWriteOptions options;
    options.Digest = &digest;
    options.Written = &written;
    switch (WriteFileAtomically(path, bytes, options)) {
        case AtomicWriteResult::Ok:
            return MakeStamp(written, written, digest.Final(), bytes.size());
        case AtomicWriteResult::CannotCreate:
            throw EStoreError(FormatMessage(kMsgCannotCreate, path));
        case AtomicWriteResult::WriteFailed:
            throw EStoreError(kMsgWriteError);
    }
    throw EStoreError(kMsgWriteError);
}

bool LoadDocument(TDocument& doc, const std::string& path, const TLoadHooks& hooks) {
    if (hooks.ClearSelection) hooks.ClearSelection();
    doc.Keys.clear();
    doc.Stamp = {};
    // Not blocking in open: a pipe's name must fail like a folder, not wait for a writer.
    const OpenFile file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    struct stat st {};
    if (file.fd < 0 || ::fstat(file.fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        throw EStoreError(FormatMessage(kMsgCannotOpen, path));
    }
    ::fcntl(file.fd, F_SETFL, ::fcntl(file.fd, F_GETFL) & ~O_NONBLOCK);
    char intro[age::kIntro.size() + 1];
    const ssize_t got = ::pread(file.fd, intro, sizeof intro, 0);
    // The bytes are digested as they are read; what the document does not need
    // (after the list's end) is read for the digest alone.
    TContentDigest digest;
    bool accepted;
    if (got > 0 && age::IsEncrypted(std::string_view(intro, static_cast<std::size_t>(got)))) {
        age::TFdSource source(file.fd, static_cast<std::uint64_t>(st.st_size), &digest);
        accepted = ReadEncrypted(doc, source, path, hooks);
    } else {
        // Lengths in the file are checked against its size as it was opened.
        TPdtReader reader(file.fd, static_cast<std::uint64_t>(st.st_size), &digest);
        accepted = ReadDocument(doc, reader, path, hooks);
    }
    if (accepted) doc.Stamp = StampOfRest(file.fd, st, digest);
    return accepted;
}

bool LoadDocumentFromBytes(TDocument& doc, const std::string& bytes, const std::string& path,
                           const TLoadHooks& hooks) {
    if (age::IsEncrypted(bytes)) {
        age::TMemorySource source(bytes);
        return ReadEncrypted(doc, source, path, hooks);
    }
    TPdtReader reader(bytes);
    return ReadDocument(doc, reader, path, hooks);
}

}  // namespace dorvanta
