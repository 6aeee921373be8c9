// The file logger: dated names, the record format, order, the final flush,
// cut messages, refused paths and links, and many writers at once.
#include "pivlotest.h"
#include "textlogmanager.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <regex>
#include <thread>

namespace pivlo {
namespace {

using test::datedLog;
using test::readFile;
using test::records;

std::tm at(int year, int month, int day, int hour, int minute, int second)
{
    std::tm t{};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_hour = hour;
    t.tm_min = minute;
    t.tm_sec = second;
    return t;
}

TEST(DatedFileName, StampGoesBeforeTheFilePartByPattern)
{
    const std::tm t = at(2026, 12, 8, 9, 5, 3);
    EXPECT_EQ(MakeDatedFileName(0, "/l/point.log", t), "/l/point.log");
    EXPECT_EQ(MakeDatedFileName(1, "/l/point.log", t), "/l/2026point.log");
    EXPECT_EQ(MakeDatedFileName(2, "/l/point.log", t), "/l/202612point.log");
    EXPECT_EQ(MakeDatedFileName(3, "/l/point.log", t), "/l/12-08point.log");
    EXPECT_EQ(MakeDatedFileName(4, "/l/point.log", t), "/l/12-08_09point.log");
    EXPECT_EQ(MakeDatedFileName(5, "/l/point.log", t), "/l/12-08_0905point.log");
    EXPECT_EQ(MakeDatedFileName(6, "/l/point.log", t), "/l/12-08_090503point.log");
    EXPECT_EQ(MakeDatedFileName(9, "/l/point.log", t), "/l/12-08point.log");
    EXPECT_EQ(MakeDatedFileName(-1, "/l/point.log", t), "/l/12-08point.log");
    // The later of "\" and "/" counts.
    EXPECT_EQ(MakeDatedFileName(3, "C:\\log/sub\\point.log", t), "C:\\log/sub\\12-08point.log");
    EXPECT_EQ(MakeDatedFileName(3, "C:\\log\\sub/point.log", t), "C:\\log\\sub/12-08point.log");
    EXPECT_EQ(MakeDatedFileName(3, "point.log", t), "12-08point.log");
}

class TextLogTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        folder_ = test::tempFolder("textlog");
        SetTextLogDirectory(folder_);
    }
    void TearDown() override { DestroyTextLog(); }

    std::string folder_;
};

TEST_F(TextLogTest, RecordsKeepTheirOrderAndReachTheFileOnDestruction)
{
    WriteTextLog("point.log", 3, "%s %d", "first", 1);
    WriteTextLog("point.log", 3, "second\n");
    WriteTextLog("other.log", 0, "%s", "undated");
    DestroyTextLog(); // right after the writes: the final flush writes them

    const std::string text = readFile(datedLog(folder_));
    EXPECT_TRUE(std::regex_match(
        text,
        std::regex(
            R"(\r\n\[\d\d-\d\d \d\d:\d\d:\d\d\.\d{3}\]:  first 1\r\n\[\d\d-\d\d \d\d:\d\d:\d\d\.\d{3}\]:  second\n)")))
        << text;
    EXPECT_EQ(records(readFile(folder_ + "/other.log")), std::vector<std::string>{"undated"});

    // The stamp is the local time of the write.
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    ::localtime_r(&now, &local);
    char day[32];
    std::snprintf(day, sizeof day, "[%02d-%02d ", local.tm_mon + 1, local.tm_mday);
    EXPECT_EQ(text.find(day), 2u) << text;

    // A write after destruction makes a new manager, directory ".".
    const std::string cwd = std::filesystem::current_path();
    std::filesystem::current_path(folder_ + "/..");
    WriteTextLog("again.log", 0, "x");
    DestroyTextLog();
    EXPECT_EQ(records(readFile(folder_ + "/../again.log")), std::vector<std::string>{"x"});
    std::filesystem::current_path(cwd);
}

TEST_F(TextLogTest, WriterThreadFlushesWithoutDestruction)
{
    WriteTextLog("point.log", 3, "soon");
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(4);
    while (readFile(datedLog(folder_)).empty() && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(records(readFile(datedLog(folder_))), std::vector<std::string>{"soon"});
}

TEST_F(TextLogTest, LongMessagesAreCutAndTerminated)
{
    const std::string big(kMessageBufferSize + 4096, 'x');
    WriteTextLog("big.log", 0, "%s", big.c_str());
    WriteTextLog("big.log", 0, "after");
    DestroyTextLog();
    const auto r = records(readFile(folder_ + "/big.log"));
    ASSERT_EQ(r.size(), 2u);
    EXPECT_EQ(r[0], std::string(kMessageBufferSize - 1, 'x'));
    EXPECT_EQ(r[1], "after");
}

TEST_F(TextLogTest, RefusesOverlongPathsAndLinksAtTheFileName)
{
    const std::string longName(kMaxLogPath, 'n');
    WriteTextLog(longName.c_str(), 0, "dropped");

    // A link planted at the dated name is not followed.
    const std::string target = folder_ + "/target";
    {
        std::ofstream(target) << "keep";
    }
    ASSERT_EQ(::symlink(target.c_str(), datedLog(folder_).c_str()), 0);
    WriteTextLog("point.log", 3, "not through the link");
    // A directory that is not one drops its text.
    SetTextLogDirectory(target);
    WriteTextLog("x.log", 0, "dropped");
    SetTextLogDirectory("");
    WriteTextLog("x.log", 0, "dropped");
    DestroyTextLog();
    EXPECT_EQ(readFile(target), "keep");
    EXPECT_FALSE(std::filesystem::exists(folder_ + "/" + longName.substr(0, 200)));

    SetTextLogDirectory(folder_);
    WriteTextLog("mode.log", 0, "private");
    DestroyTextLog();
    struct stat st
    {
    };
    ASSERT_EQ(::stat((folder_ + "/mode.log").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST_F(TextLogTest, ManyWritersLoseNothing)
{
    constexpr int kThreads = 8, kEach = 300;
    std::vector<std::thread> writers;
    for (int t = 0; t < kThreads; ++t)
        writers.emplace_back([t] {
            for (int i = 0; i < kEach; ++i)
                WriteTextLog("many.log", 0, "%d:%d %s", t, i,
                             std::string(static_cast<size_t>(i % 50) * 97, 'z').c_str());
        });
    for (auto& w : writers)
        w.join();
    DestroyTextLog();
    const auto r = records(readFile(folder_ + "/many.log"));
    ASSERT_EQ(r.size(), static_cast<size_t>(kThreads * kEach));
    std::vector<int> next(kThreads, 0);
    for (const std::string& rec : r) {
        int t = -1, i = -1;
        ASSERT_EQ(std::sscanf(rec.c_str(), "%d:%d", &t, &i), 2) << rec;
        ASSERT_GE(t, 0);
        ASSERT_LT(t, kThreads);
        EXPECT_EQ(i, next[t]++); // each writer's records in its order
        EXPECT_EQ(rec.size(), rec.find(' ') + 1 + static_cast<size_t>(i % 50) * 97);
    }
}

TEST(TextLogManagerSlots, DefaultSlotAndSlotSettings)
{
    {
        TextLogManager m;
        EXPECT_EQ(m.slotName(0), "Default");
        ASSERT_NE(m.slotSettings(0), nullptr);
        EXPECT_EQ(m.slotSettings(0)->logFileName, "Text.log");
        EXPECT_EQ(m.slotSettings(0)->value, 40);
        EXPECT_TRUE(m.slotSettings(0)->settingsPath.empty());
        EXPECT_EQ(m.AddDefaultSlot(), 0); // not twice
        for (int i = 1; i < TextLogManager::kSlotCount; ++i)
            ASSERT_EQ(m.AllocSlot(), i);
        EXPECT_EQ(m.AllocSlot(), -1);
        EXPECT_EQ(m.slotSettings(1)->logFileName, "TextLog.txt");
        EXPECT_EQ(m.slotSettings(1)->value, 50);
        EXPECT_EQ(m.slotSettings(TextLogManager::kSlotCount), nullptr);
    }

    const std::string folder = test::tempFolder("slots");
    SlotSettings s;
    s.value = 7;
    s.settingsPath = folder + "/missing";
    TextLogManager::ReloadSlotSettings(s);
    EXPECT_FALSE(s.found);
    s.settingsPath = folder + "/short";
    std::ofstream(s.settingsPath) << "99";
    TextLogManager::ReloadSlotSettings(s);
    EXPECT_TRUE(s.found);
    EXPECT_EQ(s.value, 7); // less than a whole block: kept
    s.settingsPath = folder + "/full";
    std::ofstream(s.settingsPath) << "123 " << std::string(300, '#');
    TextLogManager::ReloadSlotSettings(s);
    EXPECT_EQ(s.value, 123);
}

} // namespace
} // namespace pivlo
