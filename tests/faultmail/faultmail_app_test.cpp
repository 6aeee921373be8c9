#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>

#include "faultmail/FaultmailApp.h"
#include "filesizelimit.h"
#include "ftp_server.h"
#include "platform/process.h"
#include "run_program.h"
#include "zip_check.h"

using namespace faultmailtest;
using zavmo::test::FtpServer;

namespace {

// A fault put into what this process reads: the binary is linked with
// --wrap=read, so every read() of our code comes here. While set, reading
// this path fails (EIO) once its first bytes have been read.
std::string readFault;

} // namespace

extern "C" ssize_t __real_read(int fd, void* data, size_t size);
extern "C" ssize_t __wrap_read(int fd, void* data, size_t size)
{
    if (!readFault.empty() && ::lseek(fd, 0, SEEK_CUR) > 0) {
        char path[4096];
        const ssize_t n = ::readlink(("/proc/self/fd/" + std::to_string(fd)).c_str(), path, sizeof path);
        if (n > 0 && readFault == std::string(path, size_t(n))) {
            errno = EIO;
            return -1;
        }
    }
    return __real_read(fd, data, size);
}

namespace {

// Sets an environment variable for a scope.
class ScopedEnv
{
public:
    ScopedEnv(const char* name, const std::string& value) : name_(name)
    {
        const char* old = std::getenv(name);
        had_ = old != nullptr;
        saved_ = had_ ? old : "";
        ::setenv(name, value.c_str(), 1);
    }
    ~ScopedEnv() { had_ ? ::setenv(name_, saved_.c_str(), 1) : ::unsetenv(name_); }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    const char* name_;
    std::string saved_;
    bool had_ = false;
};

std::vector<std::string> sortedNames(std::vector<ZipListEntry> entries)
{
    std::vector<std::string> names;
    for (const auto& e : entries)
        names.push_back(e.name);
    std::sort(names.begin(), names.end());
    return names;
}

// The tests share one FTP server; each crash has a dump name of its own.
class FaultmailTest : public ::testing::Test
{
protected:
    static void TearDownTestSuite() { sharedServer.reset(); }

    static const FtpServer& server()
    {
        if (!sharedServer)
            sharedServer = std::make_unique<FtpServer>();
        return *sharedServer;
    }

    void SetUp() override
    {
        dumpName =
            std::string("Olvane_") + ::testing::UnitTest::GetInstance()->current_test_info()->name() + "_V2.5.1.dmp";
        root = makeTempFolder("faultmail");
        ASSERT_FALSE(root.empty());
        appDir = root + "/直播 伴侣 Jörg"; // ö has no place in the ANSI code page: local paths stay UTF-8
        tmp = root + "/tmp";
        runtime = root + "/runtime";
        for (const std::string& d : {appDir, tmp, runtime})
            ::mkdir(d.c_str(), 0700);
        dump = appDir + "/" + dumpName;
        dumpData = testData(300000, 21);
        writeFile(dump, dumpData);

        // The tool's temporary folder, with things that must not be gathered.
        toolDir = tmp + "/ZVTool";
        ::mkdir(toolDir.c_str(), 0700);
        ::mkdir((toolDir + "/logs").c_str(), 0700);
        ::mkdir((toolDir + "/logs/old").c_str(), 0700);
        writeFile(toolDir + "/cfg.ini", "[tool]\nx=1\n");
        writeFile(toolDir + "/logs/run.log", "new log\n");
        writeFile(toolDir + "/logs/old/run.log", "old log\n");
        ::mkdir((root + "/outside").c_str(), 0700);
        writeFile(root + "/outside/secret.txt", "not for upload");
        ::symlink((root + "/outside/secret.txt").c_str(), (toolDir + "/link.txt").c_str());
        ::symlink((root + "/outside").c_str(), (toolDir + "/linkdir").c_str());
        ::mkfifo((toolDir + "/pipe").c_str(), 0600);
    }

    void TearDown() override
    {
        std::error_code ec;
        std::filesystem::remove_all(root, ec);
    }

    // As Olvane's crash filter starts it: its quoted command line split by
    // the Windows rules, the program path ahead.
    std::vector<std::string> commandLine(const std::string& credential = std::string())
    {
        const std::string line = "\"ftp://127.0.0.1//Olvane//\"   \"" + dump + "\"    \"" +
                                 (credential.empty() ? server().credential() : credential) + "\"   \"" +
                                 std::to_string(server().port()) + "\"";
        std::vector<std::string> argv{FAULTMAIL_PATH};
        for (const std::string& field : platform::process::splitCommandLine(line))
            argv.push_back(field);
        return argv;
    }

    zavmo::test::ProgramResult run(const std::string& credential = std::string())
    {
        return runArgs(commandLine(credential));
    }

    // The program's work in this process, where readFault reaches it, with
    // the environment the program gets. (Its lock stays taken until this
    // process ends; the lock file is this test's own.)
    int runHere()
    {
        const ScopedEnv tmpDir("TMPDIR", tmp), runtimeDir("XDG_RUNTIME_DIR", runtime);
        std::vector<std::string> argv = commandLine();
        std::vector<char*> args;
        for (std::string& arg : argv)
            args.push_back(arg.data());
        args.push_back(nullptr);
        return CFaultmailApp().Run(int(argv.size()), args.data());
    }

    zavmo::test::ProgramResult runArgs(const std::vector<std::string>& argv)
    {
        return zavmo::test::runProgram(argv, {"TMPDIR=" + tmp, "XDG_RUNTIME_DIR=" + runtime}, 30000);
    }

    std::string uploaded() const { return server().root() + "/Olvane/" + dumpName + ".zip"; }

    // The entries of the uploaded archive, sorted, once Python's zipfile
    // read it with every CRC.
    std::vector<std::string> uploadedNames() const
    {
        std::vector<ZipListEntry> entries;
        std::string error;
        if (!listWithPython(uploaded(), entries, error))
            ADD_FAILURE() << error;
        return sortedNames(entries);
    }

    void expectToolFolderUntouched()
    {
        EXPECT_EQ(readFile(toolDir + "/logs/old/run.log"), "old log\n");
        EXPECT_EQ(readFile(root + "/outside/secret.txt"), "not for upload");
        EXPECT_TRUE(exists(toolDir + "/pipe"));
    }

    static std::unique_ptr<FtpServer> sharedServer;
    std::string dumpName, root, appDir, tmp, runtime, toolDir, dump, dumpData;
};

std::unique_ptr<FtpServer> FaultmailTest::sharedServer;

} // namespace

TEST_F(FaultmailTest, UploadsTheGatheredCrashDataAndCleansUp)
{
    const auto r = run();
    ASSERT_FALSE(r.timedOut) << r.output;
    EXPECT_EQ(r.exitCode, faultmailUploaded) << r.output;
    EXPECT_EQ(r.output.find("PASS " + std::string("Wq7vLp2sXk9dRm4T")), std::string::npos); // masked

    // One flat archive: the tool's regular files (two of the same name) and
    // the dump; no link, no FIFO.
    std::string output;
    EXPECT_TRUE(unzipTest(uploaded(), output)) << output;
    std::vector<ZipListEntry> entries;
    std::string error;
    ASSERT_TRUE(listWithPython(uploaded(), entries, error)) << error;
    EXPECT_EQ(sortedNames(entries), (std::vector<std::string>{dumpName, "cfg.ini", "run.log", "run.log"}));
    for (const auto& e : entries) {
        if (e.name == dumpName) {
            EXPECT_EQ(e.crc, crcOf(dumpData));
        }
    }

    EXPECT_FALSE(exists(dump));
    EXPECT_FALSE(exists(dump + ".zip"));
    EXPECT_FALSE(exists(dump + "Dir"));
    expectToolFolderUntouched();
}

TEST_F(FaultmailTest, ANameWithABlankUploads)
{
    dumpName = "a b.dmp";
    const std::string blank = appDir + "/" + dumpName;
    ASSERT_EQ(::rename(dump.c_str(), blank.c_str()), 0);
    dump = blank;
    const auto r = run();
    EXPECT_EQ(r.exitCode, faultmailUploaded) << r.output;
    EXPECT_TRUE(exists(uploaded()));
}

TEST_F(FaultmailTest, FailedUploadKeepsTheDump)
{
    const auto r = run("crashup:wrong");
    ASSERT_FALSE(r.timedOut) << r.output;
    EXPECT_EQ(r.exitCode, faultmailNotUploaded) << r.output;
    EXPECT_EQ(readFile(dump), dumpData);
    EXPECT_FALSE(exists(dump + ".zip"));
    EXPECT_FALSE(exists(dump + "Dir"));
    expectToolFolderUntouched();
}

TEST_F(FaultmailTest, FailedZipSkipsTheUploadAndKeepsTheDump)
{
    ::mkdir((dump + ".zip").c_str(), 0700); // the archive cannot be created
    const auto r = run();
    ASSERT_FALSE(r.timedOut) << r.output;
    EXPECT_EQ(r.exitCode, faultmailNotUploaded) << r.output;
    EXPECT_EQ(readFile(dump), dumpData);
    EXPECT_FALSE(exists(dump + "Dir"));
    EXPECT_FALSE(exists(uploaded()));
}

TEST_F(FaultmailTest, ADumpTheArchiveRefusesIsKeptAndNothingSent)
{
    ASSERT_EQ(::truncate(dump.c_str(), 0x100000000ll), 0); // sparse, 4 GiB: neither archive takes it
    const auto r = run();
    EXPECT_EQ(r.exitCode, faultmailNotUploaded) << r.output;
    EXPECT_FALSE(exists(uploaded()));
    EXPECT_TRUE(exists(dump));
}

TEST_F(FaultmailTest, AMissingDumpSendsNothing)
{
    ::unlink(dump.c_str());
    const auto r = run();
    EXPECT_EQ(r.exitCode, faultmailNotUploaded) << r.output;
    EXPECT_FALSE(exists(uploaded()));
}

TEST_F(FaultmailTest, WhatOthersCouldWriteOrOwnIsNotGathered)
{
    const char* tool = toolDir.c_str();
    const std::string logs = toolDir + "/logs", cfg = toolDir + "/cfg.ini";
    const struct
    {
        std::function<int()> change;
        std::vector<std::string> gathered; // besides the dump
    } cases[] = {
        {[&] { return ::chmod(tool, 0770); }, {}},
        {[&] { return ::chmod(tool, 0700) | ::chown(tool, 12345, -1); }, {}},
        // A sub-folder others may write, then a file of another user's.
        {[&] { return ::chown(tool, ::geteuid(), -1) | ::chmod(logs.c_str(), 0777); }, {"cfg.ini"}},
        {[&] { return ::chmod(logs.c_str(), 0700) | ::chown(cfg.c_str(), 65534, -1); }, {"run.log", "run.log"}},
        // A link, even to a folder of the user's own that no one else may write.
        {[&] {
             return ::chown(cfg.c_str(), ::geteuid(), -1) | ::rename(tool, (toolDir + ".real").c_str()) |
                    ::symlink((toolDir + ".real").c_str(), tool);
         },
         {}},
    };
    for (const auto& c : cases) {
        ASSERT_EQ(c.change(), 0);
        writeFile(dump, dumpData);
        const auto r = run();
        EXPECT_EQ(r.exitCode, faultmailUploaded) << r.output;
        EXPECT_NE(r.output.find("not gathered"), std::string::npos) << r.output;
        std::vector<std::string> expected{dumpName};
        expected.insert(expected.end(), c.gathered.begin(), c.gathered.end());
        EXPECT_EQ(uploadedNames(), expected);
    }
}

TEST_F(FaultmailTest, AFailureInsideTheFolderArchiveSendsTheDumpAlone)
{
    writeFile(toolDir + "/big.log", testData(900000, 5));
    server(); // started before the limit, which it must not inherit
    zavmo::test::ProgramResult r;
    {
        // A full disk: the copy of big.log fits, an archive of it and the dump does not.
        zavmo::test::FileSizeLimit fullDisk(960000);
        ASSERT_TRUE(fullDisk.set());
        r = run();
    }
    EXPECT_EQ(r.exitCode, faultmailUploaded) << r.output;
    EXPECT_EQ(uploadedNames(), std::vector<std::string>{dumpName});

    // A gathered file that cannot be read on once its entry has begun.
    ::unlink(uploaded().c_str());
    writeFile(dump, dumpData);
    readFault = dump + "Dir/big.log";
    const int exitCode = runHere();
    readFault.clear();
    EXPECT_EQ(exitCode, faultmailUploaded);
    EXPECT_EQ(uploadedNames(), std::vector<std::string>{dumpName});
}

TEST_F(FaultmailTest, LeftoverGatheringFolderGivesTheDumpAlone)
{
    ::mkdir((dump + "Dir").c_str(), 0700);
    writeFile(dump + "Dir/stale.txt", "from an earlier run");
    const auto r = run();
    EXPECT_EQ(r.exitCode, faultmailUploaded) << r.output;
    EXPECT_EQ(uploadedNames(), std::vector<std::string>{dumpName});
    EXPECT_FALSE(exists(dump));
    EXPECT_FALSE(exists(dump + "Dir"));
}

TEST_F(FaultmailTest, WithoutALockFileTheReportIsStillSent)
{
    runtime = root + "/no such folder";
    const auto r = run();
    EXPECT_EQ(r.exitCode, faultmailUploaded) << r.output;
    EXPECT_TRUE(exists(uploaded()));
    EXPECT_FALSE(exists(dump));
}

TEST_F(FaultmailTest, EarlyExitsTouchNothing)
{
    auto r = runArgs({FAULTMAIL_PATH, "ftp://127.0.0.1//Olvane//", dump, server().credential()});
    EXPECT_EQ(r.exitCode, faultmailUsage) << r.output;

    // A second copy, while the first holds the lock, leaves at once.
    const int lock = ::open((runtime + "/LumraeFaultmail.lock").c_str(), O_RDWR | O_CREAT, 0600);
    ASSERT_EQ(::flock(lock, LOCK_EX | LOCK_NB), 0);
    r = run();
    ::close(lock);
    EXPECT_EQ(r.exitCode, faultmailRunning) << r.output;
    EXPECT_LT(r.seconds, 2.0);

    EXPECT_EQ(readFile(dump), dumpData);
    EXPECT_FALSE(exists(dump + ".zip"));
    EXPECT_FALSE(exists(dump + "Dir"));
    EXPECT_FALSE(exists(uploaded()));
}

TEST(FaultmailFolders, NamesAndLockPath)
{
    EXPECT_EQ(GetFileNameFromPath("C:\\Olvane\\a.dmp"), "a.dmp");
    EXPECT_EQ(GetFileNameFromPath("/opt/olvane\\x/b.dmp"), "b.dmp");
    EXPECT_EQ(GetFileNameFromPath("c.dmp"), "c.dmp");

    // The name's bytes go percent-encoded, UTF-8 or not; the limit counts
    // the characters before encoding.
    EXPECT_EQ(FaultmailUploadUrl("ftp://127.0.0.1//Olvane//", "a b\xff~.dmp.zip"),
              "ftp://127.0.0.1//Olvane///a%20b%FF~.dmp.zip");
    const std::string longFolder = "ftp://h/" + std::string(1012, 'f'); // 1021 characters with the "/"
    EXPECT_EQ(FaultmailUploadUrl(longFolder, "\u00e9 b.dmp.zip").substr(longFolder.size()), "/%C3%A9%20");

    const char* saved = std::getenv("XDG_RUNTIME_DIR");
    const std::string keep = saved ? saved : "";
    setenv("XDG_RUNTIME_DIR", "/run/user/7", 1);
    EXPECT_EQ(FaultmailLockPath(), "/run/user/7/LumraeFaultmail.lock");
    unsetenv("XDG_RUNTIME_DIR");
    EXPECT_EQ(FaultmailLockPath(), FaultmailTempFolder() + "/LumraeFaultmail-" + std::to_string(::getuid()) + ".lock");
    if (saved)
        setenv("XDG_RUNTIME_DIR", keep.c_str(), 1);
}

TEST(FaultmailFolders, AGatheredFileRefusedBeforeItsEntryIsSkipped)
{
    const std::string root = makeTempFolder("skip"), folder = root + "/gathered";
    ::mkdir(folder.c_str(), 0700);
    writeFile(folder + "/a.dmp", "dump");
    writeFile(folder + "/huge.log", "");
    ASSERT_EQ(::truncate((folder + "/huge.log").c_str(), 0x100000000ll), 0); // sparse, 4 GiB
    CFaultmailApp app;
    EXPECT_TRUE(app.ZipFolder(root + "/out.zip", folder, folder + "/a.dmp"));
    std::vector<ZipListEntry> entries;
    std::string error;
    ASSERT_TRUE(listWithPython(root + "/out.zip", entries, error)) << error;
    EXPECT_EQ(sortedNames(entries), std::vector<std::string>{"a.dmp"});
    std::filesystem::remove_all(root);
}

TEST(FaultmailFolders, CopyListAndDeleteNeverFollowLinks)
{
    const std::string root = makeTempFolder("folders");
    const std::string source = root + "/source", target = root + "/target", outside = root + "/outside";
    for (const std::string& d : {source, source + "/sub", outside})
        ::mkdir(d.c_str(), 0700);
    writeFile(source + "/a.txt", "a");
    writeFile(source + "/sub/b.txt", "b");
    writeFile(outside + "/keep.txt", "keep");
    ::symlink((outside + "/keep.txt").c_str(), (source + "/file-link").c_str());
    ::symlink(outside.c_str(), (source + "/dir-link").c_str());
    ::mkfifo((source + "/fifo").c_str(), 0600);

    EXPECT_TRUE(CopyFolder(source, target));
    std::vector<std::string> files;
    ListFolderFiles(target, files);
    std::sort(files.begin(), files.end());
    EXPECT_EQ(files, (std::vector<std::string>{target + "/a.txt", target + "/sub/b.txt"}));
    EXPECT_EQ(readFile(target + "/sub/b.txt"), "b");

    files.clear();
    ListFolderFiles(source, files);
    EXPECT_EQ(files.size(), 2u); // links and the FIFO are not listed

    // Deleting removes the links themselves, never what they point to.
    DeleteFolder(source);
    EXPECT_FALSE(exists(source));
    EXPECT_EQ(readFile(outside + "/keep.txt"), "keep");

    // Nor when the folder given is itself a link, nor copying into one.
    const std::string linkToOutside = root + "/link-to-outside";
    ::symlink(outside.c_str(), linkToOutside.c_str());
    DeleteFolder(linkToOutside);
    EXPECT_EQ(readFile(outside + "/keep.txt"), "keep");
    ::mkdir(source.c_str(), 0700);
    writeFile(source + "/c.txt", "c");
    EXPECT_TRUE(CopyFolder(source, linkToOutside));
    EXPECT_FALSE(exists(outside + "/c.txt"));
    files.clear();
    ListFolderFiles(linkToOutside, files);
    EXPECT_TRUE(files.empty());

    // Short paths are left alone.
    DeleteFolder("/");
    DeleteFolder("ab");
    EXPECT_TRUE(exists(target));
    DeleteFolder(target);
    EXPECT_FALSE(exists(target));
    std::filesystem::remove_all(root);
}
