// Unpacking the update package: the folder and file rules, and what a hostile
// or damaged archive may not do.

#include "packageunzip.h"

#include "filesizelimit.h"
#include "zipbuilder.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>

namespace tresk {
namespace {

namespace fs = std::filesystem;
using test::kMadeOnUnix;
using test::readFile;
using test::unixAttributes;
using test::ZipEntry;

class PackageUnzipTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        const char* tmp = std::getenv("TMPDIR");
        base_ = fs::path(tmp && *tmp ? tmp : "/tmp") /
                (std::string("unzip-ö-") + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(base_);
        dest_ = base_ / "SDKUpdate1";
        outside_ = base_ / "outside";
        fs::create_directories(dest_);
        fs::create_directories(outside_);
        archive_ = (base_ / "Update.zip").string();
    }
    void TearDown() override { fs::remove_all(base_); }

    bool unzip(const std::vector<ZipEntry>& entries)
    {
        test::writeZip(archive_, entries);
        return unzipAll(dest_.c_str(), archive_.c_str());
    }
    static unsigned mode(const fs::path& p)
    {
        struct stat st
        {
        };
        return ::lstat(p.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
    }

    fs::path base_, dest_, outside_;
    std::string archive_;
};

TEST_F(PackageUnzipTest, FoldersComeFromTheirOwnEntriesAsOnWindows)
{
    ASSERT_TRUE(unzip({
        {"bin/", "", 16},
        {"bin/Update.exe", "MZ updater", 0x20},
        {"lib/orphan.dll", "no folder entry", 0x20}, // its folder was never made
        {"empty.txt", "", 0x20},
        {"other/", "", 0x30}, // more bits than the directory attribute: a file
        {"inside/", "", 16},
        {"inside/", "", 16}, // an existing folder is fine
    }));
    EXPECT_EQ(readFile((dest_ / "bin/Update.exe").string()), "MZ updater");
    EXPECT_EQ(mode(dest_ / "bin/Update.exe"), 0755u); // no stored mode: executable
    EXPECT_FALSE(fs::exists(dest_ / "lib"));
    EXPECT_TRUE(fs::is_regular_file(dest_ / "empty.txt"));
    EXPECT_EQ(fs::file_size(dest_ / "empty.txt"), 0u);
    EXPECT_FALSE(fs::exists(dest_ / "other"));
    EXPECT_TRUE(fs::is_directory(dest_ / "inside"));
}

TEST_F(PackageUnzipTest, UnixArchivesKeepTheirModesAndBackslashesSeparate)
{
    ASSERT_TRUE(unzip({
        {"cfg/", "", unixAttributes(S_IFDIR | 0750), kMadeOnUnix},
        {"cfg/app.ini", "[a]\n", unixAttributes(S_IFREG | 0640), kMadeOnUnix, false, true},
        {"cfg\\win.ini", "[b]\n", 0x20},
        {"run.sh", "#!", unixAttributes(S_IFREG | 04755), kMadeOnUnix}, // no set-id bits
    }));
    EXPECT_EQ(mode(dest_ / "cfg"), 0750u);
    EXPECT_EQ(readFile((dest_ / "cfg/app.ini").string()), "[a]\n");
    EXPECT_EQ(mode(dest_ / "cfg/app.ini"), 0640u);
    EXPECT_EQ(readFile((dest_ / "cfg/win.ini").string()), "[b]\n");
    EXPECT_EQ(mode(dest_ / "run.sh"), 0755u);
}

TEST_F(PackageUnzipTest, NamesInTheAnsiCodePageOrFlaggedUtf8BecomeUtf8Files)
{
    ASSERT_TRUE(unzip({
        {"\xB8\xFC\xD0\xC2.txt", "gbk", 0x20},                   // 更新 in GBK
        {"\xE9\x85\x8D\xE7\xBD\xAE.txt", "utf8", 0x20, 0, true}, // 配置, flagged UTF-8
        {"\xD5\\\xC5.txt", "trail byte", 0x20},                  // GBK 諠 (0xD5 0x5C) is no separator
    }));
    EXPECT_EQ(readFile((dest_ / "更新.txt").string()), "gbk");
    EXPECT_EQ(readFile((dest_ / "配置.txt").string()), "utf8");
    EXPECT_EQ(std::distance(fs::directory_iterator(dest_), fs::directory_iterator()), 3);
}

TEST_F(PackageUnzipTest, RefusesNamesThatLeaveTheFolder)
{
    fs::create_directories(dest_ / "a");
    ASSERT_TRUE(unzip({
        {"../outside/up.txt", "x", 0x20},
        {"a/../../outside/up2.txt", "x", 0x20},
        {"a\\..\\..\\outside\\up3.txt", "x", 0x20},
        {"/abs.txt", "x", 0x20},
        {"\\abs2.txt", "x", 0x20},
        {"C:evil.txt", "x", 0x20},
        {"c:/evil2.txt", "x", 0x20},
        {"..", "", 16},
        {"fine.txt", "kept", 0x20},
    }));
    EXPECT_TRUE(fs::is_empty(outside_));
    EXPECT_FALSE(fs::exists("/abs.txt"));
    EXPECT_EQ(readFile((dest_ / "fine.txt").string()), "kept");
    // Only what was there and the one sound entry.
    EXPECT_EQ(std::distance(fs::directory_iterator(dest_), fs::directory_iterator()), 2);
}

TEST_F(PackageUnzipTest, NeverWritesThroughALink)
{
    fs::create_directory_symlink(outside_, dest_ / "linked");
    test::writeFile((outside_ / "target.txt").string(), "original");
    fs::create_symlink(outside_ / "target.txt", dest_ / "file-link");
    fs::create_hard_link(outside_ / "target.txt", dest_ / "hard-link");
    ASSERT_TRUE(unzip({
        {"link-entry", "/etc", unixAttributes(S_IFLNK | 0777), kMadeOnUnix},
        {"linked/", "", 16},
        {"linked/x.txt", "through the folder link", 0x20},
        {"file-link", "through the file link", 0x20},
        {"hard-link", "through the hard link", 0x20},
    }));
    EXPECT_FALSE(fs::exists(fs::symlink_status(dest_ / "link-entry")));
    EXPECT_EQ(std::distance(fs::directory_iterator(outside_), fs::directory_iterator()), 1);
    EXPECT_EQ(readFile((outside_ / "target.txt").string()), "original");
    EXPECT_TRUE(fs::is_symlink(dest_ / "file-link"));
}

TEST_F(PackageUnzipTest, WritesOnlyEntriesReadWholeWithinTheSizeCap)
{
    const std::string body(100000, 'z');
    test::writeZip(archive_, {
                                 {"huge.bin", "small really", 0x20},
                                 {"short.bin", body, 0x20, 0, false, true},
                                 {"crc.bin", "stored bytes", 0x20},
                                 {"good.bin", "good", 0x20},
                             });
    test::patchCentralSize(archive_, "huge.bin", 0xFFFFFFF0u); // above the cap: never allocated
    test::patchCentralSize(archive_, "short.bin", 1000);       // declares less than it holds
    std::string bytes = readFile(archive_);
    const size_t stored = bytes.find("stored bytes");
    ASSERT_NE(stored, std::string::npos);
    bytes[stored] = 'S'; // fails its CRC
    test::writeFile(archive_, bytes);

    EXPECT_TRUE(unzipAll(dest_.c_str(), archive_.c_str()));
    EXPECT_FALSE(fs::exists(dest_ / "huge.bin"));
    EXPECT_FALSE(fs::exists(dest_ / "short.bin"));
    EXPECT_FALSE(fs::exists(dest_ / "crc.bin"));
    EXPECT_EQ(readFile((dest_ / "good.bin").string()), "good");
}

TEST_F(PackageUnzipTest, AFullDiskStopsTheUnpackAndLeavesNoCutFile)
{
    test::writeZip(archive_, {{"Update.exe", std::string(200000, 'x'), 0x20, 0, false, true}});
    bool unpacked = true;
    {
        zavmo::test::FileSizeLimit fullDisk(65536);
        ASSERT_TRUE(fullDisk.set());
        unpacked = unzipAll(dest_.c_str(), archive_.c_str());
    }
    EXPECT_FALSE(unpacked);
    EXPECT_FALSE(fs::exists(dest_ / "Update.exe"));
}

TEST_F(PackageUnzipTest, APackageStopsAtItsSizeCap)
{
    test::writeZip(archive_, {{"a.bin", "0123456789"}, {"b.bin", "0123456789"}});
    EXPECT_FALSE(unzipAll(dest_.c_str(), archive_.c_str(), 15));
    EXPECT_TRUE(fs::exists(dest_ / "a.bin"));
    EXPECT_FALSE(fs::exists(dest_ / "b.bin"));
}

TEST_F(PackageUnzipTest, FailsWhenTheArchiveCannotBeOpened)
{
    EXPECT_FALSE(unzipAll(dest_.c_str(), (base_ / "missing.zip").c_str()));
    test::writeFile(archive_, "not a zip archive");
    EXPECT_FALSE(unzipAll(dest_.c_str(), archive_.c_str()));
    EXPECT_TRUE(unzip({{"../bad", "x", 0x20}}));
}

} // namespace
} // namespace tresk
