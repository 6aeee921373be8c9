#pragma once
// The main window against OlvaneWorld's simulator, with the fake tools: each test gets a fresh window, settings, registry and download
// folder, and the runtimes installed (so starting OBS asks for no repair
// unless a test takes one away).

#include "ui/mainwindow/zavmomanager.h"

#include "account.h"
#include "core/appconfig.h"
#include "core/pathlayout.h"
#include "core/serverurltable.h"
#include "core/stringconstants.h"
#include "logic/loginmanager.h"
#include "logic/zvappstatusmonitor.h"
#include "logic/zvlivetoolsmanager.h"
#include "logic/zvlogicfw.h"
#include "ui/mainwindow/widgets/mainwindowlink.h"
#include "ui/mainwindow/widgets/uilogiclistener.h"

#include "platform/registry.h"
#include "platform/runtime.h"

#include "faketools.h"
#include "modalresponder.h"
#include "olvaneworld.h"
#include "qtwait.h"
#include "widgettest.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QHash>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>
#include <gtest/gtest.h>

#include <memory>

using namespace zavmo::test;

namespace mainwindowtest {

namespace account = zavmo::sim::account;

// The installers' CDN folder below the simulator's files root, as the URL table names it.
inline QString cdnPath()
{
    return QUrl(QString::fromUtf8(obsInstallerUrl())).adjusted(QUrl::RemoveFilename).path().mid(1).chopped(1);
}

// The hub is the program's, initialised by the window and shut down with
// the application object.
class MainWindowTest : public OlvaneWorld
{
protected:
    static void SetUpTestSuite()
    {
        if (sim)
            return;
        ASSERT_NO_FATAL_FAILURE(startSimulator());
        qputenv("ZAVMO_FAKE_TOOL_DELAY_MS", "20");
        setProcessFolder("");
    }

    void SetUp() override
    {
        ASSERT_TRUE(root.isValid());
        qputenv("ZAVMO_WINDOWS_ROOT", root.filePath("windows").toUtf8());
        QFile::remove(qEnvironmentVariable("ZAVMO_REGISTRY"));
        QFile::remove(getSystemSettingPath());
        QFile::remove(qEnvironmentVariable("ZAVMO_SHELL_RECORD"));
        QDir(getDownloadDir()).removeRecursively();
        QDir(cdnFolder()).removeRecursively();
        OlvaneWorld::SetUp();
        installRuntimes();
        setQuitFunction([this] { ++quits; });
        setSystemTrayAvailableFunction([this] { return trayAvailable; });
        window = std::make_unique<zavmoManager>();
        ASSERT_TRUE(window->initialize());
        statusWatch = std::make_unique<QObject>();
        QObject::connect(ZvLogicFW::instance()->getLiveToolsManager(), &ZvLiveToolsManager::sglUpdateAppStatus,
                         statusWatch.get(), [this](const QString& tool, int status) { reported[tool] = status; });
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    }

    void TearDown() override
    {
        if (LoginManager* login = ZvLogicFW::instance()->getLoginManager(); login && login->isLogin())
            login->logout();
        window.reset();
        // SIGKILL ends a process a little later: one still in the process
        // list would count as running in the next test's start flow. A
        // launcher's tool may start while this runs, so each pass kills again.
        EXPECT_TRUE(waitUntil([&] { return fake.killAll() == 0; }, 5000));
        // A monitor pass that listed the processes before they ended may not
        // have reported yet: its late "running" would be followed by a
        // "stopped" in the next test, perhaps while that test's room is open.
        // So that pass ends first, and its reports are delivered.
        const unsigned long long pass = ZvAppStatusMonitor::finishedPasses();
        EXPECT_TRUE(waitUntil([&] { return ZvAppStatusMonitor::finishedPasses() > pass; }, 5000));
        QCoreApplication::sendPostedEvents(); // its reports
        // The monitor reports changes only: a tool it last reported running
        // that runs again before its next pass would never be reported to the
        // next test's window. So its end is awaited.
        EXPECT_TRUE(waitUntil([&] { return reportedRunning().isEmpty(); }, 5000))
            << reportedRunning().join(' ').toStdString();
        statusWatch.reset();
        setQuitFunction({});
        setSystemTrayAvailableFunction({});
        qunsetenv("ZAVMO_WINDOWS_ROOT");
    }

    template <typename T = QWidget> T* child(const char* name) { return ::child<T>(window.get(), name); }
    void click(const char* button) { child<QPushButton>(button)->click(); }
    bool shown(const char* name) { return child(name)->isVisibleTo(window.get()); }

    // .NET and the Visual C++ runtime registered; DirectX has no system
    // folders to look in, so nothing needs repair.
    static void installRuntimes()
    {
        using platform::registry::Root;
        ASSERT_TRUE(platform::registry::writeNumber(Root::LocalMachine,
                                                    "SOFTWARE\\Microsoft\\.NETFramework\\v4.0.30319", "Install", 1));
        const std::string uninstall = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
        ASSERT_TRUE(platform::registry::writeString(
            Root::LocalMachine, uninstall + platform::runtime::kVcRedistProducts[0].productCode, "DisplayName",
            std::string(platform::runtime::kVcRedistDisplayName) + " - 12.0.30501"));
    }

    // Installs a tool with its fake installer, into the folder the settings
    // name, behind the window's back.
    void installTool(const QString& tool, const char* installer)
    {
        ZvLiveToolsManager* tools = ZvLogicFW::instance()->getLiveToolsManager();
        // An install still pending (an earlier test's) would swallow this one.
        ASSERT_TRUE(waitUntil([&] { return tools->getInstallProgress(tool) == -1; }, 5000));
        const std::string file = FakeTools::place(root.filePath("dl").toStdString(), installer);
        ASSERT_TRUE(tools->installLiveTool(tool, QString::fromStdString(file),
                                           window->getConfig()->getToolInstallPath(tool), 100));
        ASSERT_TRUE(waitUntil(
            [&] { return tools->getAppInstallStatus(tool) == 1 && tools->getInstallProgress(tool) == -1; }, 5000))
            << installer;
    }

    static QString cdnFolder() { return QString::fromStdString(sim->filesRoot()) + "/" + cdnPath(); }
    static void serve(const QString& file)
    {
        QDir().mkpath(cdnFolder());
        ASSERT_TRUE(QFile::copy(QString::fromStdString(FakeTools::program()), cdnFolder() + "/" + file));
    }
    static int downloadsOf(const QString& file)
    {
        int count = 0;
        for (const auto& r : sim->requests())
            count += QString::fromStdString(r["path"].asString()).endsWith(cdnPath() + "/" + file) ? 1 : 0;
        return count;
    }
    // The analytics events of that name sent so far, waiting for `count`.
    static std::vector<Json::Value> events(const char* name, size_t count = 1, int timeoutMs = 10000)
    {
        std::vector<Json::Value> found;
        waitUntil(
            [&] {
                found.clear();
                for (const auto& r : sim->requests("pelk2"))
                    if (r["decoded"]["ac"].asString() == name)
                        found.push_back(r["decoded"]);
                return found.size() >= count;
            },
            timeoutMs);
        return found;
    }
    static QByteArray shellRecord()
    {
        QFile record(qEnvironmentVariable("ZAVMO_SHELL_RECORD"));
        return record.open(QIODevice::ReadOnly) ? record.readAll() : QByteArray();
    }

    QStringList reportedRunning() const
    {
        QStringList names;
        for (auto it = reported.begin(); it != reported.end(); ++it)
            if (it.value() == APP_RUNNING)
                names.append(it.key());
        return names;
    }

    QTemporaryDir root;
    FakeTools fake;
    // What the monitor last reported of each tool, across the tests.
    static inline QHash<QString, int> reported;
    std::unique_ptr<QObject> statusWatch;
    std::unique_ptr<zavmoManager> window;
    int quits = 0;
    bool trayAvailable = true;
};

} // namespace mainwindowtest
