// The resumable downloader against the simulator's file tree, over TLS on
// 443 and plain HTTP on 80 (mapped through ZAVMO_CONNECT_TO).

#include "downloader.h"

#include "simulatorsuite.h"
#include "widetext.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <vector>

#include <unistd.h>

namespace tresk {
namespace {

using zavmo::test::Simulator;

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::string pattern(size_t n)
{
    std::string s(n, '\0');
    for (size_t i = 0; i < n; ++i)
        s[i] = static_cast<char>((i * 7 + i / 253) & 0xff);
    return s;
}

std::string narrow(const std::u16string& text)
{
    return std::string(text.begin(), text.end());
}

struct Progress
{
    std::vector<std::pair<uint64_t, uint64_t>> calls;
    int cancelAfter = -1; // cancel once this many progress calls were made
};

void onProgress(uint64_t done, uint64_t total, uintptr_t user)
{
    reinterpret_cast<Progress*>(user)->calls.emplace_back(done, total);
}

int onCancel(uintptr_t user)
{
    const Progress* p = reinterpret_cast<Progress*>(user);
    return p->cancelAfter >= 0 && static_cast<int>(p->calls.size()) >= p->cancelAfter;
}

class DownloaderTest : public zavmo::test::SimulatorSuite
{
protected:
    static void SetUpTestSuite()
    {
        SimulatorSuite::SetUpTestSuite();
        content_ = pattern(3000000);
        std::filesystem::create_directories(sim_->filesRoot() + "/pkg/17");
        std::ofstream(sim_->filesRoot() + "/pkg/17/Update.zip", std::ios::binary) << content_;
        std::ofstream(sim_->filesRoot() + "/pkg/version.ini", std::ios::binary) << "[update]\nversion=8\n";
    }
    void SetUp() override
    {
        SimulatorSuite::SetUp();
        const char* tmp = std::getenv("TMPDIR");
        folder_ = std::string(tmp && *tmp ? tmp : "/tmp") + "/SDKUpdate" + std::to_string(++counter_);
        std::filesystem::remove_all(folder_);
    }

    DownloadParams params(const std::string& path, bool secure, Progress* progress = nullptr)
    {
        DownloadParams p;
        p.url = widen("https://127.0.0.1" + path);
        p.folder = widen(folder_);
        p.secure = secure;
        p.timeoutMs = 3000;
        if (progress) {
            p.progress = onProgress;
            p.cancel = onCancel;
            p.userData = reinterpret_cast<uintptr_t>(progress);
        }
        return p;
    }
    std::string stored(const std::string& name) const { return readFile(folder_ + "/" + name); }

    static std::string content_;
    static int counter_;
    std::string folder_;
};

std::string DownloaderTest::content_;
int DownloaderTest::counter_ = 0;

TEST_F(DownloaderTest, StoresTheBodyWithGrowingReads)
{
    for (bool secure : {true, false}) {
        SetUp();
        Progress progress;
        char16_t out[kDownloadPathCapacity] = {};
        DownloadParams p = params("/files/pkg/17/Update.zip", secure, &progress);
        p.outPath = out;
        ASSERT_TRUE(downloadFile(p)) << secure;
        EXPECT_TRUE(stored("Update.zip") == content_);
        EXPECT_EQ(narrow(out), folder_ + "/Update.zip");
        ASSERT_FALSE(progress.calls.empty());
        EXPECT_EQ(progress.calls.front().first, 65536u); // the first read is 64 KiB
        EXPECT_EQ(progress.calls.back().first, 3000000u);
        EXPECT_EQ(progress.calls.back().second, 3000000u);
        // Reads grow by 4 KiB per speed record, so later blocks are larger.
        uint64_t largest = 0;
        for (size_t i = 1; i < progress.calls.size(); ++i)
            largest = std::max(largest, progress.calls[i].first - progress.calls[i - 1].first);
        EXPECT_GT(largest, 65536u);
        EXPECT_LE(largest, 0x200000u);
    }
    const auto records = sim_->waitForRequests("files", 1, 5000);
    ASSERT_FALSE(records.empty());
    EXPECT_FALSE(records.back()["headers"].isMember("user-agent"));
    EXPECT_FALSE(records.back()["headers"].isMember("range"));
}

TEST_F(DownloaderTest, UsesOnlyHostAndPathOfTheAddress)
{
    // Scheme and port are the attempt's (443 here); the query is not sent but
    // names the file.
    DownloadParams p = params("/files/pkg/version.ini?t=1", true);
    p.url = u"http://127.0.0.1:1/files/pkg/version.ini?t=1";
    ASSERT_TRUE(downloadFile(p));
    EXPECT_EQ(stored("version.ini?t=1"), "[update]\nversion=8\n");
    const auto records = sim_->waitForRequests("files", 1, 5000);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0]["scheme"], "https");
    EXPECT_EQ(records[0]["query_string"], "");
}

TEST_F(DownloaderTest, ResumesAPartialFile)
{
    std::filesystem::create_directories(folder_);
    std::ofstream(folder_ + "/Update.zip", std::ios::binary) << content_.substr(0, 1000);
    Progress progress;
    DownloadParams p = params("/files/pkg/17/Update.zip", true, &progress);
    EXPECT_TRUE(downloadOnce(p, true, nullptr));
    EXPECT_TRUE(stored("Update.zip") == content_);
    ASSERT_FALSE(progress.calls.empty());
    EXPECT_GT(progress.calls.front().first, 1000u);
    EXPECT_EQ(progress.calls.front().second, 3000000u); // total raised by the part already here
    const auto records = sim_->waitForRequests("files", 1, 5000);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0]["headers"]["range"], "bytes=1000-");
}

TEST_F(DownloaderTest, RetriesResumeBehindACut)
{
    sim_->setMode("files", "cutat:1000000");
    DownloadParams p = params("/files/pkg/17/Update.zip", true);
    EXPECT_FALSE(downloadFile(p));                    // no retry: one attempt
    EXPECT_EQ(stored("Update.zip").size(), 1000000u); // what arrived stays

    p.retry = true;
    p.retryCount = 3;
    EXPECT_TRUE(downloadFile(p));
    EXPECT_TRUE(stored("Update.zip") == content_);
    const auto records = sim_->waitForRequests("files", 3, 5000);
    ASSERT_EQ(records.size(), 3u);
    EXPECT_FALSE(records[1]["headers"].isMember("range")); // attempt 0 starts over
    EXPECT_EQ(records[2]["headers"]["range"], "bytes=1000000-");
}

TEST_F(DownloaderTest, AWholeBodyForARangeStartsTheFileOver)
{
    std::filesystem::create_directories(folder_);
    std::ofstream(folder_ + "/Update.zip", std::ios::binary) << std::string(1000, 'Z');
    sim_->setMode("files", "full");
    EXPECT_TRUE(downloadOnce(params("/files/pkg/17/Update.zip", false), true, nullptr));
    EXPECT_TRUE(stored("Update.zip") == content_);
}

TEST_F(DownloaderTest, AFreshDownloadReplacesALongerFile)
{
    std::filesystem::create_directories(folder_);
    std::ofstream(folder_ + "/version.ini", std::ios::binary) << std::string(50, 'x');
    EXPECT_TRUE(downloadFile(params("/files/pkg/version.ini", true)));
    EXPECT_EQ(stored("version.ini"), "[update]\nversion=8\n");
}

TEST_F(DownloaderTest, RefusesRepliesThatDoNotFit)
{
    sim_->setMode("files", "nolength");
    EXPECT_FALSE(downloadFile(params("/files/pkg/version.ini", false)));
    sim_->setMode("files", "success");
    EXPECT_FALSE(downloadFile(params("/files/pkg/missing.zip", true)));
    EXPECT_EQ(stored("missing.zip"), ""); // the 404 page is not stored
    // A range beyond the file: 416.
    std::filesystem::create_directories(folder_);
    std::ofstream(folder_ + "/version.ini", std::ios::binary) << std::string(5000, 'x');
    EXPECT_FALSE(downloadOnce(params("/files/pkg/version.ini", true), true, nullptr));
    // A part that does not start where the file ends.
    std::ofstream(folder_ + "/version.ini", std::ios::binary) << "[update]";
    sim_->setMode("files", "rangefrom:0");
    EXPECT_FALSE(downloadOnce(params("/files/pkg/version.ini", true), true, nullptr));
    // Chunks that end short of the Content-Length beside them.
    sim_->setMode("files", "chunkedcut:1000000");
    EXPECT_FALSE(downloadFile(params("/files/pkg/17/Update.zip", false)));
}

TEST_F(DownloaderTest, GivesUpAfterTheInactivityLimit)
{
    sim_->setMode("files", "stallat:200000");
    DownloadParams p = params("/files/pkg/17/Update.zip", false);
    p.timeoutMs = 1000;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(downloadFile(p));
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_GE(elapsed, std::chrono::milliseconds(900));
    EXPECT_LT(elapsed, std::chrono::milliseconds(2500));
    EXPECT_EQ(stored("Update.zip").size(), 200000u);
}

TEST_F(DownloaderTest, CancelEndsTheRetries)
{
    sim_->setMode("files", "throttle:500000");
    Progress progress;
    progress.cancelAfter = 2;
    DownloadParams p = params("/files/pkg/17/Update.zip", true, &progress);
    p.retry = true; // unlimited, but a cancel stops them
    bool cancelled = false;
    EXPECT_FALSE(downloadOnce(p, false, &cancelled));
    EXPECT_TRUE(cancelled);
    progress.calls.clear();
    EXPECT_FALSE(downloadFile(p));
    EXPECT_LE(progress.calls.size(), 3u); // two blocks, then what had arrived of the third
    EXPECT_EQ(sim_->requests("files").size(), 2u);
}

TEST_F(DownloaderTest, CertificateErrorsFailTheSecureAttemptOnly)
{
    ::unsetenv("ZAVMO_CA_BUNDLE");
    DownloadParams p = params("/files/pkg/version.ini", true);
    EXPECT_FALSE(downloadFile(p));
    EXPECT_TRUE(sim_->requests("files").empty()); // never sent, never retried unverified
    EXPECT_TRUE(downloadPreferSecure(p));         // then plain HTTP on 80
    const auto records = sim_->waitForRequests("files", 1, 5000);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0]["scheme"], "http");
}

TEST_F(DownloaderTest, StoredNamesArePlainFileNames)
{
    char16_t path[kDownloadPathCapacity] = {};
    bool existed = true;
    for (const char16_t* url : {u"https://127.0.0.1/files/", u"https://127.0.0.1/files/..", u"https://127.0.0.1/.",
                                u"https://127.0.0.1/files/a\\..\\b"}) {
        EXPECT_EQ(openDownloadTarget(url, widen(folder_), path, false, &existed), -1) << narrow(url);
        EXPECT_FALSE(existed);
    }
    EXPECT_FALSE(downloadFile(params("/files/", true)));
    const std::u16string longName(300, u'a');
    EXPECT_EQ(openDownloadTarget(u"http://h/" + longName, widen(folder_), path, false, &existed), -1);

    const int fd = openDownloadTarget(u"http://h/x/name.bin", widen(folder_ + "/deep/er"), path, false, &existed);
    ASSERT_GE(fd, 0);
    ::close(fd);
    EXPECT_EQ(narrow(path), folder_ + "/deep/er/name.bin");
    EXPECT_TRUE(std::filesystem::is_regular_file(folder_ + "/deep/er/name.bin"));
    // Made private: the folder sits in the shared temporary folder.
    for (const std::string& made : {folder_, folder_ + "/deep", folder_ + "/deep/er"})
        EXPECT_EQ(std::filesystem::status(made).permissions(), std::filesystem::perms::owner_all) << made;
}

TEST_F(DownloaderTest, AFailedWriteFailsTheAttempt)
{
    std::filesystem::create_directories(sim_->filesRoot() + "/dev");
    std::ofstream(sim_->filesRoot() + "/dev/full", std::ios::binary) << content_.substr(0, 100000);
    DownloadParams p = params("/files/dev/full", false);
    p.folder = u"/dev";
    EXPECT_FALSE(downloadFile(p));
}

} // namespace
} // namespace tresk
