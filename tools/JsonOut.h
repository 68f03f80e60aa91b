#pragma once
// The JSON that dump and search print, written straight into one large buffer:
// a big collection is mostly strings, and each must cost neither an allocation
// nor a library JSON document. The text is byte for byte what Qt's compact
// QJsonDocument writes for the same strings, so the output never changed when
// this writer replaced it.

#include <cstdint>
#include <ostream>
#include <string>
#include <string_view>

namespace dorvanta::cli {

// A JSON string literal, quotes included, of Windows-1252 text.
std::string JsonStringOf(std::string_view cp1252);

// A date as dump writes it: the shortest text that reads back as the same
// double, in decimal or exponent form (1e+05) whichever is shorter, decimal on
// a tie; -0 as 0; NaN and infinities as null. This is QByteArray::number(value,
// 'g', QLocale::FloatingPointShortest) with null for what JSON cannot hold.
std::string JsonNumberOf(double value);

class TJsonOut {
  public:
    // Output goes to `out` in blocks of about kBlock bytes.
    static constexpr std::size_t kBlock = std::size_t(1) << 20;

    explicit TJsonOut(std::ostream& out);
    TJsonOut(const TJsonOut&) = delete;
    TJsonOut& operator=(const TJsonOut&) = delete;

    void Raw(std::string_view text);
    void String(std::string_view cp1252);
    void Number(double value);
    void Integer(std::int64_t value);

    // Hands everything to the stream and flushes it. A failed write (a full
    // disk) throws EStoreError(kMsgWriteError), here or at the block that
    // failed, so that a lost output is never reported as success. Whatever is
    // still buffered when the writer dies without Finish() is dropped.
    void Finish();

  private:
    // A pointer to at least `bytes` free bytes at the end of the buffer.
    char* Room(std::size_t bytes);
    void Flush();

    std::ostream& out_;
    std::string buffer_;
    std::size_t used_ = 0;
};

}  // namespace dorvanta::cli
