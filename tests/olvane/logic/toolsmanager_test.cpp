// The live tools manager driving fake tools through their whole life.

#include "logic_support.h"

#include "core/deployment.h"
#include "core/pathlayout.h"
#include "core/stringconstants.h"
#include "core/systemutils.h"
#include "logic/zvlivetoolsmanager.h"

#include "faketools.h"
#include "simulator.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

using namespace logictest;
using zavmo::test::FakeTools;

namespace {

// Receivers of the task signals are queued, as the hub connects them.
struct Recorder : QObject
{
    explicit Recorder(ZvLiveToolsManager& manager)
    {
        connect(
            &manager, &ZvLiveToolsManager::sglLiveToolInstallProgress, this,
            [this](const QString& tool, int p) { progress[tool].append(p); }, Qt::QueuedConnection);
        connect(
            &manager, &ZvLiveToolsManager::sglLiveToolInstallFinished, this,
            [this](const QString& tool) { installed.append(tool); }, Qt::QueuedConnection);
        connect(
            &manager, &ZvLiveToolsManager::sglLiveToolUnInstallFinished, this,
            [this](const QString& tool) { uninstalled.append(tool); }, Qt::QueuedConnection);
        connect(
            &manager, &ZvLiveToolsManager::sglUpdateAppStatus, this,
            [this](const QString& tool, int status) { statuses[tool].append(status); }, Qt::QueuedConnection);
    }
    QMap<QString, QList<int>> progress;
    QStringList installed;
    QStringList uninstalled;
    QMap<QString, QList<int>> statuses;
};

class ToolsManagerTest : public ::testing::Test
{
protected:
    // One simulator for the suite: the analytics events of every test go to
    // it, and each test looks at its own after a reset.
    static void SetUpTestSuite()
    {
        sim = new zavmo::test::Simulator();
        sim->setEnvironment();
    }
    static void TearDownTestSuite()
    {
        delete sim;
        sim = nullptr;
    }
    void SetUp() override
    {
        sim->reset();
        // No Uninstall entry or settings file of an earlier test.
        QFile::remove(qEnvironmentVariable("ZAVMO_REGISTRY"));
        QFile::remove(getSystemSettingPath());
        qputenv("ZAVMO_WINDOWS_ROOT", (dir / "windows").toUtf8());
        qputenv("ZAVMO_FAKE_TOOL_DELAY_MS", "450");
        qputenv("ZAVMO_FAKE_TOOL_MAX_MS", "20000");
        // Present (empty: the real /proc) before any monitor thread runs, so
        // that a test changes its value in place and never grows the
        // environment under a thread reading it.
        qputenv("ZAVMO_PROC_ROOT", "");
    }
    void TearDown() override
    {
        fake.killAll();
        qunsetenv("ZAVMO_WINDOWS_ROOT");
        qunsetenv("ZAVMO_PROC_ROOT");
        qputenv("ZAVMO_OBS_SEARCH_PATH", obsSearchPath);
    }

    // Starts an OBS edition and checks where its event says the path came
    // from (pa_type, OBS_type); one at a time, as the events may travel on
    // two connections.
    static void launchReports(ZvLiveToolsManager& manager, const QString& tool, int paType, int obsType)
    {
        const size_t before = sim->requests("pelk2").size();
        ASSERT_TRUE(manager.launchApplication(tool));
        ASSERT_TRUE(waitFor([&] { return sim->requests("pelk2").size() == before + 1; }));
        const Json::Value event = sim->requests("pelk2").back()["decoded"]["e"];
        EXPECT_EQ(event["type"], tool == kObsClassicToolName ? 3 : 4);
        EXPECT_EQ(event["pa_type"], paType);
        EXPECT_EQ(event["OBS_type"], obsType);
    }

    QString installer(const char* name)
    {
        return QString::fromStdString(FakeTools::place((dir / "download").toStdString(), name));
    }

    static zavmo::test::Simulator* sim;
    const QByteArray obsSearchPath = qgetenv("ZAVMO_OBS_SEARCH_PATH");
    TestFolder dir;
    FakeTools fake;
};

zavmo::test::Simulator* ToolsManagerTest::sim = nullptr;

TEST_F(ToolsManagerTest, ZvToolLivesThroughInstallLaunchKillAndUninstall)
{
    ASSERT_TRUE(deployment::installTrustedCertificates());

    ZvLiveToolsManager manager;
    ASSERT_TRUE(manager.init(1));
    Recorder rec(manager);
    const QString folder = dir / "tools/ZVTool";
    EXPECT_EQ(manager.getAppStatus(kZvToolName), 0);
    // ZVShow has no Uninstall entry the monitor watches.
    EXPECT_TRUE(manager.knowsInstallState(kZvToolName));
    EXPECT_TRUE(manager.knowsInstallState(kObsClassicToolName));
    EXPECT_TRUE(manager.knowsInstallState(kObsStudioToolName));
    EXPECT_FALSE(manager.knowsInstallState(kZvShowToolName));

    // Install: progress rises while the installer runs, 100 at its end.
    const QString zvInstaller = installer("ZVTool_installer.exe");
    fake.hold();
    ASSERT_TRUE(manager.installLiveTool(kZvToolName, zvInstaller, folder, 400));
    EXPECT_EQ(manager.getInstallProgress(kZvToolName), 0);
    EXPECT_FALSE(manager.isUnInstalling(kZvToolName));
    // A second install while one is pending starts nothing.
    EXPECT_TRUE(manager.installLiveTool(kZvToolName, zvInstaller, folder, 400));
    ASSERT_TRUE(waitFor([&] { return rec.progress[kZvToolName].size() >= 2; }));
    fake.release();
    ASSERT_TRUE(waitFor([&] { return rec.installed.size() == 1; }));
    EXPECT_EQ(fake.starts().size(), 1u);
    const QList<int> progress = rec.progress[kZvToolName];
    ASSERT_GE(progress.size(), 3);
    EXPECT_LT(progress.first(), 100);
    EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));
    EXPECT_EQ(progress.last(), 100);
    EXPECT_EQ(manager.getInstallProgress(kZvToolName), -1);
    EXPECT_EQ(fake.starts()[0].args,
              (std::vector<std::string>{"/S", "/D=" + QString(folder).replace('/', '\\').toStdString()}));
    EXPECT_EQ(manager.getAppStatus(kZvToolName), 1);
    EXPECT_EQ(manager.getAppInstallStatus(kZvToolName), 1);
    EXPECT_EQ(manager.getLaunchPath(kZvToolName), folder + "/Tresk.exe");

    // Launch: Tresk starts ZVTool.exe, which the monitor sees.
    ASSERT_TRUE(manager.launchApplication(kZvToolName));
    ASSERT_EQ(fake.waitForStarts("ZVTool.exe", 1, 5000).size(), 1u);
    ASSERT_TRUE(waitFor([&] { return manager.getAppStatus(kZvToolName) == 2; }));
    // The event is sent by the event loop.
    waitFor([&] { return !sim->requests("pelk2").empty(); });
    const auto events = sim->requests("pelk2");
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0]["decoded"]["ac"], "click_livetool_open");
    EXPECT_EQ(events[0]["decoded"]["e"]["type"], 1);
    // The worker saw it start as well.
    ASSERT_TRUE(waitFor([&] { return rec.statuses[kZvToolName].contains(2); }, 3000));

    // Kill: back to installed.
    EXPECT_TRUE(manager.killAppProcess(kZvToolName));
    ASSERT_TRUE(fake.waitUntilGone("ZVTool.exe", 5000));
    EXPECT_EQ(manager.getAppStatus(kZvToolName), 1);

    // Uninstall: the quoted entry's uninstaller runs until it has removed all;
    // the call itself does not wait for it. Process lists that do not show it
    // yet, read in its first moments, do not end the task.
    fake.hold();
    ASSERT_TRUE(QDir().mkpath(dir / "empty-proc"));
    qputenv("ZAVMO_PROC_ROOT", (dir / "empty-proc").toUtf8());
    QElapsedTimer call;
    call.start();
    ASSERT_TRUE(manager.uninstallLiveTool(kZvToolName));
    EXPECT_LT(call.elapsed(), 500);
    EXPECT_TRUE(manager.isUnInstalling(kZvToolName));
    EXPECT_EQ(manager.getInstallProgress(kZvToolName), -1);
    settle(500);
    qputenv("ZAVMO_PROC_ROOT", "");
    EXPECT_TRUE(manager.isUnInstalling(kZvToolName));
    // Past that first second the lists show it: the task goes on while it runs.
    settle(1000);
    EXPECT_TRUE(manager.isUnInstalling(kZvToolName));
    EXPECT_TRUE(rec.uninstalled.isEmpty());
    fake.release();
    ASSERT_TRUE(waitFor([&] { return rec.uninstalled.size() == 1; }));
    EXPECT_EQ(rec.uninstalled[0], kZvToolName);
    EXPECT_FALSE(manager.isUnInstalling(kZvToolName));
    EXPECT_EQ(manager.getAppStatus(kZvToolName), 0);
    EXPECT_FALSE(QFileInfo::exists(folder + "/Tresk.exe"));
    const auto uninstaller = fake.waitForStarts("Au_.exe", 1, 0);
    ASSERT_EQ(uninstaller.size(), 1u);
    EXPECT_EQ(uninstaller[0].args, std::vector<std::string>{"/S"});
    EXPECT_FALSE(manager.uninstallLiveTool(kZvToolName));
    EXPECT_TRUE(manager.killAppProcess(kZvToolName));
}

TEST_F(ToolsManagerTest, ObsClassicInstalledToTheConfiguredFolderCanBeStarted)
{
    ASSERT_TRUE(deployment::installTrustedCertificates());
    ZvLiveToolsManager manager;
    ASSERT_TRUE(manager.init(1));
    Recorder rec(manager);

    // The default folder (no settings file) is a drive path with no blank
    // before "(x86)", so not one of the fixed "Program Files (x86)" paths.
    ASSERT_TRUE(
        manager.installLiveTool(kObsClassicToolName, installer("OBS_installer.exe"), getObsDefaultDir(), 15000));
    ASSERT_TRUE(waitFor([&] { return rec.installed.size() == 1; }));
    const QString exe = dir / "windows/C/Program Files(x86)/OBS/OBS.exe";
    ASSERT_TRUE(QFileInfo::exists(exe));
    EXPECT_EQ(manager.getLaunchPath(kObsClassicToolName), exe);

    ASSERT_TRUE(manager.launchApplication(kObsClassicToolName));
    ASSERT_EQ(fake.waitForStarts("OBS.exe", 1, 5000).size(), 1u);
    EXPECT_TRUE(waitFor([&] { return manager.getAppStatus(kObsClassicToolName) == 2; }));
    // The event is sent by the event loop.
    waitFor([&] { return !sim->requests("pelk2").empty(); });
    const auto events = sim->requests("pelk2");
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0]["decoded"]["e"]["type"], 3);
    EXPECT_EQ(events[0]["decoded"]["e"]["pa_type"], 1);
    EXPECT_EQ(events[0]["decoded"]["e"]["OBS_type"], 1);
    EXPECT_TRUE(manager.killAppProcess(kObsClassicToolName));
    EXPECT_TRUE(fake.waitUntilGone("OBS.exe", 5000));
}

TEST_F(ToolsManagerTest, ObsLaunchPathsComeFromTheUserTheOtherManagerOrTheInstallFolder)
{
    {
        QSettings settings(getSystemSettingPath(), QSettings::IniFormat);
        settings.setValue("OBS/installPath", dir / "my obs");
    }
    const QString mine = QString::fromStdString(FakeTools::place((dir / "my obs").toStdString(), "OBS.exe"));
    ASSERT_TRUE(deployment::installTrustedCertificates());
    ZvLiveToolsManager manager;
    Recorder rec(manager);
    ASSERT_TRUE(manager.init(1));
    EXPECT_EQ(manager.getLaunchPath(kObsClassicToolName), mine);
    EXPECT_EQ(manager.getAppStatus(kObsClassicToolName), 1);
    // The worker's first report: not in the registry, but it can be started.
    ASSERT_TRUE(waitFor([&] { return rec.statuses.size() == 3; }, 3000));
    EXPECT_EQ(rec.statuses[kObsClassicToolName], QList<int>{1});
    EXPECT_EQ(rec.statuses[kZvToolName], QList<int>{0});

    // The other live manager's own OBS comes before the install folder.
    const QString other =
        QString::fromStdString(FakeTools::place((dir / "kestro/resources/tools/OBS").toStdString(), "OBS.exe"));
    writeUninstallEntry(kOtherManagerToolName, "\"" + dir / "kestro/uninst.exe\"");
    EXPECT_EQ(manager.getLaunchPath(kObsClassicToolName), other);

    // A path the user chose wins when it exists; ZVTool ignores it.
    const QString chosen = QString::fromStdString(FakeTools::place((dir / "chosen").toStdString(), "OBS.exe"));
    manager.setLaunchPath(kObsClassicToolName, chosen);
    manager.setLaunchPath(kZvToolName, chosen);
    EXPECT_EQ(manager.getLaunchPath(kObsClassicToolName), chosen);
    EXPECT_EQ(manager.getLaunchPath(kZvToolName), "");
    manager.setLaunchPath(kObsClassicToolName, dir / "gone/OBS.exe");
    EXPECT_EQ(manager.getLaunchPath(kObsClassicToolName), other);

    // Each start reports where its path came from: the other manager's OBS,
    // the user's choice naming that same OBS, the user's own.
    launchReports(manager, kObsClassicToolName, 1, 2);
    manager.setLaunchPath(kObsClassicToolName, other);
    launchReports(manager, kObsClassicToolName, 2, 2);
    manager.setLaunchPath(kObsClassicToolName, chosen);
    launchReports(manager, kObsClassicToolName, 2, 3);
    EXPECT_EQ(fake.waitForStarts("OBS.exe", 3, 5000).size(), 3u);

    EXPECT_EQ(manager.getAppStatus(kZvShowToolName), 0);
    EXPECT_EQ(manager.getLaunchPath("unknown"), "");
    EXPECT_FALSE(manager.launchApplication("unknown"));
    LogCapture log;
    const size_t sent = sim->requests("pelk2").size();
    EXPECT_FALSE(manager.launchApplication(kZvShowToolName));
    EXPECT_TRUE(log.contains("{launch " + kZvShowToolName + " failed , path : }"));
    // Its event goes all the same: awaited, not to come after the next test's reset.
    EXPECT_TRUE(waitFor([&] { return sim->requests("pelk2").size() == sent + 1; }));
}

TEST_F(ToolsManagerTest, TasksEndWhenTheirProcessIsGoneButNotOnAFailedScan)
{
    ASSERT_TRUE(deployment::installTrustedCertificates());
    ZvLiveToolsManager manager;
    ASSERT_TRUE(manager.init(1));
    Recorder rec(manager);

    // An installer that ends at once: 100 and finished on the first tick
    // that finds it gone (a busy machine may let one tick still see it).
    qputenv("ZAVMO_FAKE_TOOL_DELAY_MS", "0");
    ASSERT_TRUE(
        manager.installLiveTool(kObsStudioToolName, installer("OBS_Studio_installer.exe"), dir / "studio", 15000));
    ASSERT_TRUE(waitFor([&] { return rec.installed.size() == 1; }, 3000));
    ASSERT_FALSE(rec.progress[kObsStudioToolName].isEmpty());
    EXPECT_EQ(rec.progress[kObsStudioToolName].last(), 100);
    EXPECT_EQ(manager.getAppStatus(kObsStudioToolName), 1);
    EXPECT_EQ(manager.getLaunchPath(kObsStudioToolName), dir / "studio/bin/32bit/obs32.exe");
    // The user's path naming the install's second program is the install's own.
    manager.setLaunchPath(kObsStudioToolName, dir / "studio/bin/64bit/obs64.exe");
    ASSERT_TRUE(manager.launchApplication(kObsStudioToolName));
    Json::Value event;
    ASSERT_TRUE(waitFor([&] {
        for (const Json::Value& r : sim->requests("pelk2"))
            if (r["decoded"]["e"]["type"] == 4) // not a late one of another test
                event = r["decoded"]["e"];
        return !event.isNull();
    }));
    EXPECT_EQ(event["pa_type"], 2);
    EXPECT_EQ(event["OBS_type"], 1);

    // While the process list cannot be read, the task stays pending. (An
    // expected time of 0 is no divisor.)
    qputenv("ZAVMO_FAKE_TOOL_DELAY_MS", "300");
    qputenv("ZAVMO_PROC_ROOT", (dir / "no-proc").toUtf8());
    ASSERT_TRUE(manager.installLiveTool(kZvToolName, installer("ZVTool_installer.exe"), dir / "zv", 0));
    settle(600);
    EXPECT_TRUE(rec.installed.size() == 1);
    EXPECT_EQ(manager.getInstallProgress(kZvToolName), 0);
    qputenv("ZAVMO_PROC_ROOT", "");
    ASSERT_TRUE(waitFor([&] { return rec.installed.size() == 2; }, 3000));

    // Two tasks: the one that ends first leaves the other polled.
    fake.hold();
    ASSERT_TRUE(manager.installLiveTool(kZvShowToolName, installer("ZVShow-installer.exe"), dir / "show", 350));
    qputenv("ZAVMO_FAKE_TOOL_HOLD", ""); // the second installer is not held
    qputenv("ZAVMO_FAKE_TOOL_DELAY_MS", "0");
    ASSERT_TRUE(manager.installLiveTool(kObsClassicToolName, installer("OBS_installer.exe"), dir / "obs", 15000));
    ASSERT_TRUE(waitFor([&] { return rec.installed.size() == 3 && rec.progress[kZvShowToolName].size() >= 2; }));
    fake.release();
    ASSERT_TRUE(waitFor([&] { return rec.installed.size() == 4; }, 5000));
    EXPECT_EQ(rec.installed.mid(2), (QStringList{kObsClassicToolName, kZvShowToolName}));
    const QList<int> show = rec.progress[kZvShowToolName];
    ASSERT_GE(show.size(), 3);
    EXPECT_EQ(show.first(), 200 * 100 / 350);
    // Past its expected time the installer still runs: the progress holds at 100.
    EXPECT_EQ(show[1], 100);
    EXPECT_TRUE(std::all_of(show.begin(), show.end(), [](int p) { return p <= 100; }));
    EXPECT_EQ(show.last(), 100);

    // A start the shell refuses queues nothing.
    LogCapture log;
    EXPECT_FALSE(manager.installLiveTool(kZvToolName, dir / "missing.exe", dir / "zv", 15000));
    EXPECT_TRUE(log.contains("by kx open " + kZvToolName + " install failed,err code : 2"));
    EXPECT_EQ(manager.getInstallProgress(kZvToolName), -1);
    // So does an uninstaller that has gone.
    writeUninstallEntry(kObsStudioToolName, "\"" + dir / "gone/Un_A.exe\"");
    EXPECT_FALSE(manager.uninstallLiveTool(kObsStudioToolName));
    EXPECT_TRUE(log.contains("[Logic] by kx open " + kObsStudioToolName + " uninst failed,err code : 2"));
    EXPECT_FALSE(manager.isUnInstalling(kObsStudioToolName));
}

} // namespace

TEST_F(ToolsManagerTest, DistributionsObsOnTheSearchPathIsOBSStudio)
{
    ASSERT_TRUE(deployment::installTrustedCertificates());
    ZvLiveToolsManager manager;
    ASSERT_TRUE(manager.init(1));
    Recorder rec(manager);
    // The test's own search folder is empty: nothing found, nothing installed.
    EXPECT_EQ(manager.getAppStatus(kObsStudioToolName), 0);

    // The first absolute folder holding an executable "obs" wins; empty and
    // relative entries (even one that names such a folder from the working
    // folder), a file that cannot be run and a folder are passed over.
    const QString search = qEnvironmentVariable("ZAVMO_OBS_SEARCH_PATH");
    put(dir / "plain/obs", "not a program");
    ASSERT_TRUE(QDir().mkpath(dir / "folder/obs"));
    const QString obs = QString::fromStdString(FakeTools::place((dir / "bin").toStdString(), "obs"));
    FakeTools::place((dir / "later").toStdString(), "obs");
    qputenv("ZAVMO_OBS_SEARCH_PATH",
            ("::later:" + search + ":" + dir / "plain:" + dir / "folder:" + dir / "bin/:" + dir / "later").toUtf8());
    const QString workingFolder = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(dir.path()));
    EXPECT_EQ(manager.getLaunchPath(kObsStudioToolName), obs);
    QDir::setCurrent(workingFolder);
    EXPECT_EQ(manager.getAppInstallStatus(kObsStudioToolName), 1);

    // Started, it is seen running by every scan, and killed.
    launchReports(manager, kObsStudioToolName, 1, 1);
    ASSERT_EQ(fake.waitForStarts("obs", 1, 5000).size(), 1u);
    ASSERT_TRUE(waitFor([&] { return manager.getAppStatus(kObsStudioToolName) == 2; }));
    ASSERT_TRUE(waitFor([&] { return rec.statuses[kObsStudioToolName].contains(2); }, 3000));
    EXPECT_TRUE(manager.killAppProcess(kObsStudioToolName));
    ASSERT_TRUE(fake.waitUntilGone("obs", 5000));
    EXPECT_EQ(manager.getAppStatus(kObsStudioToolName), 1);

    // Chosen by the user, it still counts as the installed OBS Studio.
    manager.setLaunchPath(kObsStudioToolName, obs);
    launchReports(manager, kObsStudioToolName, 2, 1);
    manager.setLaunchPath(kObsStudioToolName, dir / "later/obs");
    launchReports(manager, kObsStudioToolName, 2, 3);
    EXPECT_EQ(fake.waitForStarts("obs", 3, 5000).size(), 3u);
    fake.killAll();

    // An Uninstall entry with its program comes first.
    manager.setLaunchPath(kObsStudioToolName, QString());
    FakeTools::place((dir / "studio/bin/64bit").toStdString(), "obs64.exe");
    writeUninstallEntry(kObsStudioToolName, "\"" + dir / "studio/Un_A.exe\"");
    EXPECT_EQ(manager.getAppStatus(kObsStudioToolName), 1); // rescans the registry
    EXPECT_EQ(manager.getLaunchPath(kObsStudioToolName), dir / "studio/bin/64bit/obs64.exe");
}

TEST_F(ToolsManagerTest, AnotherUsersObsIsNeitherCountedNorKilled)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "starting a process as another user needs root";
    // The test's root is private (0700): the other user's "obs" lives where
    // it can be reached, readable so that its /proc entry is its own.
    QTemporaryDir folder(QStringLiteral("/tmp/zavmo-other-user-XXXXXX"));
    ASSERT_TRUE(folder.isValid());
    ASSERT_EQ(::chmod(folder.path().toUtf8().constData(), 0711), 0);
    const QString obs = folder.filePath(QStringLiteral("obs"));
    ASSERT_TRUE(QFile::copy(QStringLiteral("/bin/sleep"), obs));
    ASSERT_EQ(::chmod(obs.toUtf8().constData(), 0755), 0);
    QProcess other; // killed and reaped by its destructor at the latest
    other.start(QStringLiteral("setpriv"), {QStringLiteral("--reuid=65534"), QStringLiteral("--regid=65534"),
                                            QStringLiteral("--clear-groups"), obs, QStringLiteral("60")});
    ASSERT_TRUE(other.waitForStarted());
    const QString entry = QStringLiteral("/proc/%1").arg(other.processId());
    ASSERT_TRUE(waitFor([&] {
        return QFileInfo(entry + QStringLiteral("/exe")).symLinkTarget() == obs && QFileInfo(entry).ownerId() == 65534;
    }));

    ASSERT_TRUE(deployment::installTrustedCertificates());
    ZvLiveToolsManager manager;
    ASSERT_TRUE(manager.init(1));
    EXPECT_NE(manager.getAppStatus(kObsStudioToolName), int(APP_RUNNING));
    manager.killAppProcess(kObsStudioToolName);
    EXPECT_FALSE(other.waitForFinished(300));
    other.kill();
    other.waitForFinished();
}
