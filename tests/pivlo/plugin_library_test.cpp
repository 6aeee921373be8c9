// The built plug-in as an installer drives it: loaded by the test host, its
// exports called in an installer's order.
#include "plugin.h"

#include "pivlotest.h"
#include "run_program.h"
#include "simulator.h"

#include <gtest/gtest.h>

#include <chrono>
#include <regex>
#include <set>

namespace pivlo {
namespace {

using test::readFile;
using test::records;
using zavmo::test::ProgramResult;
using zavmo::test::runProgram;

std::vector<std::string> host(std::vector<std::string> steps)
{
    steps.insert(steps.begin(), {NSIS_HOST, PIVLO_LIBRARY});
    return steps;
}

// The steps of a script line "pivlo::RecordPoint action version channel".
std::vector<std::string> recordPoint(const std::string& action, const std::string& version, const std::string& channel)
{
    return {"push=" + channel, "push=" + version, "push=" + action, "call=RecordPoint"};
}

TEST(PivloLibrary, ExportsTheThreeAndNothingElse)
{
    const ProgramResult nm = runProgram({"/usr/bin/nm", "-D", "--defined-only", PIVLO_LIBRARY});
    ASSERT_EQ(nm.exitCode, 0) << nm.output;
    std::set<std::string> defined;
    std::istringstream lines(nm.output);
    std::string address, type, name;
    while (lines >> address >> type >> name)
        defined.insert(name);
    EXPECT_EQ(defined, (std::set<std::string>{"Init", "RecordPoint", "Destory"})) << nm.output;
}

// Unloading keeps it mapped: each load would otherwise leave its pools behind.
TEST(PivloLibrary, StaysLoadedWhenUnloaded)
{
    const ProgramResult readelf = runProgram({"/usr/bin/readelf", "-d", PIVLO_LIBRARY});
    ASSERT_EQ(readelf.exitCode, 0) << readelf.output;
    EXPECT_NE(readelf.output.find("NODELETE"), std::string::npos) << readelf.output;
}

class PivloInstallerTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        std::filesystem::remove_all(TemporaryFolder() + "/ZavmoToolNew");
        sim_.setEnvironment();
    }
    void TearDown() override { ::unsetenv("ZAVMO_PIVLO_TIMEOUT_MS"); }
    zavmo::test::Simulator sim_;
};

TEST_F(PivloInstallerTest, AnInstallRecordsItsEventsAndItsLog)
{
    constexpr int kSteps = 25;
    std::vector<std::string> steps = {"threads", "call=Init"};
    for (int i = 0; i < kSteps; ++i)
        for (const std::string& s : recordPoint("step" + std::to_string(i), "2.3.4", "web_olvane"))
            steps.push_back(s);
    for (const char* s : {"push=web_nlive", "call=RecordPoint", "call=Destory", "threads"})
        steps.push_back(s);
    const ProgramResult r = runProgram(host(steps));
    ASSERT_EQ(r.exitCode, 0) << r.output;

    // Every pop took its item; no thread is left after Destory.
    std::smatch m;
    ASSERT_TRUE(std::regex_search(r.output, m, std::regex(R"(^threads=(\d+)\n)"))) << r.output;
    const std::string before = m[1];
    EXPECT_NE(r.output.find("called Destory depth=0\nthreads=" + before + "\n"), std::string::npos) << r.output;
    EXPECT_EQ(r.output.find("depth=1"), std::string::npos) << r.output;

    const auto events = sim_.requests("pelk2");
    ASSERT_EQ(events.size(), static_cast<size_t>(kSteps + 1));
    // Each event its own popped values (the request itself: PostFormTest).
    std::set<std::string> actions;
    for (const Json::Value& e : events) {
        EXPECT_EQ(e["decoded"]["av"], "2.3.4");
        actions.insert(e["decoded"]["ac"].asString() + "|" + e["decoded"]["ct"].asString());
    }
    EXPECT_EQ(actions.size(), static_cast<size_t>(kSteps + 1));
    // One pop only: action; version and channel as before.
    EXPECT_EQ(actions.count("web_nlive|web_olvane"), 1u);

    const auto log = records(readFile(test::datedLog(InstallLogFolder())));
    EXPECT_EQ(log.size(), 2u * (kSteps + 1));
}

TEST_F(PivloInstallerTest, AStalledCollectorDoesNotHangTheInstaller)
{
    sim_.setMode("pelk2", "stall");
    ::setenv("ZAVMO_PIVLO_TIMEOUT_MS", "600", 1);
    std::vector<std::string> steps = {"call=Init"};
    for (int i = 0; i < 4; ++i)
        for (const std::string& s : recordPoint("stalled", "1", "c"))
            steps.push_back(s);
    steps.push_back("call=Destory");
    const ProgramResult r = runProgram(host(steps));
    EXPECT_EQ(r.exitCode, 0) << r.output;
    // Four 600 ms time-outs, far below a hang, with room for a loaded machine.
    EXPECT_LT(r.seconds, 8.0);
    // A request the plug-in gave up on may be read by the simulator only
    // after the installer ended.
    EXPECT_EQ(sim_.waitForRequests("pelk2", 4, 5000).size(), 4u);
    EXPECT_EQ(records(readFile(test::datedLog(InstallLogFolder()))).size(), 4u);
    sim_.reset();
}

TEST_F(PivloInstallerTest, UnloadWithoutDestoryStillEndsCleanly)
{
    std::vector<std::string> steps = {"call=Init"};
    for (const std::string& s : recordPoint("unloaded", "1", "c"))
        steps.push_back(s);
    steps.push_back("unload");
    const ProgramResult r = runProgram(host(steps));
    EXPECT_EQ(r.exitCode, 0) << r.output << "signal " << r.signal;
    EXPECT_NE(r.output.find("unloaded\n"), std::string::npos) << r.output;
    EXPECT_EQ(sim_.waitForRequests("pelk2", 1, 5000).size(), 1u);
    EXPECT_EQ(records(readFile(test::datedLog(InstallLogFolder()))).size(), 2u);

    // A missing export and a missing library are the host's errors.
    EXPECT_EQ(runProgram(host({"call=Destroy"})).exitCode, 2);
    EXPECT_EQ(runProgram({NSIS_HOST, "/nonexistent/libpivlo.so"}).exitCode, 2);
}

} // namespace
} // namespace pivlo
