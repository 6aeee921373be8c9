#include "quv/QuvString.h"

#include <gtest/gtest.h>

#include "platform/codepage.h"

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

// "直播管家" in UTF-8 and in GBK.
const char kUtf8[] = "\xe7\x9b\xb4\xe6\x92\xad\xe7\xae\xa1\xe5\xae\xb6";
const char kGbk[] = "\xd6\xb1\xb2\xa5\xb9\xdc\xbc\xd2";

struct Free
{
    void operator()(void* p) const { std::free(p); }
};
using Utf8 = std::unique_ptr<char, Free>;
using Wide = std::unique_ptr<char16_t, Free>;

// An exactly sized heap copy, so that a read past the NUL is caught by ASan.
std::unique_ptr<char[]> exact(const std::string& bytes)
{
    std::unique_ptr<char[]> p(new char[bytes.size() + 1]);
    std::memcpy(p.get(), bytes.c_str(), bytes.size() + 1);
    return p;
}

std::u16string toWide(const std::string& utf8)
{
    auto in = exact(utf8);
    Wide w(QuvUtf8ToWide(in.get()));
    return w ? std::u16string(w.get()) : u"<null>";
}

std::string toUtf8(const std::u16string& wide)
{
    Utf8 u(QuvWideToUtf8(wide.c_str()));
    return u ? std::string(u.get()) : "<null>";
}

} // namespace

TEST(QuvConvert, DecoderMakesPairsBeyondTheBasicPlane)
{
    EXPECT_EQ(toWide("\xE4\xB8\xAD"), u"\u4E2D");
    EXPECT_EQ(toWide("a\xC3\xA9z"), u"a\u00E9z");
    // U+1F600 and the ends of the astral range.
    EXPECT_EQ(toWide("\xF0\x9F\x98\x80"), (std::u16string{0xD83D, 0xDE00}));
    EXPECT_EQ(toWide("\xF0\x90\x80\x80"), (std::u16string{0xD800, 0xDC00}));
    EXPECT_EQ(toWide("x\xF4\x8F\xBF\xBFy"), (std::u16string{u'x', 0xDBFF, 0xDFFF, u'y'}));
    // Beyond U+10FFFF no pair can hold it.
    EXPECT_EQ(toWide("\xF4\x90\x80\x80z"), u"\uFFFDz");
    EXPECT_EQ(toWide("\xF7\xBF\xBF\xBF"), u"\uFFFD");
    // A stray continuation byte and 0xF8-0xFF lead two-byte forms.
    EXPECT_EQ(toWide("\x80\x81"), std::u16string(1, char16_t(0x0001)));
    EXPECT_EQ(toWide("\xFF\xBF"), std::u16string(1, char16_t(0xFFF)));
    // Surrogates written one by one as 3-byte forms (as older peers wrote
    // them) are read as those units.
    EXPECT_EQ(toWide("\xED\xA0\xBD\xED\xB8\x80"), u"\U0001F600");
    EXPECT_EQ(toWide(""), u"");
}

TEST(QuvConvert, DecoderStopsAtTheNulInsideCutSequences)
{
    EXPECT_EQ(toWide("a\xE4\xB8"), u"a\uFFFD");
    EXPECT_EQ(toWide("\xE4"), u"\uFFFD");
    EXPECT_EQ(toWide("ab\xF0\x9F\x98"), u"ab\uFFFD");
    EXPECT_EQ(toWide("\xF0\x9F"), u"\uFFFD");
    EXPECT_EQ(toWide("\xC3"), u"\uFFFD");
    EXPECT_EQ(toWide("x\xFC"), u"x\uFFFD");
    EXPECT_EQ(toWide("\xF8\x88"), std::u16string(1, char16_t(0xE08)));
}

TEST(QuvConvert, EncoderJoinsPairsAndReplacesUnpairedSurrogates)
{
    EXPECT_EQ(toUtf8(u"\u00E9"), "\xC3\xA9");
    EXPECT_EQ(toUtf8(u"\u4E2D"), "\xE4\xB8\xAD");
    EXPECT_EQ(toUtf8(u"A\u07FF\u0800\uFFFF"), "A\xDF\xBF\xE0\xA0\x80\xEF\xBF\xBF");
    EXPECT_EQ(toUtf8(u"\U0001F600"), "\xF0\x9F\x98\x80");
    EXPECT_EQ(toUtf8(u"\U00010000\U0010FFFF"), "\xF0\x90\x80\x80\xF4\x8F\xBF\xBF");

    // Each unpaired surrogate becomes U+FFFD: a low one first, a high one
    // last or before anything but a low one, two highs before a low.
    const std::string fffd = "\xEF\xBF\xBD";
    EXPECT_EQ(toUtf8({u'a', 0xDC00, u'b', 0xD800}), "a" + fffd + "b" + fffd);
    EXPECT_EQ(toUtf8({0xD83D, u'x'}), fffd + "x");
    EXPECT_EQ(toUtf8({0xD800, 0xD83D, 0xDE00}), fffd + "\xF0\x9F\x98\x80");
    EXPECT_EQ(toUtf8({0xDE00, 0xD83D}), fffd + fffd);
    EXPECT_EQ(toWide(toUtf8({u'a', 0xDC00})), u"a\uFFFD");
}

// Every valid UTF-8 text survives UTF-8 -> wide -> UTF-8, and both
// directions agree with iconv's UTF-16.
TEST(QuvConvert, RoundTripIsTheIdentityForValidText)
{
    std::vector<char32_t> points = {0x1,    0x7F,   0x80,    0x7FF,   0x800,   0xD7FF,  0xE000,
                                    0xFFFD, 0xFFFF, 0x10000, 0x1F600, 0x20000, 0x10FFFF};
    for (char32_t c = 0x1; c < 0x110000; c += 0x3F1)
        if (c < 0xD800 || c > 0xDFFF)
            points.push_back(c);
    std::u32string all(points.begin(), points.end());
    for (size_t i = 0; i <= all.size(); i += 7) {
        std::u32string piece = all.substr(i, 9);
        std::string utf32(reinterpret_cast<const char*>(piece.data()), piece.size() * 4);
        std::string utf8, utf16;
        ASSERT_TRUE(platform::codepage::convert("UTF-32LE", "UTF-8", utf32, utf8, "?"));
        ASSERT_TRUE(platform::codepage::convert("UTF-32LE", "UTF-16LE", utf32, utf16, std::string("?\0", 2)));
        std::u16string wide(utf16.size() / 2, u'\0');
        std::memcpy(&wide[0], utf16.data(), utf16.size());
        SCOPED_TRACE(utf8);
        EXPECT_EQ(toWide(utf8), wide);
        EXPECT_EQ(toUtf8(wide), utf8);
    }
}

TEST(QuvConvert, AnsiIsGbk)
{
    Utf8 ansi(QuvUtf8ToAnsi(kUtf8));
    EXPECT_STREQ(ansi.get(), kGbk);
    Utf8 utf8(QuvAnsiToUtf8(kGbk));
    EXPECT_STREQ(utf8.get(), kUtf8);
    Wide wide(QuvAnsiToWide(kGbk));
    EXPECT_EQ(std::u16string(wide.get()), u"直播管家");
    Utf8 back(QuvWideToAnsi(u"直播管家 OBS"));
    EXPECT_EQ(std::string(back.get()), std::string(kGbk) + " OBS");

    // Unmappable and invalid text becomes "?".
    Utf8 korean(QuvWideToAnsi(u"x\uAC00y"));
    EXPECT_STREQ(korean.get(), "x?y");
    Utf8 emoji(QuvUtf8ToAnsi("a\xF0\x9F\x98\x80"
                             "b"));
    EXPECT_STREQ(emoji.get(), "a?b");
    // An astral character has no GBK form: one "?" for the pair.
    Utf8 pair(QuvWideToAnsi(u"a\U0001F600\U00020000b"));
    EXPECT_STREQ(pair.get(), "a??b");
    Utf8 astral(QuvUtf8ToAnsi("\xF0\x9F\x98\x80\xE4\xB8\xAD"));
    EXPECT_EQ(std::string(astral.get()), "?\xD6\xD0");
    Utf8 cut(QuvAnsiToUtf8("ab\xD6"));
    EXPECT_STREQ(cut.get(), "ab?");

    // The code-page converters take null as the empty text.
    Utf8 nullAnsi(QuvWideToAnsi(nullptr));
    Wide nullWide(QuvAnsiToWide(nullptr));
    EXPECT_STREQ(nullAnsi.get(), "");
    EXPECT_EQ(nullWide.get()[0], 0);
}

TEST(QuvConvert, CharCountAndSubString)
{
    const char* text = "a\xC3\xA9\xE4\xB8\xAD";
    EXPECT_EQ(QuvUtf8CharCount(text), 3u);
    Utf8 tail(QuvUtf8SubString(text, 1, 10));
    EXPECT_STREQ(tail.get(), "\xC3\xA9\xE4\xB8\xAD");
    Utf8 middle(QuvUtf8SubString(text, 1, 2));
    EXPECT_STREQ(middle.get(), "\xC3\xA9");
    EXPECT_EQ(QuvUtf8SubString(text, 3, 5), nullptr);
    Utf8 empty(QuvUtf8SubString(text, 2, 1));
    EXPECT_STREQ(empty.get(), "");
    EXPECT_EQ(QuvUtf8SubString("", 0, 1), nullptr);
}

TEST(QuvConvert, LongLeadBytesNeverStepPastTheNul)
{
    // 5- and 6-byte lead bytes with fewer bytes behind them.
    auto five = exact("ab\xF8\x80");
    auto six = exact("\xFC");
    auto sixFull = exact("\xFC\x80\x80\x80\x80\x80z");
    EXPECT_EQ(QuvUtf8CharCount(five.get()), 3u);
    EXPECT_EQ(QuvUtf8CharCount(six.get()), 1u);
    EXPECT_EQ(QuvUtf8CharCount(sixFull.get()), 2u);
    Utf8 last(QuvUtf8SubString(five.get(), 2, 9));
    EXPECT_STREQ(last.get(), "\xF8\x80");
    EXPECT_EQ(QuvUtf8SubString(six.get(), 1, 2), nullptr);
}

TEST(QuvStringTest, TextAndNoText)
{
    QuvString none;
    EXPECT_EQ(none.GetUtf8(), nullptr);
    EXPECT_EQ(none.GetWide(), nullptr);
    EXPECT_EQ(none.GetAnsi(), nullptr);

    // Appending the empty text makes "" of no text, and changes nothing else.
    none.Append("");
    ASSERT_NE(none.GetUtf8(), nullptr);
    EXPECT_STREQ(none.GetUtf8(), "");
    QuvString text("abc");
    text.Append("");
    EXPECT_STREQ(text.GetUtf8(), "abc");

    QuvString copyOfNone{QuvString()};
    EXPECT_EQ(copyOfNone.GetUtf8(), nullptr);
    QuvString fromNull(static_cast<const QuvString*>(nullptr));
    EXPECT_EQ(fromNull.GetUtf8(), nullptr);
    text.Assign(static_cast<const QuvString*>(nullptr));
    EXPECT_STREQ(text.GetUtf8(), "abc");
    text.Assign(static_cast<const char*>(nullptr));
    EXPECT_EQ(text.GetUtf8(), nullptr);
}

TEST(QuvStringTest, CachesFollowTheText)
{
    QuvString s(kUtf8);
    const char16_t* wide = s.GetWide();
    EXPECT_EQ(std::u16string(wide), u"直播管家");
    EXPECT_EQ(s.GetWide(), wide);
    EXPECT_STREQ(s.GetAnsi(), kGbk);

    s.Append("!");
    EXPECT_EQ(std::u16string(s.GetWide()), u"直播管家!");
    EXPECT_EQ(std::string(s.GetAnsi()), std::string(kGbk) + "!");

    s.AssignAnsi("\xd6\xd0");
    EXPECT_STREQ(s.GetUtf8(), "\xE4\xB8\xAD");
    EXPECT_EQ(std::u16string(s.GetWide()), u"中");
    s.AppendWide(u"文");
    s.AppendAnsi("x");
    EXPECT_STREQ(s.GetUtf8(), "\xE4\xB8\xAD\xE6\x96\x87x");
    QuvString wideMade(u"é");
    EXPECT_STREQ(wideMade.GetUtf8(), "\xC3\xA9");
}

TEST(QuvStringTest, OwnTextAsArgument)
{
    QuvString s("abc");
    s.Append(s.GetUtf8());
    EXPECT_STREQ(s.GetUtf8(), "abcabc");
    s.Assign(s.GetUtf8() + 3);
    EXPECT_STREQ(s.GetUtf8(), "abc");
    s.Append(s);
    EXPECT_STREQ(s.GetUtf8(), "abcabc");
    s.Assign(s);
    EXPECT_STREQ(s.GetUtf8(), "abcabc");
}

TEST(QuvStringTest, NarrowFormattingIsCutAndTerminated)
{
    QuvString s;
    s.Format(5, "%s-%d", "abcdefgh", 42);
    EXPECT_STREQ(s.GetUtf8(), "abcde");
    s.Format(64, "%s-%d", "ab", 42);
    EXPECT_STREQ(s.GetUtf8(), "ab-42");
    // A character cut by the limit is dropped whole.
    s.Format(4, "ab%s", "\xE4\xB8\xAD");
    EXPECT_STREQ(s.GetUtf8(), "ab");
    s.Format(5, "ab%s", "\xE4\xB8\xAD");
    EXPECT_STREQ(s.GetUtf8(), "ab\xE4\xB8\xAD");
    // Cut right behind a whole character: it stays.
    s.Format(5, "ab%sc", "\xE4\xB8\xAD");
    EXPECT_STREQ(s.GetUtf8(), "ab\xE4\xB8\xAD");
    s.Format(6, "ab%sc", "\xF0\x9F\x98\x80");
    EXPECT_STREQ(s.GetUtf8(), "ab\xF0\x9F\x98\x80");
    s.Format(5, "ab%sc", "\xF0\x9F\x98\x80");
    EXPECT_STREQ(s.GetUtf8(), "ab");
    s.Format(0, "%s", "abc");
    EXPECT_STREQ(s.GetUtf8(), "");
    s.AppendFormat(3, "%lld", 123456789012LL);
    EXPECT_STREQ(s.GetUtf8(), "123");

    // The ANSI forms take GBK arguments and keep UTF-8.
    s.FormatAnsi(64, "%s=%u", kGbk, 7u);
    EXPECT_EQ(std::string(s.GetUtf8()), std::string(kUtf8) + "=7");
    s.AppendFormatAnsi(64, "[%s]", "\xd6\xd0");
    EXPECT_EQ(std::string(s.GetUtf8()), std::string(kUtf8) + "=7[\xE4\xB8\xAD]");
}

TEST(QuvStringTest, WideFormatting)
{
    QuvString s;
    s.FormatWide(128, u"%s|%5d|%-4x|%.2f|%c|%%|%hs|%I64d|%S|%lu", u"中文", 42, 255u, 3.14159, u'é', kGbk, -9000000000LL,
                 "x", 7ul);
    EXPECT_EQ(std::u16string(s.GetWide()), u"中文|   42|ff  |3.14|é|%|直播管家|-9000000000|x|7");
    s.FormatWide(64, u"%*d|%.*s|%s|%03u|%lld|%zu|%g", 4, 7, 2, u"abcdef", static_cast<const char16_t*>(nullptr), 5u,
                 1LL << 40, size_t(12), 0.5);
    EXPECT_EQ(std::u16string(s.GetWide()), u"   7|ab|(null)|005|1099511627776|12|0.5");
    s.AppendFormatWide(64, u"+%ls", u"z");
    EXPECT_EQ(std::u16string(s.GetWide()), u"   7|ab|(null)|005|1099511627776|12|0.5+z");
    // Astral characters survive the formatter as pairs.
    s.FormatWide(16, u"[%s]", u"\U0001F600");
    EXPECT_EQ(std::u16string(s.GetWide()), u"[\U0001F600]");
}

TEST(QuvStringTest, WideFormattingCountsTheTerminator)
{
    QuvString s;
    s.FormatWide(4, u"%s", u"abcdef");
    EXPECT_STREQ(s.GetUtf8(), "abc");
    s.FormatWide(7, u"%s", u"abcdef");
    EXPECT_STREQ(s.GetUtf8(), "abcdef");
    s.FormatWide(6, u"%d", 123456);
    EXPECT_STREQ(s.GetUtf8(), "12345");
    s.FormatWide(1, u"abc");
    EXPECT_STREQ(s.GetUtf8(), "");
    s.FormatWide(0, u"abc");
    EXPECT_STREQ(s.GetUtf8(), "");
    s.AppendFormatWide(3, u"%s", u"中文字");
    EXPECT_EQ(std::u16string(s.GetWide()), u"中文");

    // A pair is never cut in two, by the limit or by a precision.
    s.FormatWide(3, u"a%s", u"\U0001F600");
    EXPECT_STREQ(s.GetUtf8(), "a");
    s.FormatWide(4, u"a%sb", u"\U0001F600");
    EXPECT_STREQ(s.GetUtf8(), "a\xF0\x9F\x98\x80");
    s.FormatWide(16, u"[%.1s|%.2s]", u"\U0001F600", u"\U0001F600");
    EXPECT_STREQ(s.GetUtf8(), "[|\xF0\x9F\x98\x80]");
}

TEST(QuvStringTest, AstralTextRoundTrips)
{
    // "主播😀" and a rare CJK character of plane 2.
    const char utf8[] = "\xE4\xB8\xBB\xE6\x92\xAD\xF0\x9F\x98\x80\xF0\xA0\x80\x80";
    const std::u16string wide = u"主播\U0001F600\U00020000";
    QuvString s(utf8);
    EXPECT_EQ(std::u16string(s.GetWide()), wide);
    EXPECT_STREQ(s.GetAnsi(), "\xD6\xF7\xB2\xA5??");
    QuvString fromWide(wide.c_str());
    EXPECT_STREQ(fromWide.GetUtf8(), utf8);
    fromWide.AssignWide(fromWide.GetWide());
    EXPECT_STREQ(fromWide.GetUtf8(), utf8);
    fromWide.AppendWide(u"\U0001F600");
    EXPECT_EQ(std::u16string(fromWide.GetWide()), wide + u"\U0001F600");
    EXPECT_EQ(QuvUtf8CharCount(utf8), 4u);
    Utf8 last(QuvUtf8SubString(utf8, 2, 3));
    EXPECT_STREQ(last.get(), "\xF0\x9F\x98\x80");
    s.FormatWide(32, u"%s!", wide.c_str());
    EXPECT_EQ(std::string(s.GetUtf8()), std::string(utf8) + "!");
}

TEST(QuvStringTest, IPv4)
{
    QuvString s;
    EXPECT_EQ(QuvIPv4ToString(0xC0A80001u, &s), &s);
    EXPECT_STREQ(s.GetUtf8(), "192.168.0.1");
    QuvIPv4ToString(0xFFFFFFFFu, &s);
    EXPECT_STREQ(s.GetUtf8(), "255.255.255.255");
    EXPECT_EQ(QuvIPv4ToString(0x7F000001u, nullptr), nullptr);
}
