#include <gtest/gtest.h>

#include "store/DateTime.h"

namespace dorvanta {
namespace {

TEST(DateTime, EncodesAndDecodesKnownMoments) {
    EXPECT_DOUBLE_EQ(EncodeDateTime({2003, 1, 1, 12, 0, 0, 0}), 37622.5);
    EXPECT_DOUBLE_EQ(EncodeDateTime({1899, 12, 30}), 0.0);
    EXPECT_DOUBLE_EQ(EncodeDateTime({1899, 12, 29, 6, 0, 0, 0}), -1.25);
    const DateTimeParts p = DecodeDateTime(EncodeDateTime({2024, 2, 29, 23, 59, 59, 999}));
    EXPECT_EQ(p.year, 2024);
    EXPECT_EQ(p.month, 2);
    EXPECT_EQ(p.day, 29);
    EXPECT_EQ(p.hour, 23);
    EXPECT_EQ(p.minute, 59);
    EXPECT_EQ(p.second, 59);
    EXPECT_EQ(p.millisecond, 999);
}

TEST(DateTime, NowIsInThisCentury) {
    const double now = NowDateTime();
    EXPECT_GT(now, EncodeDateTime({2020, 1, 1}));
    EXPECT_LT(now, EncodeDateTime({2100, 1, 1}));
}

}  // namespace
}  // namespace dorvanta
