#pragma once
// Where bytes go as they are produced: a file being written, an encryption in
// front of it, or memory. A save streams through these, so it never holds the
// whole file besides the document.

#include <cstddef>
#include <string>

namespace dorvanta {

class TByteSink {
  public:
    virtual ~TByteSink() = default;
    virtual void Write(const char* data, std::size_t size) = 0;
};

// Collects the bytes in a string.
class TStringSink final : public TByteSink {
  public:
    void Write(const char* data, std::size_t size) override { Bytes.append(data, size); }
    std::string Bytes;
};

}  // namespace dorvanta
