#include <gtest/gtest.h>

#include "store/Cp1252.h"

namespace dorvanta {
namespace {

TEST(Cp1252, EveryByteRoundTripsThroughUtf8) {
    std::string all;
    for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
    const auto back = Utf8ToCp1252Strict(Cp1252ToUtf8(all));
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(*back, all);
}

TEST(Cp1252, MapsTheHighControlRowAndTheUnassignedBytes) {
    EXPECT_EQ(Cp1252ToUtf8("\x80"), "\xE2\x82\xAC");  // euro sign
    EXPECT_EQ(Cp1252ToUtf8("\x84"), "\xE2\x80\x9E");  // low double quote
    EXPECT_EQ(Cp1252ToUtf8("\xE4"), "\xC3\xA4");      // a umlaut
    for (unsigned char b : {0x81, 0x8D, 0x8F, 0x90, 0x9D}) EXPECT_EQ(Cp1252ToCodePoint(b), b);
}

TEST(Cp1252, RefusesWhatTheCodePageCannotHoldAndMalformedUtf8) {
    EXPECT_FALSE(Utf8ToCp1252Strict("\xCE\xA9"));          // Greek Omega
    EXPECT_FALSE(Utf8ToCp1252Strict("\xF0\x9F\x98\x80"));  // emoji
    EXPECT_FALSE(Utf8ToCp1252Strict("\xC3"));              // cut off
    EXPECT_FALSE(Utf8ToCp1252Strict("\xC3\x41"));          // no continuation
    EXPECT_FALSE(Utf8ToCp1252Strict("\xE0\x80\x80"));      // overlong
    EXPECT_EQ(Utf8ToCp1252Strict("Gr\xC3\xBC\xC3\x9F"
                                 "e \xE2\x82\xAC"),
              "Gr\xFC\xDF"
              "e \x80");
}

}  // namespace
}  // namespace dorvanta
