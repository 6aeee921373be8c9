#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <ctime>
#include <random>

#include "crash_harness.h"
#include "platform/crash.h"

namespace pc = platform::crash;

namespace {

const std::string kChild = "platform_crash_child";
const std::string kVersion = "V9.8.7";

std::string chainLibrary(const std::string& name)
{
    return std::string(CHAIN_LIBRARY_DIR) + "/libzavmo_chain_" + name + ".so";
}

crashtest::Result crash(std::vector<std::string> args, std::vector<std::string> extra = {}, bool withReporter = true,
                        std::vector<std::string> env = {})
{
    crashtest::Setup setup;
    setup.program = CRASH_CHILD_PATH;
    setup.args = std::move(args);
    setup.extraFiles = std::move(extra);
    setup.withReporter = withReporter;
    setup.env = std::move(env);
    return crashtest::run(setup);
}

crashtest::Result crashChain(const std::vector<std::string>& modules, const char* mode = "chain")
{
    std::vector<std::string> args{mode}, files;
    for (const std::string& m : modules) {
        args.push_back("libzavmo_chain_" + m + ".so");
        files.push_back(chainLibrary(m));
    }
    return crash(args, files);
}

void expectReported(const crashtest::Result& r)
{
    crashtest::expectReported(r, kChild, kVersion, "ftp://crash.example//Test//", "user:secret word");
}

std::string dumpText(const crashtest::Result& r)
{
    return r.dumpNames.empty() ? std::string() : crashtest::readFile(r.appDir + "/" + r.dumpNames[0]);
}

bool contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

} // namespace

// ---------------------------------------------------------------- pure pieces

TEST(CrashCivilTime, MatchesGmtimeAcrossCenturies)
{
    std::mt19937_64 rng(7);
    std::vector<int64_t> samples = {
        0,          59, 86399, 86400, 951782400 /* 2000-02-29 */, 951868800, 4107542399 /* 2100-02-28 end */,
        4107542400, -1, -86401};
    for (int i = 0; i < 20000; ++i)
        samples.push_back(int64_t(rng() % 8000000000ULL) - 1000000000LL);
    for (int64_t s : samples) {
        time_t t = time_t(s);
        tm expected{};
        ASSERT_NE(gmtime_r(&t, &expected), nullptr);
        pc::CivilTime got = pc::civilFromSeconds(s);
        ASSERT_EQ(got.year, expected.tm_year + 1900) << s;
        ASSERT_EQ(got.month, expected.tm_mon + 1) << s;
        ASSERT_EQ(got.day, expected.tm_mday) << s;
        ASSERT_EQ(got.hour, expected.tm_hour) << s;
        ASSERT_EQ(got.minute, expected.tm_min) << s;
        ASSERT_EQ(got.second, expected.tm_sec) << s;
    }
}

TEST(CrashDumpName, PadsEveryField)
{
    pc::CivilTime t;
    t.year = 2026, t.month = 12, t.day = 8, t.hour = 9, t.minute = 29, t.second = 26;
    EXPECT_EQ(pc::dumpFileName("Olvane", "V1.0.0", t), "Olvane_2026-1208-0929-26_V1.0.0.dmp");
    t.year = 987, t.month = 1, t.day = 2, t.hour = 0, t.minute = 0, t.second = 5;
    EXPECT_EQ(pc::dumpFileName("a b", "", t), "a b_0987-0102-0000-05_.dmp");
}

TEST(CrashMessages, HintRulesAndGeneralMessage)
{
    pc::Messages m;
    m.caption = "Cap";
    m.noHintFaultModules = {"Skip.DLL"};
    m.hints = {{"Frame.dll", "", "frame hint %s!"}, {"Media.dll", "codec.dll", "media hint %s/%s"}};
    m.general = "general %s";

    // No hint at all: the general text (its "%s" is filled too).
    EXPECT_EQ(pc::chooseMessage(m, "x.so", {"a.so", "b.so"}), "Cap: general x.so");
    // Module names compare without regard to case.
    EXPECT_EQ(pc::chooseMessage(m, "drv.so", {"a.so", "FRAME.DLL"}), "Cap: frame hint drv.so!");
    // A fault inside a listed module looks for no hint.
    EXPECT_EQ(pc::chooseMessage(m, "skip.dll", {"Frame.dll"}), "Cap: general skip.dll");
    // The exception of a rule lets the walk go on to outer frames.
    EXPECT_EQ(pc::chooseMessage(m, "CODEC.dll", {"media.dll"}), "Cap: general CODEC.dll");
    EXPECT_EQ(pc::chooseMessage(m, "codec.dll", {"media.dll", "frame.dll"}), "Cap: frame hint codec.dll!");
    EXPECT_EQ(pc::chooseMessage(m, "other.so", {"media.dll", "frame.dll"}), "Cap: media hint other.so/other.so");
    // An unknown faulting module still gives a readable text.
    EXPECT_EQ(pc::chooseMessage(m, "", {"Frame.dll"}), "Cap: frame hint ?!");
    // The faulting frame itself is not among the callers: nothing to find.
    EXPECT_EQ(pc::chooseMessage(m, "Frame.dll", {}), "Cap: general Frame.dll");
}

TEST(CrashInstall, RejectsBadConfigurationWithoutInstalling)
{
    std::string error;
    pc::Config c;
    EXPECT_FALSE(pc::install(c, &error));
    EXPECT_FALSE(error.empty());

    c.dumpFolder = "/tmp";
    c.reporterArgs = {"a"};
    c.dumpPathArg = 1;
    EXPECT_FALSE(pc::install(c, &error));
    c.dumpPathArg = -2;
    EXPECT_FALSE(pc::install(c, &error));

    c.dumpPathArg = 0;
    c.dumpFolder = "/" + std::string(5000, 'x');
    EXPECT_FALSE(pc::install(c, &error));
    EXPECT_FALSE(pc::isInstalled());
}

// ---------------------------------------------------------------- real crashes

TEST(CrashChild, NullPointerLeavesDumpAndStartsReporter)
{
    auto r = crash({"null"});
    expectReported(r);
    EXPECT_EQ(r.stderrText, "Crash: general message\n");

    // The reporter inherits no descriptor above 2, no blocked or ignored signal.
    EXPECT_EQ(r.reporterFds, "");
    EXPECT_EQ(r.sigBlk, "0000000000000000");
    EXPECT_EQ(r.sigIgn, "0000000000000000");

    std::string dump = dumpText(r);
    EXPECT_EQ(dump.rfind("ZAVMO CRASH DUMP 1\nprogram: " + r.programPath + "\nversion: V9.8.7\n", 0), 0u)
        << dump.substr(0, 200);
    EXPECT_TRUE(contains(dump, "\nsignal: 11 SIGSEGV\n"));
    EXPECT_TRUE(contains(dump, "\naddress: 0x0000000000000000\n"));
    EXPECT_TRUE(contains(dump, "\npc: 0x")) << dump;
    EXPECT_TRUE(contains(dump, " " + kChild + "+0x"));
    EXPECT_TRUE(contains(dump, "\nregisters:\n"));
#if defined(__x86_64__)
    EXPECT_TRUE(contains(dump, "\n  rip 0x"));
#endif
    // The unwinder got through the signal frame into the program's frames.
    EXPECT_TRUE(contains(dump, "frames: ")) << dump;
    EXPECT_TRUE(contains(dump, " unwind\n  #0 0x")) << dump.substr(0, 2000);
    EXPECT_TRUE(contains(dump, "  #2 0x"));
    EXPECT_TRUE(contains(dump, "\nstack: 0x"));
    EXPECT_TRUE(contains(dump, "\nmap:\n"));
    EXPECT_TRUE(contains(dump, "/" + kChild + "\n"));
    EXPECT_EQ(dump.substr(dump.size() - 4), "end\n");
}

TEST(CrashChild, CallThroughNullPointerFallsBackToTheFrameChain)
{
    auto r = crash({"badcall"});
    expectReported(r);
    std::string dump = dumpText(r);
    // No unwind information at address 0: the caller comes from the top of the stack.
    EXPECT_TRUE(contains(dump, "\npc: 0x0000000000000000\n")) << dump.substr(0, 300);
    EXPECT_TRUE(contains(dump, " framechain\n  #0 0x0000000000000000\n  #1 0x")) << dump.substr(0, 2000);
    size_t first = dump.find("  #1 0x");
    ASSERT_NE(first, std::string::npos);
    EXPECT_TRUE(contains(dump.substr(first, dump.find('\n', first) - first), " " + kChild + "+0x"));
}

TEST(CrashChild, FaultWhileOtherThreadsUseTheHeap)
{
    for (int round = 0; round < 3; ++round) {
        auto r = crash({"heap"});
        expectReported(r);
        EXPECT_EQ(r.stderrText, "Crash: general message\n");
        EXPECT_TRUE(contains(dumpText(r), "\nend\n"));
    }
}

TEST(CrashChild, FaultInALaterThreadWhileOthersUseTheHeap)
{
    auto r = crash({"thread"});
    expectReported(r);
    EXPECT_TRUE(contains(dumpText(r), "\nsignal: 11 SIGSEGV\n"));
}

TEST(CrashChild, TwoFaultingThreadsGiveOneReport)
{
    auto r = crash({"two"});
    expectReported(r);
    EXPECT_EQ(r.stderrText, "Crash: general message\n");
}

TEST(CrashChild, AbortAndStackOverflowAreReported)
{
    auto aborted = crash({"abort"});
    expectReported(aborted);
    EXPECT_TRUE(contains(dumpText(aborted), "\nsignal: 6 SIGABRT\n"));

    auto overflow = crash({"overflow"});
    expectReported(overflow);
    std::string dump = dumpText(overflow);
    EXPECT_TRUE(contains(dump, "\nsignal: 11 SIGSEGV\n"));
    EXPECT_EQ(dump.substr(dump.size() - 4), "end\n");
}

TEST(CrashChild, ReporterMissingOrDumpUnwritableStillEndsCleanly)
{
    auto noReporter = crash({"null"}, {}, false);
    ASSERT_TRUE(noReporter.exited);
    EXPECT_EQ(noReporter.exitCode, 0);
    EXPECT_EQ(noReporter.dumpNames.size(), 1u);
    EXPECT_FALSE(noReporter.reporterRan);
    EXPECT_EQ(noReporter.stderrText, "Crash: general message\n");

    // The reporter starts all the same, with the path of the dump that was not written.
    auto noDump = crash({"null"}, {}, true, {"CHILD_DUMP_FOLDER=/nonexistent/zavmo"});
    ASSERT_TRUE(noDump.exited);
    EXPECT_EQ(noDump.exitCode, 0);
    EXPECT_TRUE(noDump.dumpNames.empty());
    ASSERT_TRUE(noDump.reporterRan);
    ASSERT_EQ(noDump.reporterArgv.size(), 5u);
    const std::string prefix = "/nonexistent/zavmo/" + kChild + "_";
    EXPECT_EQ(noDump.reporterArgv[2].rfind(prefix, 0), 0u) << noDump.reporterArgv[2];
    EXPECT_TRUE(crashtest::dumpNameMatches(noDump.reporterArgv[2].substr(prefix.size() - kChild.size() - 1), kChild,
                                           kVersion, noDump.startTime, noDump.endTime));
}

TEST(CrashChild, HintsFollowTheModulesOfTheCallChain)
{
    // Fault in "plain", called from "gfx": the graphics hint names "plain".
    auto r = crashChain({"gfx", "plain"});
    expectReported(r);
    EXPECT_EQ(r.stderrText, "Crash: graphics hint in libzavmo_chain_plain.so\n");
    EXPECT_TRUE(contains(dumpText(r), " libzavmo_chain_plain.so+0x"));

    // A fault inside "gfx" itself looks for no hint.
    r = crashChain({"plain", "gfx"});
    expectReported(r);
    EXPECT_EQ(r.stderrText, "Crash: general message\n");

    // "media" gives its hint unless the fault is in "codec"; then outer frames count.
    r = crashChain({"media", "plain"});
    EXPECT_EQ(r.stderrText, "Crash: media hint in libzavmo_chain_plain.so\n");
    r = crashChain({"media", "codec"});
    EXPECT_EQ(r.stderrText, "Crash: general message\n");
    r = crashChain({"gfx", "media", "codec"});
    expectReported(r);
    EXPECT_EQ(r.stderrText, "Crash: graphics hint in libzavmo_chain_codec.so\n");
}

TEST(CrashChild, ModulesLoadedAfterInstallAreNamed)
{
    auto r = crashChain({"gfx", "plain"}, "latechain");
    expectReported(r);
    EXPECT_EQ(r.stderrText, "Crash: graphics hint in libzavmo_chain_plain.so\n");
    const std::string dump = dumpText(r);
    EXPECT_TRUE(contains(dump, "\npc: 0x")) << dump.substr(0, 2000);
    EXPECT_TRUE(contains(dump, " libzavmo_chain_plain.so+0x")) << dump.substr(0, 2000);
    EXPECT_TRUE(contains(dump, " libzavmo_chain_gfx.so+0x")) << dump.substr(0, 2000);
    // The map in the dump is the one at crash time.
    EXPECT_TRUE(contains(dump.substr(dump.find("\nmap:\n")), "/libzavmo_chain_plain.so\n"));
}

TEST(CrashChild, MapTooLargeToReadAgainFallsBackToTheInstallTimeMap)
{
    auto r = crash({"bigmap"});
    expectReported(r);
    const std::string dump = dumpText(r);
    EXPECT_TRUE(contains(dump, " " + kChild + "+0x")) << dump.substr(0, 2000);
    const std::string map = dump.substr(dump.find("\nmap:\n"));
    EXPECT_LT(std::count(map.begin(), map.end(), '\n'), 5000);
    EXPECT_EQ(dump.substr(dump.size() - 4), "end\n");
}
