#include "platform/qrcode.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <initializer_list>
#include <memory>
#include <string>
#include <utility>

namespace {

struct Freer
{
    void operator()(ZvQrSymbol* symbol) const { zvQrFree(symbol); }
};
using Symbol = std::unique_ptr<ZvQrSymbol, Freer>;

Symbol encode(const char* text, int minVersion = 1, int level = 0)
{
    return Symbol(zvQrEncode(text, minVersion, level, 3, 1));
}

bool dark(const ZvQrSymbol& symbol, int row, int column)
{
    return symbol.modules[row * symbol.width + column] & 1;
}

// The 7 x 7 finder pattern with its top-left module at (row, column): a dark
// ring, a light ring, a dark 3 x 3 core.
void expectFinder(const ZvQrSymbol& symbol, int row, int column)
{
    for (int r = 0; r < 7; ++r)
        for (int c = 0; c < 7; ++c) {
            const int ring = std::max(std::abs(r - 3), std::abs(c - 3));
            EXPECT_EQ(dark(symbol, row + r, column + c), ring != 2) << row + r << "," << column + c;
        }
}

} // namespace

TEST(QrCodeTest, SymbolHasTheLayoutAScannerLooksFor)
{
    const Symbol symbol = encode("abc/123");
    ASSERT_TRUE(symbol);
    EXPECT_EQ(symbol->version, 1);
    ASSERT_EQ(symbol->width, 21);
    expectFinder(*symbol, 0, 0);
    expectFinder(*symbol, 0, 14);
    expectFinder(*symbol, 14, 0);
    // The timing pattern between the finders alternates, dark first.
    for (int i = 8; i <= 12; ++i) {
        EXPECT_EQ(dark(*symbol, 6, i), i % 2 == 0) << i;
        EXPECT_EQ(dark(*symbol, i, 6), i % 2 == 0) << i;
    }
}

TEST(QrCodeTest, TextIsEncodedAsBytesAndTheVersionGrowsToFit)
{
    // 30 digits fit version 1 in numeric mode; as 30 bytes they need version 2.
    const Symbol digits = encode("123456789012345678901234567890");
    ASSERT_TRUE(digits);
    EXPECT_EQ(digits->width, 25);

    // 20 bytes: version 2 at level L, version 3 at level H.
    EXPECT_EQ(encode("https://a.example/q/", 1, 0)->width, 25);
    EXPECT_EQ(encode("https://a.example/q/", 1, 3)->width, 29);
    // A larger minimum version is kept; none at all picks the smallest.
    EXPECT_EQ(encode("abc", 5)->width, 37);
    EXPECT_EQ(encode("abc", 0)->width, 21);
    // Any bytes, Chinese text in UTF-8 included.
    EXPECT_TRUE(encode("扫码登录 https://127.0.0.1/scan?code=a+b/c"));
}

TEST(QrCodeTest, WhatCannotBeEncodedGivesNull)
{
    for (const auto& [text, level] :
         std::initializer_list<std::pair<const char*, int>>{{nullptr, 0}, {"", 0}, {"abc", -1}, {"abc", 4}}) {
        errno = 0;
        EXPECT_FALSE(encode(text, 1, level)) << (text ? text : "(null)") << " " << level;
        EXPECT_EQ(errno, EINVAL);
    }
    EXPECT_FALSE(encode("abc", 41));
    // Beyond the 2953 bytes of a version-40 symbol at level L.
    EXPECT_FALSE(encode(std::string(2954, 'x').c_str()));
    EXPECT_TRUE(encode(std::string(2953, 'x').c_str()));
    zvQrFree(nullptr);
}
