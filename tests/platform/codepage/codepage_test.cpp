#include "platform/codepage.h"

#include <gtest/gtest.h>

#include <clocale>
#include <thread>
#include <vector>

using namespace platform::codepage;

namespace {
// "直播管家" in GBK.
const std::string kGbk = "\xd6\xb1\xb2\xa5\xb9\xdc\xbc\xd2";
const std::string kUtf8 = "\xe7\x9b\xb4\xe6\x92\xad\xe7\xae\xa1\xe5\xae\xb6";
} // namespace

TEST(CodePage, ChineseRoundTripsThroughGbk)
{
    EXPECT_EQ(utf8ToAnsi(kUtf8), kGbk);
    EXPECT_EQ(ansiToUtf8(kGbk), kUtf8);
    EXPECT_EQ(utf16ToAnsi(u"直播管家"), kGbk);
    EXPECT_EQ(ansiToUtf16(kGbk), u"直播管家");
    EXPECT_EQ(wideToAnsi(L"直播管家 OBS"), kGbk + " OBS");
    EXPECT_EQ(ansiToWide(kGbk + " OBS"), L"直播管家 OBS");
    EXPECT_EQ(ansiToUtf8(""), "");
}

TEST(CodePage, UnmappableAndInvalidBecomeQuestionMarks)
{
    // An emoji and a Korean syllable have no GBK form.
    EXPECT_EQ(utf16ToAnsi(u"a\U0001F600b"), "a?b");
    EXPECT_EQ(utf8ToAnsi("x\xea\xb0\x80y"), "x?y");
    // An unpaired surrogate is invalid UTF-16.
    EXPECT_EQ(utf16ToAnsi(std::u16string(u"a") + char16_t(0xD800) + u"b"), "a?b");
    // A GBK lead byte cut off at the end.
    EXPECT_EQ(ansiToUtf8("ab\xd6"), "ab?");
    // An invalid GBK lead byte in the middle.
    EXPECT_EQ(ansiToUtf8("a\xff"
                         "b"),
              "a?b");
}

TEST(CodePage, LongTextAndLocaleUntouched)
{
    std::u16string big(20000, u'播');
    std::string gbk = utf16ToAnsi(big);
    ASSERT_EQ(gbk.size(), 40000u);
    EXPECT_EQ(ansiToUtf16(gbk), big);

    std::string before = std::setlocale(LC_ALL, nullptr);
    std::vector<std::thread> threads;
    for (int i = 0; i < 4; ++i)
        threads.emplace_back([] {
            for (int j = 0; j < 200; ++j)
                EXPECT_EQ(ansiToUtf8(kGbk), kUtf8);
        });
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(before, std::setlocale(LC_ALL, nullptr));
}
