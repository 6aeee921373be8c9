#include "platform/shell.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

namespace fs = std::filesystem;
using namespace platform::shell;

namespace {

std::string readFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

bool waitForFile(const fs::path& path)
{
    for (int i = 0; i < 250; ++i) {
        if (fs::exists(path))
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return fs::exists(path);
}

class ShellTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        const char* record = std::getenv("ZAVMO_SHELL_RECORD");
        ASSERT_TRUE(record && *record) << "run through run-isolated.sh";
        record_ = record;
        fs::remove(record_);
        const char* path = std::getenv("PATH");
        oldPath_ = path ? path : "";
        dir_ = fs::path(std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp") /
               ("shell-test-" + std::to_string(getpid()));
        fs::create_directories(dir_);
    }
    void TearDown() override
    {
        setenv("ZAVMO_SHELL_RECORD", record_.c_str(), 1);
        setenv("PATH", oldPath_.c_str(), 1);
        fs::remove_all(dir_);
    }
    std::string copyBinary(const std::string& from, const fs::path& to)
    {
        fs::create_directories(to.parent_path());
        fs::copy_file(from, to, fs::copy_options::overwrite_existing);
        fs::permissions(to, fs::perms::owner_all);
        return to.string();
    }

    std::string record_;
    std::string oldPath_;
    fs::path dir_;
};

} // namespace

TEST_F(ShellTest, OpenExternalRecordsInsteadOfStarting)
{
    EXPECT_TRUE(openExternal("https://www.example.com/page?a=1&b=two words"));
    EXPECT_TRUE(openExternal("/home/user/Videos"));
    EXPECT_FALSE(openExternal(""));
    EXPECT_EQ(readFile(record_), "open https://www.example.com/page?a=1&b=two words\nopen /home/user/Videos\n");

    // A record file that cannot be written is a failure, not a silent success.
    std::ofstream(dir_ / "plain") << "x";
    setenv("ZAVMO_SHELL_RECORD", (dir_ / "plain" / "record.log").c_str(), 1);
    EXPECT_FALSE(openExternal("https://www.example.com/"));
}

TEST_F(ShellTest, OpenExternalRunsXdgOpenWithOneArgument)
{
    // A stand-in xdg-open (a copy of touch) shows what would be opened.
    unsetenv("ZAVMO_SHELL_RECORD");
    copyBinary("/bin/touch", dir_ / "bin" / "xdg-open");
    setenv("PATH", (dir_ / "bin").c_str(), 1);
    const fs::path target = dir_ / "a document; $(no shell).txt";
    EXPECT_TRUE(openExternal(target.string()));
    EXPECT_TRUE(waitForFile(target));

    // A leading '-' must not reach xdg-open as an option.
    const fs::path oldCwd = fs::current_path();
    fs::current_path(dir_);
    EXPECT_TRUE(openExternal("-dash.txt"));
    fs::current_path(oldCwd);
    EXPECT_TRUE(waitForFile(dir_ / "-dash.txt"));

    setenv("PATH", (dir_ / "empty").c_str(), 1);
    EXPECT_FALSE(openExternal("https://www.example.com/"));
}

TEST_F(ShellTest, ShellExecuteOpensNonExecutablesThroughOpenExternal)
{
    std::ofstream(dir_ / "notes.txt") << "text";
    EXPECT_FALSE(shellExecute("", "ignored", ""));
    EXPECT_TRUE(shellExecute("https://www.example.com/help", "--ignored", ""));
    EXPECT_TRUE(shellExecute(dir_.string(), "", ""));
    EXPECT_TRUE(shellExecute((dir_ / "notes.txt").string(), "x y", ""));
    EXPECT_EQ(readFile(record_), "open https://www.example.com/help\nopen " + dir_.string() + "\nopen " +
                                     (dir_ / "notes.txt").string() + "\n");
}

TEST_F(ShellTest, ShellExecuteStartsExecutableWithSplitParameters)
{
    const std::string tool = copyBinary("/bin/touch", dir_ / "tools" / "Touch Tool.exe");
    const fs::path work = dir_ / "work";
    fs::create_directories(work);
    EXPECT_TRUE(shellExecute(tool, "\"with space.txt\" plain.txt quote\\\"d.txt", work.string()));
    EXPECT_TRUE(waitForFile(work / "with space.txt"));
    EXPECT_TRUE(waitForFile(work / "plain.txt"));
    EXPECT_TRUE(waitForFile(work / "quote\"d.txt"));
    EXPECT_FALSE(fs::exists(record_));

    EXPECT_FALSE(shellExecute(tool, "x.txt", (dir_ / "missing").string()));
}
