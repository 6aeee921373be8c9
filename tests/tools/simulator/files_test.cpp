// The simulator's file tree: lengths, ranges and the ways a transfer breaks,
// checked with libcurl on the wire (status, headers, bytes received).

#include "simulator.h"

#include <curl/curl.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <thread>

#include <fcntl.h>
#include <unistd.h>

namespace zavmo::test {
namespace {

struct Fetch
{
    CURLcode code = CURLE_OK;
    long status = 0;
    std::map<std::string, std::string> headers; // lower-case names
    std::string body;
    size_t bodySize = 0;
    long elapsedMs = 0;
};

struct FetchOptions
{
    std::string range; // value of a Range header
    bool head = false;
    bool keepBody = true;
    long timeoutMs = 5000;
};

size_t onBody(char* data, size_t size, size_t count, void* user)
{
    auto* f = static_cast<std::pair<Fetch*, bool>*>(user);
    f->first->bodySize += size * count;
    if (f->second)
        f->first->body.append(data, size * count);
    return size * count;
}

size_t onHeader(char* data, size_t size, size_t count, void* user)
{
    const std::string line(data, size * count);
    const size_t colon = line.find(':');
    if (colon != std::string::npos) {
        std::string name = line.substr(0, colon);
        for (char& c : name)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        std::string value = line.substr(colon + 1);
        value.erase(0, value.find_first_not_of(' '));
        value.erase(value.find_last_not_of("\r\n") + 1);
        (*static_cast<std::map<std::string, std::string>*>(user))[name] = value;
    }
    return size * count;
}

Fetch fetch(const std::string& url, const std::string& caFile, const FetchOptions& options = FetchOptions())
{
    static const CURLcode initialised = curl_global_init(CURL_GLOBAL_DEFAULT);
    (void)initialised;
    Fetch f;
    std::pair<Fetch*, bool> sink(&f, options.keepBody);
    CURL* curl = curl_easy_init();
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_PATH_AS_IS, 1L);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_NOPROXY, "*");
    curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, options.timeoutMs);
    curl_easy_setopt(curl, CURLOPT_CAINFO, caFile.c_str());
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, onBody);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &sink);
    curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, onHeader);
    curl_easy_setopt(curl, CURLOPT_HEADERDATA, &f.headers);
    if (options.head)
        curl_easy_setopt(curl, CURLOPT_NOBODY, 1L);
    if (!options.range.empty())
        curl_easy_setopt(curl, CURLOPT_RANGE, options.range.c_str());
    const auto start = std::chrono::steady_clock::now();
    f.code = curl_easy_perform(curl);
    f.elapsedMs = static_cast<long>(
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count());
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &f.status);
    curl_easy_cleanup(curl);
    return f;
}

std::string pattern(size_t n)
{
    std::string s(n, '\0');
    for (size_t i = 0; i < n; ++i)
        s[i] = static_cast<char>((i * 131 + i / 251) & 0xff);
    return s;
}

long residentPeakKiB(pid_t pid)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind("VmHWM:", 0) == 0)
            return std::stol(line.substr(6));
    return -1;
}

class FileTreeTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        sim_ = new Simulator();
        std::filesystem::create_directories(sim_->filesRoot() + "/pkg/7");
        content_ = pattern(300000);
        std::ofstream(sim_->filesRoot() + "/pkg/7/Update.zip", std::ios::binary) << content_;
        std::ofstream(sim_->filesRoot() + "/empty.bin", std::ios::binary);
    }
    static void TearDownTestSuite()
    {
        delete sim_;
        sim_ = nullptr;
    }
    void SetUp() override { sim_->reset(); }

    static std::string url(const std::string& path, bool https = false)
    {
        return (https ? sim_->httpsOrigin() : sim_->httpOrigin()) + path;
    }
    static Fetch get(const std::string& path, const FetchOptions& options = FetchOptions(), bool https = false)
    {
        return fetch(url(path, https), sim_->caFile(), options);
    }

    static Simulator* sim_;
    static std::string content_;
};

Simulator* FileTreeTest::sim_ = nullptr;
std::string FileTreeTest::content_;

const char* const kFile = "/files/pkg/7/Update.zip";

TEST_F(FileTreeTest, ServesWholeFilesWithTheirLength)
{
    for (bool https : {false, true}) {
        Fetch f = get(kFile, FetchOptions(), https);
        ASSERT_EQ(f.code, CURLE_OK) << curl_easy_strerror(f.code);
        EXPECT_EQ(f.status, 200);
        EXPECT_EQ(f.headers["content-length"], std::to_string(content_.size()));
        EXPECT_EQ(f.headers["accept-ranges"], "bytes");
        EXPECT_EQ(f.headers.count("content-range"), 0u);
        EXPECT_TRUE(f.body == content_);
    }
    FetchOptions head;
    head.head = true;
    Fetch h = get(kFile, head);
    EXPECT_EQ(h.status, 200);
    EXPECT_EQ(h.headers["content-length"], std::to_string(content_.size()));
    EXPECT_EQ(h.bodySize, 0u);

    Fetch empty = get("/files/empty.bin");
    EXPECT_EQ(empty.code, CURLE_OK);
    EXPECT_EQ(empty.status, 200);
    EXPECT_EQ(empty.headers["content-length"], "0");

    const auto records = sim_->waitForRequests("files", 4, 5000);
    ASSERT_EQ(records.size(), 4u);
    EXPECT_EQ(records[0]["file"], "pkg/7/Update.zip");
    EXPECT_EQ(records[1]["scheme"], "https");
    EXPECT_EQ(records[2]["method"], "HEAD");
}

TEST_F(FileTreeTest, AnswersSingleRanges)
{
    const std::string size = std::to_string(content_.size());
    struct Case
    {
        const char* range;
        size_t first, last;
    } cases[] = {
        {"1000-", 1000, content_.size() - 1},
        {"0-9", 0, 9},
        {"-10", content_.size() - 10, content_.size() - 1},
        {"299990-400000", 299990, content_.size() - 1},
    };
    for (const Case& c : cases) {
        FetchOptions o;
        o.range = c.range;
        Fetch f = get(kFile, o, c.first == 0);
        ASSERT_EQ(f.code, CURLE_OK) << c.range;
        EXPECT_EQ(f.status, 206) << c.range;
        EXPECT_EQ(f.headers["content-range"],
                  "bytes " + std::to_string(c.first) + "-" + std::to_string(c.last) + "/" + size)
            << c.range;
        EXPECT_EQ(f.headers["content-length"], std::to_string(c.last - c.first + 1)) << c.range;
        EXPECT_TRUE(f.body == content_.substr(c.first, c.last - c.first + 1)) << c.range;
    }
    // The form without a blank after the colon, as the launcher writes it.
    const auto records = sim_->waitForRequests("files", 4, 5000);
    ASSERT_EQ(records.size(), 4u);
    EXPECT_EQ(records[0]["headers"]["range"], "bytes=1000-");
}

TEST_F(FileTreeTest, RefusesUnsatisfiableRangesWithTheSize)
{
    for (const char* range : {"300000-", "999999-1000000", "-0"}) {
        FetchOptions o;
        o.range = range;
        Fetch f = get(kFile, o);
        EXPECT_EQ(f.status, 416) << range;
        EXPECT_EQ(f.headers["content-range"], "bytes */300000") << range;
    }
    FetchOptions o;
    o.range = "0-";
    EXPECT_EQ(get("/files/empty.bin", o).status, 416);
}

TEST_F(FileTreeTest, FindsNothingOutsideTheTree)
{
    std::ofstream(sim_->folder() + "/secret.txt") << "secret";
    for (const char* path : {"/files/missing.bin", "/files/pkg/7", "/files/pkg/7/", "/files/../secret.txt",
                             "/files/pkg/../../secret.txt", "/files/", "/files//pkg/7/Update.zip"}) {
        Fetch f = get(path);
        EXPECT_EQ(f.status, 404) << path;
        EXPECT_EQ(f.body.find("secret"), std::string::npos) << path;
    }
}

TEST_F(FileTreeTest, FailureModes)
{
    // 200 with the whole file to a ranged request.
    sim_->setMode("files", "full");
    FetchOptions ranged;
    ranged.range = "1000-";
    Fetch f = get(kFile, ranged);
    EXPECT_EQ(f.status, 200);
    EXPECT_EQ(f.headers.count("content-range"), 0u);
    EXPECT_TRUE(f.body == content_);

    sim_->setMode("files", "nolength");
    for (bool https : {false, true}) {
        f = get(kFile, FetchOptions(), https);
        EXPECT_EQ(f.code, CURLE_OK) << curl_easy_strerror(f.code);
        EXPECT_LT(f.elapsedMs, 1500); // the close ends it, not the 2 s keep-alive
        EXPECT_EQ(f.status, 200);
        EXPECT_EQ(f.headers.count("content-length"), 0u);
        EXPECT_EQ(f.headers.count("transfer-encoding"), 0u);
        EXPECT_TRUE(f.body == content_);
    }

    sim_->setMode("files", "redirect:/files/empty.bin");
    f = get(kFile);
    EXPECT_EQ(f.status, 302);
    EXPECT_EQ(f.headers["location"], "/files/empty.bin");

    // A cut part-way: the length was promised, the rest never comes; a
    // request that starts at the cut gets the rest.
    sim_->setMode("files", "cutat:100000");
    for (bool https : {false, true}) {
        f = get(kFile, FetchOptions(), https);
        EXPECT_EQ(f.code, CURLE_PARTIAL_FILE) << curl_easy_strerror(f.code);
        EXPECT_EQ(f.headers["content-length"], "300000");
        EXPECT_TRUE(f.body == content_.substr(0, 100000)) << f.body.size();
    }
    ranged.range = "100000-";
    f = get(kFile, ranged);
    EXPECT_EQ(f.code, CURLE_OK);
    EXPECT_TRUE(f.body == content_.substr(100000));

    // A stall part-way holds the connection until the client gives up.
    sim_->setMode("files", "stallat:5000");
    FetchOptions shortWait;
    shortWait.timeoutMs = 1000;
    f = get(kFile, shortWait);
    EXPECT_EQ(f.code, CURLE_OPERATION_TIMEDOUT);
    EXPECT_EQ(f.body.size(), 5000u);
    EXPECT_GE(f.elapsedMs, 900);

    for (const char* bad : {"throttle:0", "cutat:", "cutat:-1", "stallat:x", "redirect:", "nolength:1"})
        EXPECT_THROW(sim_->setMode("files", bad), std::runtime_error) << bad;
    EXPECT_EQ(sim_->mode("files"), "stallat:5000");
}

TEST_F(FileTreeTest, ResetReleasesAStalledBody)
{
    sim_->setMode("files", "stallat:0");
    std::thread resetter([] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        sim_->reset();
    });
    Fetch f = get(kFile);
    resetter.join();
    EXPECT_EQ(f.code, CURLE_PARTIAL_FILE);
    EXPECT_LT(f.elapsedMs, 3000);
}

TEST_F(FileTreeTest, Throttles)
{
    sim_->setMode("files", "throttle:1000000");
    Fetch f = get(kFile);
    EXPECT_EQ(f.code, CURLE_OK);
    EXPECT_TRUE(f.body == content_);
    EXPECT_GE(f.elapsedMs, 200); // 300000 bytes at 1 MB/s, the last block unpaced
    EXPECT_LT(f.elapsedMs, 3000);
}

TEST_F(FileTreeTest, StreamsLargeFilesWithoutHoldingThem)
{
    // Sparse: large on paper, cheap on disk.
    const std::string path = sim_->filesRoot() + "/large.bin";
    const long long size = (5LL << 30) + 123;
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::ftruncate(fd, size), 0);
    ::close(fd);

    FetchOptions tail;
    tail.range = std::to_string(size - 10) + "-";
    Fetch f = get("/files/large.bin", tail, true);
    EXPECT_EQ(f.status, 206);
    EXPECT_EQ(f.headers["content-range"],
              "bytes " + std::to_string(size - 10) + "-" + std::to_string(size - 1) + "/" + std::to_string(size));
    EXPECT_EQ(f.body, std::string(10, '\0'));

    // 256 MiB pass through without the simulator's memory growing with them
    // (from where it stands: a sanitizer's runtime adds its own share).
    const long before = residentPeakKiB(sim_->pid());
    FetchOptions part;
    part.range = "0-" + std::to_string((256LL << 20) - 1);
    part.keepBody = false;
    part.timeoutMs = 20000;
    Fetch big = get("/files/large.bin", part);
    EXPECT_EQ(big.code, CURLE_OK);
    EXPECT_EQ(big.bodySize, 256u << 20);
    EXPECT_LT(residentPeakKiB(sim_->pid()) - before, 64 * 1024);
}

} // namespace
} // namespace zavmo::test
