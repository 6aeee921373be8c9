// The status monitor's process side and its worker, with fake tools running.

#include "logic_support.h"

#include "core/systemutils.h"
#include "logic/zvappstatusmonitor.h"

#include "faketools.h"

#include <gtest/gtest.h>

#include <QMutex>
#include <QVector>

#include <atomic>
#include <chrono>
#include <future>
#include <utility>

using namespace logictest;
using zavmo::test::FakeTools;

namespace {

MonitoredAppRecord record(const wchar_t* first, const wchar_t* second = L"")
{
    MonitoredAppRecord r;
    r.installerProcessName = L"Au_.exe";
    r.first = {first, L"x.exe", false};
    r.second = {second, L"y.exe", false};
    return r;
}

class MonitorProcessTest : public ::testing::Test
{
protected:
    // Starts a fake tool under `name`; its pid once it is logged, else 0.
    int startTool(const std::string& name)
    {
        const size_t before = fake.waitForStarts(name, 0, 0).size();
        const std::string program = FakeTools::place(dir.path().toStdString(), name);
        EXPECT_TRUE(startDetachedProcess(QString::fromStdString(program), {}));
        const auto starts = fake.waitForStarts(name, before + 1, 5000);
        return starts.size() > before ? starts.back().pid : 0;
    }

    TestFolder dir;
    FakeTools fake;
};

TEST_F(MonitorProcessTest, OneProcessMarksTheFirstPendingProgramEvenIfNotInstalled)
{
    ZvAppStatusMonitor monitor;
    monitor.addApp(L"A", record(L"obs64.exe"));
    monitor.addApp(L"B", record(L"obs32.exe", L"obs64.exe"));
    EXPECT_EQ(monitor.getAppStatus(L"A"), 0);
    EXPECT_EQ(monitor.getRunningExeName(L"B"), L"");

    ASSERT_GT(startTool("obs64.exe"), 0);
    EXPECT_EQ(monitor.getAppStatus(L"A"), 2);
    EXPECT_EQ(monitor.getRunningExeName(L"A"), L"obs64.exe");
    // The one obs64.exe went to "A", first in key order.
    EXPECT_EQ(monitor.getAppStatus(L"B"), 0);

    ASSERT_GT(startTool("obs64.exe"), 0);
    EXPECT_EQ(monitor.getAppStatus(L"B"), 2);
    EXPECT_EQ(monitor.getRunningExeName(L"B"), L"obs64.exe");

    fake.killAll();
    ASSERT_TRUE(fake.waitUntilGone("obs64.exe", 5000));
    EXPECT_EQ(monitor.getAppStatus(L"A"), 0);
    EXPECT_EQ(monitor.getRunningExeName(L"A"), L"");
}

TEST_F(MonitorProcessTest, AFailedScanKeepsTheLastRunningState)
{
    ZvAppStatusMonitor monitor;
    monitor.addApp(L"A", record(L"obs32.exe"));
    ASSERT_GT(startTool("obs32.exe"), 0);
    EXPECT_EQ(monitor.getAppStatus(L"A"), 2);

    fake.killAll();
    ASSERT_TRUE(fake.waitUntilGone("obs32.exe", 5000));
    qputenv("ZAVMO_PROC_ROOT", (dir / "no-proc").toUtf8());
    EXPECT_EQ(monitor.getAppStatus(L"A"), 2);
    qunsetenv("ZAVMO_PROC_ROOT");
    EXPECT_EQ(monitor.getAppStatus(L"A"), 0);
}

TEST_F(MonitorProcessTest, TheWorkerReportsChangesOnceAndNothingAfterStop)
{
    QMutex mutex;
    QVector<std::pair<std::wstring, int>> reports;
    const auto collect = [&](const std::wstring& name, int status) {
        QMutexLocker locker(&mutex);
        reports.append({name, status});
    };
    const auto reported = [&] {
        QMutexLocker locker(&mutex);
        return reports;
    };

    ZvAppStatusMonitor monitor;
    monitor.addApp(L"A", record(L"obs32.exe"));
    monitor.addApp(L"B", record(L"ZVShow.exe"));
    ASSERT_TRUE(monitor.start(2, collect));
    // The second start changes nothing: its callback is never called.
    int ignored = 0;
    EXPECT_TRUE(monitor.start(0, [&](const std::wstring&, int) { ++ignored; }));

    // The first pass reports every program once.
    ASSERT_TRUE(waitFor([&] { return reported().size() == 2; }, 3000));
    EXPECT_EQ(reported()[0], std::make_pair(std::wstring(L"A"), 0));
    EXPECT_EQ(reported()[1], std::make_pair(std::wstring(L"B"), 0));

    ASSERT_GT(startTool("obs32.exe"), 0);
    ASSERT_TRUE(waitFor([&] { return reported().size() == 3; }, 3000));
    EXPECT_EQ(reported()[2], std::make_pair(std::wstring(L"A"), 2));
    fake.killAll();
    ASSERT_TRUE(waitFor([&] { return reported().size() == 4; }, 3000));
    EXPECT_EQ(reported()[3], std::make_pair(std::wstring(L"A"), 0));

    monitor.stop();
    const int afterStop = reported().size();
    ASSERT_GT(startTool("ZVShow.exe"), 0);
    settle(700);
    EXPECT_EQ(reported().size(), afterStop);
    EXPECT_EQ(ignored, 0);
}

TEST_F(MonitorProcessTest, TheCallbackRunsUnlockedAndStopWakesTheWorker)
{
    ZvAppStatusMonitor monitor;
    monitor.addApp(L"A", record(L"never.exe"));
    std::promise<void> entered;
    std::promise<void> answered;
    std::atomic<bool> answeredInTime{false};
    std::atomic<int> calls{0};
    ASSERT_TRUE(monitor.start(2, [&](const std::wstring&, int) {
        if (calls++ != 0)
            return;
        entered.set_value();
        // Another thread's getter goes through while the callback runs.
        answeredInTime = answered.get_future().wait_for(std::chrono::seconds(2)) == std::future_status::ready;
    }));
    ASSERT_EQ(entered.get_future().wait_for(std::chrono::seconds(3)), std::future_status::ready);
    EXPECT_TRUE(monitor.hasApp(L"A"));
    answered.set_value();
    // The pass ends and the worker goes into its wait; nothing tells when.
    settle(100);

    // The worker is woken from its 500 ms wait, not slept out.
    const auto before = std::chrono::steady_clock::now();
    monitor.stop();
    const auto elapsed = std::chrono::steady_clock::now() - before;
    EXPECT_LT(std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count(), 300);
    EXPECT_TRUE(answeredInTime);
    EXPECT_EQ(calls, 1);
}

} // namespace
