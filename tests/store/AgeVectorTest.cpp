#include <fcntl.h>
#include <gtest/gtest.h>
#include <sodium.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <map>
#include <optional>

#include "store/AgeFile.h"
#include "support/TempDir.h"

namespace dorvanta::age {
namespace {

using testing::Hex;
using testing::ReadBytes;
using testing::TempDir;
using testing::WriteBytes;

const std::filesystem::path kVectorDir = DORVANTA_AGE_VECTORS;

std::string Sha256Hex(const std::string& bytes) {
    unsigned char digest[crypto_hash_sha256_BYTES];
    crypto_hash_sha256(digest, reinterpret_cast<const unsigned char*>(bytes.data()),
                       bytes.size());
    char hex[2 * crypto_hash_sha256_BYTES + 1];
    sodium_bin2hex(hex, sizeof hex, digest, sizeof digest);
    return hex;
}

const char* Name(Failure kind) {
    return std::array{"Header", "Hmac", "Payload", "NoMatch"}.at(static_cast<int>(kind));
}

// ---- The public vectors -------------------------------------------------------------

// A vector: "key: value" lines, an empty line, the age file.
struct TVector {
    std::string Name;
    std::map<std::string, std::string> Fields;
    std::string Age;
};

// The age file of a vector stored zlib-compressed (the long stream vectors).
std::string Inflate(const std::string& packed) {
    z_stream z{};
    if (inflateInit(&z) != Z_OK) throw std::runtime_error("inflateInit");
    std::string out;
    char buf[1 << 16];
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(packed.data()));
    z.avail_in = static_cast<uInt>(packed.size());
    int rc = Z_OK;
    while (rc == Z_OK) {
        z.next_out = reinterpret_cast<Bytef*>(buf);
        z.avail_out = sizeof buf;
        rc = inflate(&z, Z_NO_FLUSH);
        out.append(buf, sizeof buf - z.avail_out);
    }
    inflateEnd(&z);
    if (rc != Z_STREAM_END) throw std::runtime_error("damaged zlib stream");
    return out;
}

TVector ReadVector(const std::filesystem::path& path) {
    const std::string bytes = ReadBytes(path.string());
    TVector v{path.filename().string(), {}, {}};
    const std::size_t end = bytes.find("\n\n");
    if (end == std::string::npos) throw std::runtime_error("no empty line after the fields");
    v.Age = bytes.substr(end + 2);
    std::size_t pos = 0;
    while (pos <= end) {
        const std::size_t eol = bytes.find('\n', pos);
        const std::string line = bytes.substr(pos, eol - pos);
        const std::size_t colon = line.find(": ");
        if (colon == std::string::npos) throw std::runtime_error("malformed field: " + line);
        v.Fields[line.substr(0, colon)] = line.substr(colon + 2);
        pos = eol + 1;
    }
    return v;
}

std::vector<std::string> VectorNames() {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(kVectorDir, ec)) {
        const std::string name = entry.path().filename().string();
        if (name != "README.md") names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    return names;
}

// What reading the vector should give: nullopt for success.
std::optional<Failure> Expected(const std::string& expect) {
    static const std::map<std::string, std::optional<Failure>> kinds = {
        {"success", std::nullopt},
        {"header failure", Failure::Header},
        {"HMAC failure", Failure::Hmac},
        {"payload failure", Failure::Payload},
        {"no match", Failure::NoMatch},
    };
    const auto it = kinds.find(expect);
    if (it == kinds.end()) throw std::runtime_error("unknown expect: " + expect);
    return it->second;
}

TEST(AgeVectors, TheFolderHoldsEveryGroup) {
    const std::vector<std::string> names = VectorNames();
    for (const char* prefix : {"scrypt", "stream_", "hmac_", "stanza_", "header_crlf",
                               "version_unsupported", "empty"}) {
        EXPECT_TRUE(std::any_of(names.begin(), names.end(),
                                [&](const std::string& n) { return n.starts_with(prefix); }))
            << "no vector " << prefix << "* in " << kVectorDir;
    }
}

class AgeVector : public ::testing::TestWithParam<std::string> {};

TEST_P(AgeVector, ReadsAsExpected) {
    TVector v = ReadVector(kVectorDir / GetParam());
    for (const auto& [key, value] : v.Fields) {
        ASSERT_TRUE(key == "expect" || key == "payload" || key == "file key" ||
                    key == "passphrase" || key == "identity" || key == "comment" ||
                    (key == "compressed" && value == "zlib"))
            << "unknown field \"" << key << "\"";
    }
    if (v.Fields.count("compressed")) v.Age = Inflate(v.Age);
    const std::optional<Failure> expected = Expected(v.Fields.at("expect"));
    TMemorySource source(v.Age);
    std::string out;
    std::optional<Failure> got;
    try {
        if (v.Name.starts_with("scrypt")) {
            Decrypt(source, v.Fields.at("passphrase"), out);
        } else {
            // Some scrypt vectors wrap a key of the wrong size; these never do.
            const std::string fileKeyBytes = Hex(v.Fields.at("file key"));
            ASSERT_EQ(fileKeyBytes.size(), kFileKeySize);
            unsigned char fileKey[kFileKeySize];
            std::copy(fileKeyBytes.begin(), fileKeyBytes.end(), fileKey);
            const THeader header = ReadHeader(source);
            VerifyHeaderMac(header, fileKey);
            DecryptPayload(source, header, fileKey, out);
            // The MAC covers exactly the bytes up to "---"; the payload follows its line.
            const std::size_t mac = v.Age.find("\n---") + 4;
            EXPECT_EQ(header.MacInput, v.Age.substr(0, mac));
            EXPECT_EQ(header.Length, v.Age.find('\n', mac) + 1);
        }
    } catch (const EAgeError& e) {
        got = e.Kind();
    }
    if (expected) {
        ASSERT_TRUE(got.has_value()) << "read although " << v.Fields.at("expect") << " expected";
        EXPECT_EQ(Name(*got), std::string(Name(*expected)));
    } else {
        ASSERT_FALSE(got.has_value()) << Name(*got);
        EXPECT_EQ(Sha256Hex(out), v.Fields.at("payload"));
    }
}

// An empty folder gives no cases at all; TheFolderHoldsEveryGroup fails then.
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(AgeVector);
INSTANTIATE_TEST_SUITE_P(Files, AgeVector, ::testing::ValuesIn(VectorNames()),
                         [](const auto& info) { return info.param; });

}  // namespace
}  // namespace dorvanta::age
