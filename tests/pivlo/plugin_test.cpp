// The exports' core driven with an installer's stack: what the pops leave,
// the events that reach the collector, the install-log folder, and Destory.
// Many events through the built library: plugin_library_test.
#include "plugin.h"

#include "pivlotest.h"
#include "simulator.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <set>

namespace pivlo {
namespace {

namespace nsis = platform::nsis;
using test::readFile;
using test::records;

nsis::CallContext contextOf(nsis::Installer& installer)
{
    return {installer.stringSize(), nullptr, installer.stackTop()};
}

TEST(PopNsisString, BoundedToItsBufferAndFreesTheItem)
{
    nsis::Installer installer;
    char buffer[kPopBufferSize];
    std::memset(buffer, 'q', sizeof buffer);
    EXPECT_EQ(PopNsisString(contextOf(installer), buffer, sizeof buffer), 1);
    EXPECT_EQ(PopNsisString(nsis::CallContext{}, buffer, sizeof buffer), 1);
    EXPECT_EQ(buffer[0], 'q'); // nothing changed
    installer.push(std::string(1000, 'a'));
    installer.push("top");
    EXPECT_EQ(PopNsisString(contextOf(installer), buffer, sizeof buffer), 0);
    EXPECT_STREQ(buffer, "top");
    EXPECT_EQ(PopNsisString(contextOf(installer), buffer, sizeof buffer), 0);
    EXPECT_EQ(std::string(buffer), std::string(kPopBufferSize - 1, 'a'));
    EXPECT_EQ(installer.depth(), 0u);
}

class PluginTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        std::filesystem::remove_all(TemporaryFolder() + "/ZavmoToolNew");
        sim_.setEnvironment();
        limits_.connectMs = limits_.idleMs = 10000;
        limits_.totalMs = 20000;
    }
    void TearDown() override { DestroyTextLog(); }

    zavmo::test::Simulator sim_;
    PostLimits limits_;
    nsis::Installer installer_;
};

TEST_F(PluginTest, PopsKeepEarlierValuesAndEachEventItsOwn)
{
    Plugin plugin(CollectorUrl(), limits_);
    const auto record = [&](std::vector<std::string> args) {
        for (auto it = args.rbegin(); it != args.rend(); ++it)
            installer_.push(*it);
        plugin.RecordPoint(contextOf(installer_));
    };
    record({});                              // the initial values
    record({"step1"});                       // action only
    record({"step2", "2.0.1", "web_nlive"}); // all three
    record({"", std::string(300, 'v')});     // an empty action, a cut version
    record({"step3", "3.0", "c3", "extra"}); // one too many: left on the stack
    EXPECT_EQ(installer_.depth(), 1u);
    plugin.Destory(contextOf(installer_));
    EXPECT_EQ(plugin.eventThreads(), 0u);

    const auto events = sim_.requests("pelk2");
    ASSERT_EQ(events.size(), 5u);
    std::multiset<std::string> got;
    for (const Json::Value& e : events)
        got.insert(e["decoded"]["ac"].asString() + "|" + e["decoded"]["av"].asString() + "|" +
                   e["decoded"]["ct"].asString());
    const std::multiset<std::string> want = {"install|0|web_olvane", "step1|0|web_olvane", "step2|2.0.1|web_nlive",
                                             "|" + std::string(259, 'v') + "|web_nlive", "step3|3.0|c3"};
    EXPECT_EQ(got, want);
    EXPECT_EQ(plugin.parameters().action, "step3");
}

TEST_F(PluginTest, InitMakesAPrivateFolderAndRefusesOneThatIsNotOurs)
{
    const std::string temp = TemporaryFolder();
    EXPECT_EQ(InstallLogFolder(), temp + "/ZavmoToolNew/InstallLog");
    Plugin plugin(CollectorUrl(), limits_);
    plugin.Init(contextOf(installer_));
    struct stat st
    {
    };
    ASSERT_EQ(::lstat((temp + "/ZavmoToolNew").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    ASSERT_EQ(::lstat(InstallLogFolder().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    // Again, with the folder there and too open: narrowed.
    ::chmod(InstallLogFolder().c_str(), 0777);
    plugin.Init(contextOf(installer_));
    ASSERT_EQ(::lstat(InstallLogFolder().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    plugin.Destory(contextOf(installer_));

    // A link planted at the folder's name is not followed.
    const std::string elsewhere = test::tempFolder("elsewhere");
    std::filesystem::remove_all(temp + "/ZavmoToolNew");
    ASSERT_EQ(::symlink(elsewhere.c_str(), (temp + "/ZavmoToolNew").c_str()), 0);
    EXPECT_FALSE(MakePrivateLogFolder(temp));
    ::unlink((temp + "/ZavmoToolNew").c_str());
    // Nor one that belongs to another user.
    ASSERT_EQ(::mkdir((temp + "/ZavmoToolNew").c_str(), 0700), 0);
    if (::geteuid() == 0) {
        ASSERT_EQ(::chown((temp + "/ZavmoToolNew").c_str(), 65534, 65534), 0);
        EXPECT_FALSE(MakePrivateLogFolder(temp));
        // Refused: the event is still sent, and nothing is written anywhere.
        installer_.push("refused");
        plugin.Init(contextOf(installer_));
        plugin.RecordPoint(contextOf(installer_));
        plugin.Destory(contextOf(installer_));
        EXPECT_FALSE(std::filesystem::exists(temp + "/ZavmoToolNew/InstallLog"));
        EXPECT_EQ(sim_.waitForRequests("pelk2", 1, 5000).size(), 1u);
    }
    std::filesystem::remove_all(temp + "/ZavmoToolNew");
    EXPECT_TRUE(std::filesystem::is_empty(elsewhere));

    // A temporary folder that is not usable as such gives way to /tmp.
    const std::string saved = std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "";
    ::setenv("TMPDIR", ("/" + std::string(240, 'd')).c_str(), 1);
    EXPECT_EQ(TemporaryFolder(), "/tmp");
    ::setenv("TMPDIR", "relative", 1);
    EXPECT_EQ(TemporaryFolder(), "/tmp");
    ::setenv("TMPDIR", (saved + "//").c_str(), 1);
    EXPECT_EQ(TemporaryFolder(), saved);
    // A temporary folder that is missing is made, owner only.
    ::setenv("TMPDIR", (saved + "/gone/deeper").c_str(), 1);
    plugin.Init(contextOf(installer_));
    plugin.Destory(contextOf(installer_));
    EXPECT_TRUE(std::filesystem::is_directory(InstallLogFolder()));
    ASSERT_EQ(::lstat((saved + "/gone").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    ::setenv("TMPDIR", saved.c_str(), 1);
}

TEST_F(PluginTest, RecordBeforeInitLogsInTheCurrentFolder)
{
    const std::string here = test::tempFolder("cwd");
    const auto cwd = std::filesystem::current_path();
    std::filesystem::current_path(here);
    {
        Plugin plugin(CollectorUrl(), limits_);
        plugin.RecordPoint(contextOf(installer_));
        plugin.Destory(contextOf(installer_));
        // Destory without events: returns at once.
        const auto start = std::chrono::steady_clock::now();
        plugin.Destory(contextOf(installer_));
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(500));
    }
    std::filesystem::current_path(cwd);
    const auto log = records(readFile(test::datedLog(here)));
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(test::parseJson(log[0])["ac"], "install");
}

} // namespace
} // namespace pivlo
