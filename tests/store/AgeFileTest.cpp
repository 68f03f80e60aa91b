// Files this program writes and reads itself: round trips, fresh randomness, and
// refusals of damaged or hostile files without work or leftovers.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sodium.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <optional>

#include "store/AgeFile.h"
#include "support/TempDir.h"

namespace dorvanta::age {
namespace {

using testing::Hex;
using testing::ReadBytes;
using testing::TempDir;
using testing::WriteBytes;

const char* Name(Failure kind) {
    return std::array{"Header", "Hmac", "Payload", "NoMatch"}.at(static_cast<int>(kind));
}

constexpr int kFastWork = 10;

// Counts what the reader takes from the bytes; Size() may be made to lie.
class TCountingSource final : public TSource {
  public:
    explicit TCountingSource(std::string_view bytes, std::int64_t sizeError = 0)
        : inner_(bytes), size_(bytes.size() + sizeError) {}
    std::size_t Read(char* buf, std::size_t n) override {
        const std::size_t got = inner_.Read(buf, n);
        Taken += got;
        return got;
    }
    std::uint64_t Size() const override { return size_; }
    std::uint64_t Taken = 0;

  private:
    TMemorySource inner_;
    std::uint64_t size_;
};

// The failure reading gives, or nullopt; the message in *message.
std::optional<Failure> Refusal(TSource& source, std::string_view passphrase,
                               std::string* message = nullptr) {
    std::string out;
    try {
        Decrypt(source, passphrase, out);
    } catch (const EAgeError& e) {
        if (message) *message = e.what();
        return e.Kind();
    }
    return std::nullopt;
}

std::optional<Failure> Refusal(const std::string& bytes, std::string_view passphrase,
                               std::string* message = nullptr) {
    TMemorySource source(bytes);
    return Refusal(source, passphrase, message);
}

// Where the n-th line of the header starts (0: the intro line).
std::size_t LineStart(const std::string& file, int n) {
    std::size_t pos = 0;
    while (n-- > 0) pos = file.find('\n', pos) + 1;
    return pos;
}

std::string Payload(std::size_t size) {
    std::string p(size, '\0');
    for (std::size_t i = 0; i < size; ++i) p[i] = static_cast<char>(i * 131 + i / 251);
    return p;
}

TEST(AgeFile, RoundTripsAroundTheChunkSize) {
    TempDir dir;
    // The format's chunks hold 64 KiB of plaintext; an empty payload is one empty chunk.
    const struct {
        std::size_t size, chunks;
    } cases[] = {{0, 1}, {1, 1}, {65535, 1}, {65536, 1}, {65537, 2}, {196608, 3}, {196609, 4}};
    for (const auto [size, chunks] : cases) {
        SCOPED_TRACE(size);
        const std::string plain = Payload(size);
        const std::string file = Encrypt(plain,
                                         "Geheimnis-\xC3\x84"
                                         "1",
                                         kFastWork);
        // One stanza line, one body line, the MAC line; then nonce and sealed chunks.
        EXPECT_EQ(file.size(), LineStart(file, 4) + 16 + size + 16 * chunks);
        EXPECT_TRUE(IsEncrypted(file));

        std::string out = "stale";
        TMemorySource memory(file);
        Decrypt(memory,
                "Geheimnis-\xC3\x84"
                "1",
                out);
        EXPECT_TRUE(out == plain);

        // The same through a file descriptor, as the program reads a collection.
        WriteBytes(dir.File("f.age"), file);
        const int fd = ::open(dir.File("f.age").c_str(), O_RDONLY);
        ASSERT_GE(fd, 0);
        TFdSource fdSource(fd, file.size());
        out = "stale";
        Decrypt(fdSource,
                "Geheimnis-\xC3\x84"
                "1",
                out);
        ::close(fd);
        EXPECT_TRUE(out == plain);
    }
}

TEST(AgeFile, EveryFileGetsItsOwnSaltNonceAndKey) {
    const std::string a = Encrypt("gleich", "pw", kFastWork);
    const std::string b = Encrypt("gleich", "pw", kFastWork);
    TMemorySource sa(a), sb(b);
    const THeader ha = ReadHeader(sa), hb = ReadHeader(sb);
    ASSERT_EQ(ha.Stanzas.size(), 1u);
    EXPECT_EQ(ha.Stanzas[0].Type, "scrypt");
    EXPECT_EQ(ha.Stanzas[0].Args.at(1), "10");
    EXPECT_EQ(CheckPassphraseHeader(ha), kFastWork);
    EXPECT_NE(ha.Stanzas[0].Args.at(0), hb.Stanzas[0].Args.at(0));  // salt
    EXPECT_NE(a.substr(ha.Length, 16), b.substr(hb.Length, 16));    // nonce
    EXPECT_NE(a.substr(ha.Length + 16), b.substr(hb.Length + 16));  // key stream
}

TEST(AgeFile, RecognisesOnlyItsIntroLine) {
    const struct {
        std::string bytes;
        bool encrypted;
    } cases[] = {
        {"age-encryption.org/v1\n-> scrypt", true},
        {"age-encryption.org/v1\n", true},
        {"age-encryption.org/v1", false},
        {"age-encryption.org/v2\n", false},
        {"-----BEGIN AGE ENCRYPTED FILE-----\n", false},
        {Hex("01 06 00 00"), false},
        {"", false},
    };
    for (const auto& c : cases) EXPECT_EQ(IsEncrypted(c.bytes), c.encrypted) << c.bytes;
}

// The format's chunk: 64 KiB of plaintext.
constexpr std::size_t kFormatChunk = 65536;

// A file of 2 full chunks and a short last one, encrypted once for all refusals.
const std::string& ThreeChunkFile() {
    static const std::string file = Encrypt(Payload(2 * kFormatChunk + 1000), "richtig", kFastWork);
    return file;
}

std::string Flip(std::string s, std::size_t at) {
    s.at(at) ^= 0x01;
    return s;
}

// Replaces a base64 character by another that keeps the encoding canonical.
std::string OtherBase64At(std::string s, std::size_t at) {
    s.at(at) = s[at] == 'A' ? 'B' : 'A';
    return s;
}

// Sets an unused low bit of the last character of a base64 text.
std::string WithUnusedBitSet(std::string s, std::size_t at) {
    constexpr std::string_view kAlphabet =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    s.at(at) = kAlphabet[kAlphabet.find(s[at]) | 1];
    return s;
}

std::string WithWorkFactor(const std::string& file, const std::string& factor) {
    const std::size_t line = LineStart(file, 1), eol = file.find('\n', line);
    const std::size_t space = file.rfind(' ', eol);
    return file.substr(0, space + 1) + factor + file.substr(eol);
}

TEST(AgeFile, RefusesDamagedFiles) {
    const std::string& file = ThreeChunkFile();
    const std::size_t stanza = LineStart(file, 1), body = LineStart(file, 2),
                      mac = LineStart(file, 3) + 4, nonce = LineStart(file, 4), chunk0 = nonce + 16,
                      sealed = kFormatChunk + 16;
    const struct {
        const char* what;
        std::string bytes;
        Failure kind;
        const char* passphrase = "richtig";
    } cases[] = {
        {"intro line", Flip(file, 5), Failure::Header},
        {"salt", OtherBase64At(file, stanza + 10), Failure::NoMatch},
        {"wrapped key", OtherBase64At(file, body + 5), Failure::NoMatch},
        {"MAC", OtherBase64At(file, mac + 5), Failure::Hmac},
        {"nonce", Flip(file, nonce + 3), Failure::Payload},
        {"first chunk", Flip(file, chunk0 + 100), Failure::Payload},
        {"middle chunk", Flip(file, chunk0 + sealed + 100), Failure::Payload},
        {"last chunk", Flip(file, chunk0 + 2 * sealed + 100), Failure::Payload},
        {"last chunk's tag", Flip(file, file.size() - 1), Failure::Payload},
        {"no nonce", file.substr(0, nonce), Failure::Header},
        {"half a nonce", file.substr(0, nonce + 8), Failure::Header},
        {"nonce only", file.substr(0, chunk0), Failure::Payload},
        {"cut after chunk 1", file.substr(0, chunk0 + sealed), Failure::Payload},
        {"cut after chunk 2", file.substr(0, chunk0 + 2 * sealed), Failure::Payload},
        {"cut in chunk 3", file.substr(0, file.size() - 17), Failure::Payload},
        {"cut by one byte", file.substr(0, file.size() - 1), Failure::Payload},
        {"chunk appended", file + file.substr(chunk0, sealed), Failure::Payload},
        {"one byte appended", file + 'x', Failure::Payload},
        {"wrong passphrase", file, Failure::NoMatch, "Richtig"},
        {"empty passphrase", file, Failure::NoMatch, ""},
        {"two stanzas",
         file.substr(0, body + 44) + file.substr(stanza, body + 44 - stanza) +
             file.substr(body + 44),
         Failure::Header},
        // 32 bytes are 43 characters whose last one carries two unused bits.
        {"body not canonical", WithUnusedBitSet(file, body + 42), Failure::Header},
        {"body with padding", file.substr(0, body + 43) + "=" + file.substr(body + 43),
         Failure::Header},
    };
    for (const auto& c : cases) {
        const std::optional<Failure> got = Refusal(c.bytes, c.passphrase);
        ASSERT_TRUE(got.has_value()) << c.what << ": read without complaint";
        EXPECT_STREQ(Name(*got), Name(c.kind)) << c.what;
    }
}

// Three chunks of "GEHEIM-", the last one short. The plaintext is wiped, so that
// no freed memory the tests below are given holds the marker from here.
const std::string& MarkedFile() {
    static const std::string file = [] {
        std::string plain(2 * kFormatChunk + 1000, '-');  // one allocation
        for (std::size_t i = 0; i < plain.size(); ++i) plain[i] = "GEHEIM-"[i % 7];
        std::string sealed = Encrypt(plain, "richtig", kFastWork);
        Wipe(plain);
        return sealed;
    }();
    return file;
}

// Whether any byte of the string's memory, up to its capacity, is still plaintext.
bool HoldsPlaintext(const std::string& s) {
    return std::string_view(s.data(), s.capacity()).find("GEHEIM") != std::string_view::npos;
}

// The chunks decrypted before the failing one are wiped from the output, whose
// memory stays allocated: none of its bytes, up to its capacity, hold plaintext.
TEST(AgeFile, AFailingChunkLeavesNoPlaintextInTheOutput) {
    const std::string& file = MarkedFile();
    const std::size_t chunk0 = LineStart(file, 4) + 16, sealed = kFormatChunk + 16;
    const struct {
        const char* what;
        std::string bytes;
    } cases[] = {
        {"middle chunk", Flip(file, chunk0 + sealed + 100)},
        {"last chunk", Flip(file, file.size() - 1)},
        {"cut in the last chunk", file.substr(0, file.size() - 17)},
        {"one byte appended", file + 'x'},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TMemorySource source(c.bytes);
        std::string out;
        EXPECT_THROW(Decrypt(source, "richtig", out), EAgeError);
        EXPECT_TRUE(out.empty());
        ASSERT_GE(out.capacity(), kFormatChunk);  // the first chunk was appended
        EXPECT_FALSE(HoldsPlaintext(out));
    }
}

// The decrypting source's chunk buffer is wiped when the source ends, however
// far it was read and whether or not a chunk failed.
TEST(AgeFile, TheDecryptingSourceWipesItsBufferHoweverItEnds) {
    const std::string& file = MarkedFile();
    const struct {
        const char* what;
        std::string bytes;
        std::size_t read;  // bytes read before it ends; then Finish()
    } cases[] = {
        {"read whole", file, std::size_t(-1)},
        {"read in part", file, 10},
        {"last chunk fails", Flip(file, file.size() - 1), std::size_t(-1)},
        {"one byte appended", file + 'x', std::size_t(-1)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::string buffer;
        TMemorySource source(c.bytes);
        const THeader header = ReadHeader(source);
        unsigned char fileKey[kFileKeySize];
        UnwrapFileKey(header, "richtig", fileKey);
        std::size_t read = 0;
        try {
            TDecryptingSource plain(source, header, fileKey, &buffer);
            char piece[10];
            while (read < c.read) {
                const std::size_t n = plain.Read(piece, std::min(sizeof piece, c.read - read));
                if (n == 0) break;
                read += n;
            }
            if (read < c.read) plain.Finish();
        } catch (const EAgeError&) {
        }
        EXPECT_GE(read, 10u);
        ASSERT_GE(buffer.capacity(), kFormatChunk);
        EXPECT_FALSE(HoldsPlaintext(buffer));
    }
}

bool LooksGerman(const std::string& message) {
    for (const char* english :
         {"work factor", "too ", " the ", "invalid", "unsupported", "error"}) {
        if (message.find(english) != std::string::npos) return false;
    }
    for (const char* german : {"ä", "ö", "ü", "ß", "Datei", "nicht", " ist", " zu ", " der ",
                               " die ", " das ", " ein"}) {
        if (message.find(german) != std::string::npos) return true;
    }
    return false;
}

TEST(AgeFile, RefusesWorkFactorsBeyondTheLimitBeforeDerivingAnything) {
    const std::string& file = ThreeChunkFile();
    const struct {
        const char* factor;
        int limit;
        bool accepted;
    } cases[] = {
        {"20", 20, true}, {"21", 20, false}, {"255", 20, false},
        {"10", 10, true}, {"11", 10, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.factor);
        const std::string changed = WithWorkFactor(file, c.factor);
        TMemorySource source(changed);
        const THeader header = ReadHeader(source);
        if (c.accepted) {
            EXPECT_EQ(CheckPassphraseHeader(header, c.limit), std::stoi(c.factor));
            continue;
        }
        try {
            CheckPassphraseHeader(header, c.limit);
            ADD_FAILURE() << "accepted";
        } catch (const EAgeError& e) {
            EXPECT_EQ(e.Kind(), Failure::Header);
            EXPECT_NE(std::string(e.what()).find(c.factor), std::string::npos) << e.what();
            EXPECT_TRUE(LooksGerman(e.what())) << e.what();
        }
        if (c.limit == 20) {  // the whole reading's limit: it stops there too
            std::string message;
            EXPECT_EQ(Refusal(changed, "richtig", &message), Failure::Header);
            EXPECT_NE(message.find(c.factor), std::string::npos) << message;
        }
    }
}

TEST(AgeFile, AHugeHeaderLineIsRefusedWithoutReadingIt) {
    const std::string huge(10 * 1024 * 1024, 'A');
    const std::string& file = ThreeChunkFile();
    const std::size_t body = LineStart(file, 2);
    const struct {
        const char* where;
        std::string bytes;
    } cases[] = {
        {"intro line", huge},
        {"stanza line", "age-encryption.org/v1\n-> scrypt " + huge},
        {"body line", file.substr(0, body) + huge},
        {"MAC line", file.substr(0, LineStart(file, 3)) + "--- " + huge},
    };
    for (const auto& c : cases) {
        TCountingSource source(c.bytes);
        EXPECT_EQ(Refusal(source, "richtig"), Failure::Header) << c.where;
        EXPECT_LE(source.Taken, 64u * 1024) << c.where;
    }
}

// The size is fstat's, taken before reading: a file that grew or shrank since
// must still give its exact plaintext or a refusal, never a corrupt buffer.
TEST(AgeFile, ASourceSizeThatIsWrongNeverCorruptsThePlaintext) {
    const std::string& file = ThreeChunkFile();
    const std::string plain = Payload(2 * kFormatChunk + 1000);
    const std::int64_t whole = static_cast<std::int64_t>(file.size());
    for (const std::int64_t error : {std::int64_t{-1000}, std::int64_t{-70000}, -whole,
                                     std::int64_t{1}, std::int64_t{70000}}) {
        SCOPED_TRACE(error);
        TCountingSource source(file, error);
        std::string out;
        try {
            Decrypt(source, "richtig", out);
            EXPECT_TRUE(out == plain);
        } catch (const EAgeError& e) {
            EXPECT_NE(std::string(e.what()), "");
        }
    }
}

}  // namespace
}  // namespace dorvanta::age
