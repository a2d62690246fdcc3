#include "sys/Numbers.h"

#include <gtest/gtest.h>

#include <climits>

namespace velmo::sys {
namespace {

TEST(Numbers, ReadTheCWayOnEveryPlatform) {
    const struct {
        const char* text;
        int base;
        long value;
    } longs[] = {
        {"378", 16, 0x378},
        {" 3BCx", 16, 0x3BC},
        {"0x1F", 16, 0x1F},
        {"0x", 16, 0},
        {"-12", 10, -12},
        {"+7z", 10, 7},
        {"zz", 16, 0},
        {"", 10, 0},
        {"99999999999999999999", 10, LONG_MAX},
        {"-99999999999999999999", 10, LONG_MIN},
    };
    for (const auto& row : longs) EXPECT_EQ(ParseLong(row.text, row.base), row.value) << row.text;
    const struct {
        const char* text;
        double value;
    } decimals[] = {
        {"11.0592", 11.0592}, {" 12e", 12.0}, {"1.5e1x", 15.0}, {"-3.", -3.0},  {".5", 0.5},
        {"0x10", 0.0},        {"inf", 0.0},   {"1e999", 0.0},   {"11,0", 11.0},
    };
    for (const auto& row : decimals) EXPECT_EQ(ParseDecimal(row.text), row.value) << row.text;
}

}  // namespace
}  // namespace velmo::sys
