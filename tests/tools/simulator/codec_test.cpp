// The simulator's decoders and fixed texts, without a running server.

#include "codec.h"
#include "files.h"
#include "mode.h"

#include <gtest/gtest.h>

#include <map>
#include <sstream>

namespace zavmo::sim {
namespace {

using Fields = std::vector<std::pair<std::string, std::string>>;

TEST(SimCodec, PercentDecodeKeepsPlusAndBadSequences)
{
    EXPECT_EQ(percentDecode("a+b"), "a+b");
    EXPECT_EQ(percentDecode("%2B%2f%3D%20"), "+/= ");
    EXPECT_EQ(percentDecode("%e4%B8%AD"), "\xE4\xB8\xAD");
    // Not a sequence: left as it is, including at the very end.
    EXPECT_EQ(percentDecode("%"), "%");
    EXPECT_EQ(percentDecode("100%"), "100%");
    EXPECT_EQ(percentDecode("%4"), "%4");
    EXPECT_EQ(percentDecode("%G1%41"), "%G1A");
    EXPECT_EQ(percentDecode("%00x"), std::string("\0x", 2));
}

TEST(SimCodec, ParseFormSplitsOnFirstEqualsAndKeepsOrder)
{
    EXPECT_EQ(parseForm("multi=ab+c/d==&v=1.0"), (Fields{{"multi", "ab+c/d=="}, {"v", "1.0"}}));
    EXPECT_EQ(parseForm("a=%26&&b&c=x=y&a=2"), (Fields{{"a", "&"}, {"b", ""}, {"c", "x=y"}, {"a", "2"}}));
    EXPECT_TRUE(parseForm("").empty());
    EXPECT_TRUE(parseForm("&&").empty());
    // A query is the form where "+" is a blank.
    EXPECT_EQ(parseQuery("q=a+b%2Bc"), (Fields{{"q", "a b+c"}}));
}

TEST(SimCodec, Base64MatchesKnownVectorsAndRoundTripsBytes)
{
    const std::map<std::string, std::string> vectors = {{"", ""},
                                                        {"f", "Zg=="},
                                                        {"fo", "Zm8="},
                                                        {"foo", "Zm9v"},
                                                        {"foob", "Zm9vYg=="},
                                                        {"fooba", "Zm9vYmE="},
                                                        {"foobar", "Zm9vYmFy"}};
    for (const auto& [plain, encoded] : vectors) {
        EXPECT_EQ(base64Encode(plain), encoded);
        EXPECT_EQ(base64Decode(encoded), plain) << encoded;
    }
    std::string bytes;
    for (int i = 0; i < 256; ++i)
        bytes.push_back(static_cast<char>(i));
    for (size_t n = 0; n < bytes.size(); n += 37)
        EXPECT_EQ(base64Decode(base64Encode(bytes.substr(n))), bytes.substr(n));
    EXPECT_EQ(base64Decode("+/+/"), std::string("\xFB\xFF\xBF", 3));
}

TEST(SimCodec, Base64RejectsWhatAStrictDecoderMust)
{
    for (const char* bad : {"Zg", "Zg=", "Zm9v Yg==", "Zm9v\nYg==", "Zm-_", "Z===", "Zg==Zg==", "Zm=v", "Zg=A", "@@@@"})
        EXPECT_FALSE(base64Decode(bad).has_value()) << bad;
}

TEST(SimCodec, MediaTypeAndUtf8)
{
    EXPECT_EQ(mediaType(" Application/X-WWW-Form-Urlencoded ; charset=UTF-8"), "application/x-www-form-urlencoded");
    EXPECT_EQ(mediaType(""), "");
    EXPECT_TRUE(isValidUtf8("plain \xE4\xB8\xAD \xF0\x9F\x98\x80"));
    EXPECT_FALSE(isValidUtf8("\xC0\xAF"));         // overlong "/"
    EXPECT_FALSE(isValidUtf8("\xED\xA0\x80"));     // surrogate
    EXPECT_FALSE(isValidUtf8("\xE4\xB8"));         // cut short
    EXPECT_FALSE(isValidUtf8("\xF4\x90\x80\x80")); // above U+10FFFF
    EXPECT_FALSE(isValidUtf8("\xFF"));
}

TEST(SimMode, ParsesEveryModeAndRefusesTheRest)
{
    for (const char* text : {"success", "badjson", "http500", "cut", "stall", "error:0", "error:7", "error:-1",
                             "delay:0", "delay:250", "reply:foreign", "reply:id_2"})
        EXPECT_EQ(parseMode(text).value_or(Mode{Mode::Success, 99}).text(), text);
    EXPECT_EQ(parseMode("error:7")->value, 7);
    EXPECT_EQ(parseMode("delay:250")->kind, Mode::Delay);
    EXPECT_EQ(parseMode("reply:foreign")->variant, "foreign");
    for (const char* text : {"", "Success", "error", "error:", "error:x", "error:1.5", "error:99999999999", "delay:-1",
                             "delay:120001", "stall:5", "cut ", "reply:", "reply:a b", "reply:x/y"})
        EXPECT_FALSE(parseMode(text).has_value()) << text;
}

TEST(SimFiles, HostsFileNamesEveryKindEnvironmentAndScheme)
{
    std::istringstream in(hostsIni(1111, 2222));
    std::map<std::string, std::string> values;
    std::string line, section;
    while (std::getline(in, line)) {
        if (line.empty())
            continue;
        if (line.front() == '[') {
            section = line.substr(1, line.size() - 2);
            continue;
        }
        const size_t eq = line.find('=');
        ASSERT_NE(eq, std::string::npos) << line;
        EXPECT_TRUE(values.emplace(section + "/" + line.substr(0, eq), line.substr(eq + 1)).second) << line;
    }
    const char* kinds[] = {"passport",  "client_api",  "tool_api",   "web",     "creator",  "customer_service",
                           "analytics", "picture_cdn", "static_cdn", "release", "obs_site", "group_invite"};
    for (const char* kind : kinds) {
        for (int env = 0; env < 3; ++env) {
            const std::string key = std::string(kind) + "/env" + std::to_string(env);
            EXPECT_EQ(values[key + ".http"], "127.0.0.1:1111") << key;
            EXPECT_EQ(values[key + ".https"], "127.0.0.1:2222") << key;
        }
    }
    EXPECT_EQ(values["crash_ftp/host"], "127.0.0.1");
    EXPECT_EQ(values.size(), 12u * 6 + 1);
}

} // namespace
} // namespace zavmo::sim
