#include "platform/profile.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;
using namespace platform::profile;

namespace {

class ProfileTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        dir = fs::path(std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp") /
              ("profile-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir);
        file = (dir / "Settings.ini").string();
    }
    void TearDown() override { fs::remove_all(dir); }

    void put(const std::string& text)
    {
        std::ofstream out(file, std::ios::binary);
        out << text;
    }
    std::string content() const
    {
        std::ifstream in(file, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    fs::path dir;
    std::string file;
};

TEST_F(ProfileTest, ReplacesAKeyInPlaceKeepingBomLineEndsAndOtherLines)
{
    put("\xEF\xBB\xBF; tool settings\r\n[DirectX Repair]\r\nformstyle = Normal\r\nLanguage=zh-CN\r\n\r\n[Other]\r\n"
        "FormStyle=Keep\r\n");
    ASSERT_TRUE(writeString(file, "directx repair", "FormStyle", "Simple"));
    EXPECT_EQ(content(), "\xEF\xBB\xBF; tool settings\r\n[DirectX Repair]\r\nFormStyle=Simple\r\nLanguage=zh-CN\r\n\r\n"
                         "[Other]\r\nFormStyle=Keep\r\n");
    EXPECT_EQ(readString(file, "DIRECTX REPAIR", "formstyle", "-"), "Simple");
    EXPECT_EQ(readString(file, "Other", "FormStyle", "-"), "Keep");
}

TEST_F(ProfileTest, AddsMissingKeysAndSectionsAndCreatesTheFile)
{
    ASSERT_TRUE(writeString(file, "A", "k", "1"));
    EXPECT_EQ(content(), "[A]\r\nk=1\r\n");
    // A new file may hold a stream key.
    EXPECT_EQ(fs::status(file).permissions() & fs::perms::all, fs::perms::owner_read | fs::perms::owner_write);

    // A later section's key of that name is another key.
    put("[A]\nx=1\n\n[B]\ny=2\nk=b\n");
    ASSERT_TRUE(writeString(file, "A", "k", "v"));
    ASSERT_TRUE(writeString(file, "C", "z", "\"quoted\""));
    EXPECT_EQ(content(), "[A]\nx=1\nk=v\n\n[B]\ny=2\nk=b\n[C]\nz=\"quoted\"\n");
    EXPECT_EQ(readString(file, "C", "z", "-"), "quoted");
    EXPECT_EQ(readString(file, "C", "missing", "-"), "-");
}

TEST_F(ProfileTest, RefusesWhatWouldBreakTheFileOrCannotBeSaved)
{
    put("[A]\nk=1\n");
    EXPECT_FALSE(writeString(file, "A", "k", "1\r\n[Injected]"));
    EXPECT_FALSE(writeString(file, "A]", "k", "1"));
    EXPECT_FALSE(writeString(file, "A", "k=x", "1"));
    EXPECT_FALSE(writeString(file, "", "k", "1"));
    // Several keys are written together or not at all.
    EXPECT_FALSE(writeStrings(file, "A", {{"k", "2"}, {"j", "x\ny=1"}}));
    EXPECT_EQ(content(), "[A]\nk=1\n");
    ASSERT_TRUE(writeStrings(file, "Publish", {{"Mode", "0"}, {"URL", "rtmp://s"}, {"PlayPath", "key"}}));
    EXPECT_EQ(content(), "[A]\nk=1\n[Publish]\nMode=0\nURL=rtmp://s\nPlayPath=key\n");
    put("[A]\nk=1\n");
    // A path below a file: neither readable nor writable.
    EXPECT_FALSE(writeString(file + "/sub.ini", "A", "k", "1"));
    EXPECT_EQ(readString(file + "/sub.ini", "A", "k", "fallback"), "fallback");
}

TEST_F(ProfileTest, OnlyTheFirstSectionOfANameCountsForReadAndWrite)
{
    put("[Publish]\r\nMode=1\r\n[Video]\r\nFPS=30\r\n[publish]\r\nURL=rtmp://second\r\n");
    // The key a write would change is the one a read gives.
    EXPECT_EQ(readString(file, "Publish", "URL", "-"), "-");
    ASSERT_TRUE(writeString(file, "Publish", "URL", "rtmp://first"));
    EXPECT_EQ(readString(file, "Publish", "URL", "-"), "rtmp://first");
    EXPECT_EQ(content(),
              "[Publish]\r\nMode=1\r\nURL=rtmp://first\r\n[Video]\r\nFPS=30\r\n[publish]\r\nURL=rtmp://second\r\n");
}

TEST_F(ProfileTest, ARewriteKeepsTheFilesPermissions)
{
    put("[Publish]\r\nPlayPath=secret\r\n");
    fs::permissions(file, fs::perms::owner_read | fs::perms::owner_write);
    ASSERT_TRUE(writeString(file, "Publish", "PlayPath", "other"));
    EXPECT_EQ(fs::status(file).permissions() & fs::perms::all, fs::perms::owner_read | fs::perms::owner_write);
}

} // namespace
