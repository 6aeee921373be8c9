// The Tresk program end to end: the real binary in a temporary install folder
// with its version.ini, against the simulated release service, file server
// and collector; the target and Update.exe are the fake tool program.

#include "launcher.h"

#include "faketools.h"
#include "filesizelimit.h"
#include "simulatorsuite.h"
#include "zipbuilder.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

namespace tresk {
namespace {

namespace fs = std::filesystem;
using test::readFile;
using test::writeFile;
using test::ZipEntry;
using zavmo::test::FakeTools;

struct ProgramResult
{
    bool started = false;
    bool timedOut = false;
    int exitCode = -1;
    std::string output;
};

constexpr long long kStamp = 1700000000123LL;
const char kUpdateOffered[] =
    R"({"error":0,"msg":"ok","data":{"needUpdate":1,"updateDescUrl":"https://127.0.0.1/files/rel/version.ini",)"
    R"("lastUpdateExeTime":1700000000123}})";

class TreskProgramTest : public zavmo::test::SimulatorSuite
{
protected:
    void SetUp() override
    {
        SimulatorSuite::SetUp();
        ::setenv("ZAVMO_FAKE_TOOL_MAX_MS", "15000", 1);
        const char* tmp = std::getenv("TMPDIR");
        base_ = fs::path(tmp && *tmp ? tmp : "/tmp") / ::testing::UnitTest::GetInstance()->current_test_info()->name();
        fs::remove_all(base_);
        app_ = base_ / "app";
        temp_ = base_ / "tmp";
        fs::create_directories(app_);
        fs::create_directories(temp_);
        fs::copy_file(TRESK_PROGRAM, app_ / "Tresk");
        FakeTools::place(app_.string(), "ZVTool.exe");
        writeFile((app_ / "version.ini").string(), "[update]\r\nversion=7\r\nversionName=2.0.7\r\nappCode=ZVTool\r\n"
                                                   "target=ZVTool.exe\r\nrelated=from 2.0.7\r\n");
        fs::remove_all(sim_->filesRoot() + "/rel");
        fs::create_directories(sim_->filesRoot() + "/rel/pkg/" + std::to_string(kStamp));
    }
    void TearDown() override
    {
        fake_.killAll();
        std::error_code ec;
        fs::remove_all(base_, ec);
    }

    // Runs Tresk to its end (bounded) with TMPDIR set and its output in a
    // file: the programs it starts keep its standard output, so a pipe would
    // wait for them too. takeFolder: the child makes the SDKUpdate folder of
    // its own pid (with a file in it) before it becomes Tresk.
    ProgramResult tresk(const std::vector<std::string>& args, const std::vector<std::string>& env = {},
                        bool takeFolder = false)
    {
        const std::string program = (app_ / "Tresk").string();
        const std::string output = (base_ / "output.txt").string();
        std::vector<std::string> texts{program};
        texts.insert(texts.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (std::string& t : texts)
            argv.push_back(t.data());
        argv.push_back(nullptr);

        ProgramResult result;
        const pid_t pid = ::fork();
        if (pid == 0) {
            const int fd = ::open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            ::dup2(fd, 1);
            ::dup2(fd, 2);
            ::setenv("TMPDIR", temp_.c_str(), 1);
            for (const std::string& e : env)
                ::putenv(const_cast<char*>(e.c_str()));
            if (takeFolder) {
                const std::string folder = temp_.string() + "/SDKUpdate" + std::to_string(::getpid());
                ::mkdir(folder.c_str(), 0755);
                ::close(::open((folder + "/theirs").c_str(), O_WRONLY | O_CREAT, 0644));
            }
            ::execv(program.c_str(), argv.data());
            ::_exit(127);
        }
        result.started = pid > 0;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        int status = 0;
        while (pid > 0 && ::waitpid(pid, &status, WNOHANG) == 0) {
            if (std::chrono::steady_clock::now() > deadline) {
                ::kill(pid, SIGKILL);
                ::waitpid(pid, &status, 0);
                result.timedOut = true;
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        if (!result.timedOut && WIFEXITED(status))
            result.exitCode = WEXITSTATUS(status);
        result.output = readFile(output);
        return result;
    }

    void serveServerIni(int version, const std::string& url = "https://127.0.0.1/files/rel/pkg/")
    {
        writeFile(sim_->filesRoot() + "/rel/version.ini",
                  "[update]\r\nversion=" + std::to_string(version) + "\r\nurl=" + url + "\r\nversionName=2.1.0\r\n");
    }
    std::string packagePath() const { return sim_->filesRoot() + "/rel/pkg/" + std::to_string(kStamp) + "/Update.zip"; }
    // An Update.zip made on Windows: the updater and a data folder.
    void servePackage(std::vector<ZipEntry> extra = {})
    {
        std::vector<ZipEntry> entries{
            {"Update.exe", readFile(FakeTools::program()), 0x20, 0, false, true},
            {"data/", "", 16},
            {"data/readme.txt", "new version", 0x20},
        };
        entries.insert(entries.end(), extra.begin(), extra.end());
        test::writeZip(packagePath(), entries);
    }

    // The run's SDKUpdate folders left in the temporary folder.
    std::vector<fs::path> updateFolders() const
    {
        std::vector<fs::path> found;
        for (const auto& entry : fs::directory_iterator(temp_))
            if (entry.path().filename().string().rfind("SDKUpdate", 0) == 0)
                found.push_back(entry.path());
        return found;
    }

    // Target starts logged within a short wait (none are expected when the
    // updater took over; Tresk has ended, so its starts are on their way).
    std::vector<FakeTools::Start> targetStarts(size_t expected) const
    {
        return fake_.waitForStarts("ZVTool.exe", expected, expected ? 5000 : 300);
    }

    FakeTools fake_;
    fs::path base_, app_, temp_;
};

TEST_F(TreskProgramTest, WithoutAnUpdateStartsTheTargetWithItsParameterText)
{
    const ProgramResult single = tresk({"-x \"two words\""});
    ASSERT_TRUE(single.started);
    EXPECT_EQ(single.exitCode, 0) << single.output;
    auto starts = targetStarts(1);
    ASSERT_EQ(starts.size(), 1u);
    // The argument is the target's parameter text, split again by Windows rules.
    EXPECT_EQ(starts[0].args, (std::vector<std::string>{"-x", "two words"}));
    ASSERT_EQ(sim_->requests("checkUpdate").size(), 1u);
    EXPECT_EQ(sim_->requests("checkUpdate")[0]["decoded"]["versionCode"], "7");
    EXPECT_TRUE(updateFolders().empty()); // nothing written when no update is offered

    EXPECT_EQ(tresk({}).exitCode, 1);
    starts = targetStarts(2);
    ASSERT_EQ(starts.size(), 2u);
    EXPECT_TRUE(starts[1].args.empty());
    EXPECT_EQ(sim_->requests("checkUpdate").size(), 2u);
}

TEST_F(TreskProgramTest, OptionAStartsTheTargetAtOnceWithTheOptionAsTyped)
{
    const ProgramResult run = tresk({"-A"});
    EXPECT_EQ(run.exitCode, 0) << run.output;
    const auto starts = targetStarts(1);
    ASSERT_EQ(starts.size(), 1u);
    EXPECT_EQ(starts[0].args, std::vector<std::string>{"-A"});
    EXPECT_TRUE(sim_->requests().empty()); // no network at all
}

TEST_F(TreskProgramTest, AnUpdateIsFetchedUnpackedAndHandedToTheUpdater)
{
    sim_->setReply("checkUpdate", kUpdateOffered);
    serveServerIni(8);
    servePackage();

    const ProgramResult run = tresk({});
    EXPECT_EQ(run.exitCode, 1) << run.output;
    const auto updaters = fake_.waitForStarts("Update.exe", 1, 5000);
    ASSERT_EQ(updaters.size(), 1u) << run.output;
    const auto folders = updateFolders();
    ASSERT_EQ(folders.size(), 1u);
    const fs::path folder = folders[0];
    const std::string pid = folder.filename().string().substr(9);
    EXPECT_EQ(updaters[0].args,
              (std::vector<std::string>{app_.string(), "https://127.0.0.1/files/rel/pkg/8/ProgramConfig.zdb.zip",
                                        (folder / "version.ini").string(), pid, folder.string(),
                                        (app_ / "Tresk").string(), "from 2.0.7", "-Admin"}));
    // Started in the temporary folder, which stays: the updater owns it.
    EXPECT_EQ(readFile((folder / "updater-started").string()), folder.string() + "\n");
    EXPECT_EQ(readFile((folder / "data/readme.txt").string()), "new version");
    struct stat st
    {
    };
    ASSERT_EQ(::stat(folder.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    EXPECT_TRUE(targetStarts(0).empty());

    // Both downloads went over TLS.
    const auto files = sim_->requests("files");
    ASSERT_EQ(files.size(), 2u);
    EXPECT_EQ(files[0]["path"], "/files/rel/version.ini");
    EXPECT_EQ(files[1]["path"], "/files/rel/pkg/1700000000123/Update.zip");
    EXPECT_EQ(files[1]["scheme"], "https");

    const auto events = sim_->waitForRequests("pelk2", 1, 5000);
    ASSERT_EQ(events.size(), 1u);
    const Json::Value& e = events[0]["decoded"];
    EXPECT_EQ(e["ac"], "startup_update");
    EXPECT_EQ(e["av"], "2.0.7");
    EXPECT_EQ(e["ct"], "web_nlive");
    EXPECT_EQ(e["e"]["c_para"], "Tresk.exe");
    EXPECT_EQ(e["e"]["l_ver"], 7);
    EXPECT_EQ(e["e"]["r_ver"], 8);
    EXPECT_EQ(e["e"]["u_m"].asString().rfind(pid + "+", 0), 0u);
    EXPECT_EQ(e["e"]["para"], "\"" + app_.string() +
                                  "\" \"https://127.0.0.1/files/rel/pkg/8/ProgramConfig.zdb.zip\" \"" +
                                  (folder / "version.ini").string() + "\" " + pid + " \"" + folder.string() + "\" \"" +
                                  (app_ / "Tresk").string() + "\" \"from 2.0.7\" -Admin");
}

TEST_F(TreskProgramTest, ATemporaryFolderOutsideTheAnsiCodePageStillUpdates)
{
    temp_ = base_ / "tmp Jörg"; // no GBK character for ö: the unpacking paths stay UTF-8
    fs::create_directories(temp_);
    sim_->setReply("checkUpdate", kUpdateOffered);
    serveServerIni(8);
    servePackage();

    const ProgramResult run = tresk({});
    ASSERT_EQ(fake_.waitForStarts("Update.exe", 1, 5000).size(), 1u) << run.output;
}

TEST_F(TreskProgramTest, AFailedSecureDownloadFallsBackToPlainHttpOnce)
{
    // The certificate holds 127.0.0.1 and localhost only: every TLS attempt
    // fails verification (never ignored), and the plain one on port 80 runs.
    sim_->setReply("checkUpdate", R"({"error":0,"msg":"ok","data":{"needUpdate":1,)"
                                  R"("updateDescUrl":"https://cdn.zavmo.example/files/rel/version.ini",)"
                                  R"("lastUpdateExeTime":1700000000123}})");
    serveServerIni(8, "https://cdn.zavmo.example/files/rel/pkg/");
    servePackage();

    const ProgramResult run = tresk({});
    EXPECT_EQ(run.exitCode, 1) << run.output;
    ASSERT_EQ(fake_.waitForStarts("Update.exe", 1, 5000).size(), 1u) << run.output;
    const auto files = sim_->requests("files");
    ASSERT_EQ(files.size(), 2u);
    for (const Json::Value& r : files) {
        EXPECT_EQ(r["scheme"], "http");
        EXPECT_FALSE(r["headers"].isMember("range")); // from zero, no resume
    }
    EXPECT_NE(run.output.find("secure download from cdn.zavmo.example failed"), std::string::npos) << run.output;
}

TEST_F(TreskProgramTest, BeforeVistaTheUpdaterGetsAWholeCommandLine)
{
    sim_->setReply("checkUpdate", kUpdateOffered);
    serveServerIni(8);
    servePackage();

    const ProgramResult run = tresk({"-x"}, {"ZAVMO_OS_VERSION=5.1"});
    EXPECT_EQ(run.exitCode, 0) << run.output;
    const auto updaters = fake_.waitForStarts("Update.exe", 1, 5000);
    ASSERT_EQ(updaters.size(), 1u) << run.output;
    const fs::path folder = updateFolders().at(0);
    const std::string pid = folder.filename().string().substr(9);
    EXPECT_EQ(
        updaters[0].args,
        (std::vector<std::string>{app_.string(), "https://127.0.0.1/files/rel/pkg/8/ProgramConfig.zdb.zip",
                                  (folder / "version.ini").string(), pid, folder.string(), (app_ / "Tresk").string()}));
    // The working folder is Tresk's own.
    EXPECT_EQ(readFile((app_ / "updater-started").string()), app_.string() + "\n");
    const auto events = sim_->waitForRequests("pelk2", 1, 5000);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0]["decoded"]["e"]["para"].asString().rfind("\"" + (folder / "Update.exe").string() + "\" ", 0),
              0u);
    EXPECT_EQ(events[0]["decoded"]["e"]["s_t"], "Windows XP");
}

TEST_F(TreskProgramTest, NoNewerServerVersionStartsTheTargetAndRemovesTheFolder)
{
    sim_->setReply("checkUpdate", kUpdateOffered);
    serveServerIni(7);
    servePackage();

    EXPECT_EQ(tresk({"go"}).exitCode, 0);
    const auto starts = targetStarts(1);
    ASSERT_EQ(starts.size(), 1u);
    EXPECT_EQ(starts[0].args, std::vector<std::string>{"go"});
    EXPECT_TRUE(updateFolders().empty());
    ASSERT_EQ(sim_->requests("files").size(), 1u); // the package is not fetched
    EXPECT_TRUE(sim_->requests("pelk2").empty());
}

TEST_F(TreskProgramTest, AMissingPackageOrUpdaterEndsInTheTarget)
{
    sim_->setReply("checkUpdate", kUpdateOffered);
    serveServerIni(8);
    EXPECT_EQ(tresk({}).exitCode, 1); // no Update.zip on the server
    ASSERT_EQ(targetStarts(1).size(), 1u);
    EXPECT_TRUE(updateFolders().empty());

    test::writeZip(packagePath(), {{"data/", "", 16}}); // a package without the updater
    EXPECT_EQ(tresk({}).exitCode, 1);
    ASSERT_EQ(targetStarts(2).size(), 2u);
    EXPECT_TRUE(updateFolders().empty());
    // The event still went out: it is sent whatever the start gave.
    EXPECT_EQ(sim_->waitForRequests("pelk2", 1, 5000).size(), 1u);
}

TEST_F(TreskProgramTest, APackageNotUnpackedWholeEndsInTheTarget)
{
    sim_->setReply("checkUpdate", kUpdateOffered);
    serveServerIni(8);
    // Update.exe fits on the "disk", the zeros after it (deflated to little) do not.
    const rlim_t room = fs::file_size(FakeTools::program()) + (1 << 20);
    servePackage({{"data/zeros.bin", std::string(room + (1 << 20), '\0'), 0x20, 0, false, true}});
    ProgramResult run;
    {
        zavmo::test::FileSizeLimit fullDisk(room);
        ASSERT_TRUE(fullDisk.set());
        run = tresk({});
    }
    ASSERT_EQ(targetStarts(1).size(), 1u) << run.output;
    EXPECT_TRUE(fake_.waitForStarts("Update.exe", 1, 300).empty());
}

TEST_F(TreskProgramTest, AHostilePackageCannotReachOutsideItsFolder)
{
    sim_->setReply("checkUpdate", kUpdateOffered);
    serveServerIni(8);
    servePackage({
        {"../escaped.txt", "x", 0x20},
        {"..\\escaped2.txt", "x", 0x20},
        {"/tmp/absolute.txt", "x", 0x20},
        {"link", "/", test::unixAttributes(S_IFLNK | 0777), test::kMadeOnUnix},
        {"huge.bin", "small", 0x20},
    });
    test::patchCentralSize(packagePath(), "huge.bin", 0xFFFFFF00u);

    const ProgramResult run = tresk({});
    EXPECT_EQ(run.exitCode, 1);
    ASSERT_EQ(fake_.waitForStarts("Update.exe", 1, 5000).size(), 1u) << run.output;
    const fs::path folder = updateFolders().at(0);
    EXPECT_FALSE(fs::exists(temp_ / "escaped.txt"));
    EXPECT_FALSE(fs::exists(temp_ / "escaped2.txt"));
    EXPECT_FALSE(fs::exists("/tmp/absolute.txt"));
    EXPECT_FALSE(fs::exists(fs::symlink_status(folder / "link")));
    EXPECT_FALSE(fs::exists(folder / "huge.bin"));
    EXPECT_NE(run.output.find("huge.bin refused"), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("../escaped.txt refused"), std::string::npos) << run.output;
}

TEST_F(TreskProgramTest, ATemporaryFolderThatExistsIsNotOurs)
{
    sim_->setReply("checkUpdate", kUpdateOffered);
    serveServerIni(8);
    servePackage();

    const ProgramResult run = tresk({}, {}, true);
    EXPECT_EQ(run.exitCode, 1);
    ASSERT_EQ(targetStarts(1).size(), 1u);
    EXPECT_TRUE(fake_.waitForStarts("Update.exe", 1, 300).empty());
    EXPECT_TRUE(sim_->requests("files").empty());
    const auto folders = updateFolders();
    ASSERT_EQ(folders.size(), 1u); // left as it was
    EXPECT_TRUE(fs::exists(folders[0] / "theirs"));
}

TEST_F(TreskProgramTest, CheckComparesTheServerVersionOverPlainHttp)
{
    writeFile((app_ / "version.ini").string(), "[update]\r\nversion=7\r\nurl=http://127.0.0.1/files/rel\r\n");
    serveServerIni(8);
    ProgramResult run = tresk({"-check"});
    EXPECT_EQ(run.exitCode, kServerNewer & 0xff) << run.output; // 10001 as an 8-bit status
    ASSERT_EQ(sim_->requests("files").size(), 1u);
    EXPECT_EQ(sim_->requests("files")[0]["scheme"], "http");
    EXPECT_EQ(sim_->requests("files")[0]["path"], "/files/rel/version.ini"); // "/" added
    EXPECT_EQ(updateFolders().size(), 1u);                                   // left in place

    serveServerIni(7);
    EXPECT_EQ(tresk({"-CHECK"}).exitCode, kServerNotNewer & 0xff);
    fs::remove(sim_->filesRoot() + "/rel/version.ini");
    EXPECT_EQ(tresk({"-check"}).exitCode, 0);
    EXPECT_TRUE(targetStarts(0).empty());
    EXPECT_TRUE(sim_->requests("checkUpdate").empty());
}

TEST_F(TreskProgramTest, CheckWithoutAUrlAsksTheDefaultUpdateArea)
{
    fs::create_directories(sim_->filesRoot() + "/client_download/pcclient");
    writeFile(sim_->filesRoot() + "/client_download/pcclient/version.ini", "[update]\nversion=9\n");
    EXPECT_EQ(tresk({"-check"}).exitCode, kServerNewer & 0xff);
    ASSERT_EQ(sim_->requests("client_download").size(), 1u);
    EXPECT_EQ(sim_->requests("client_download")[0]["path"], "/client_download/pcclient/version.ini");
}

TEST_F(TreskProgramTest, DeleteOptionAndTheOtherArgumentCounts)
{
    const fs::path doomed = base_ / "old version";
    fs::create_directories(doomed / "deep/er");
    writeFile((doomed / "deep/er/file").string(), "x");
    EXPECT_EQ(tresk({"-D", doomed.string()}).exitCode, 1);
    EXPECT_FALSE(fs::exists(doomed));

    // What is refused is checked on its own (LauncherTest): a run with "/"
    // would empty the machine the day the check broke.
    const ProgramResult empty = tresk({"-d", ""});
    EXPECT_EQ(empty.exitCode, 1);
    EXPECT_NE(empty.output.find("refusing"), std::string::npos) << empty.output;

    // Nothing in it can be removed: ten tries, each reported, then 1.
    const ProgramResult stuck = tresk({"-d", "/proc/self/fdinfo"});
    EXPECT_EQ(stuck.exitCode, 1);
    size_t reports = 0;
    for (size_t at = stuck.output.find('\n'); at != std::string::npos; at = stuck.output.find('\n', at + 1))
        ++reports;
    EXPECT_EQ(reports, 10u) << stuck.output;

    EXPECT_EQ(tresk({"-x", "y"}).exitCode, 0);
    EXPECT_EQ(tresk({"a", "b", "c"}).exitCode, 1);
    EXPECT_TRUE(targetStarts(0).empty());
    EXPECT_TRUE(sim_->requests().empty());
}

} // namespace
} // namespace tresk
