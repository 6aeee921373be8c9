// The status monitor's registry side and its paths, without processes.

#include "logic_support.h"

#include "logic/zvappstatusmonitor.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

using namespace logictest;

namespace {

MonitoredAppRecord studioRecord()
{
    MonitoredAppRecord r;
    r.installerProcessName = L"Un_A.exe";
    r.first = {L"obs32.exe", L"bin\\32bit\\obs32.exe", false};
    r.second = {L"obs64.exe", L"bin\\64bit\\obs64.exe", false};
    return r;
}

void touch(const QString& path)
{
    QDir().mkpath(path.left(path.lastIndexOf('/')));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
}

TEST(MonitorRegistry, TheUninstallEntryDecidesInstalledAndItsFolder)
{
    TestFolder dir;
    ZvAppStatusMonitor monitor;
    monitor.addApp(L"OBS Studio", studioRecord());
    EXPECT_EQ(monitor.getInstallStatus(L"OBS Studio"), 0);

    // Quoted Linux path: the folder ends at the last "/" inside the quotes.
    writeUninstallEntry("OBS Studio", "\"" + dir / "obs studio/Un_A.exe\" /S");
    EXPECT_EQ(monitor.getInstallStatus(L"OBS Studio"), 1);
    EXPECT_EQ(monitor.getUninstallString(L"OBS Studio"), ("\"" + dir / "obs studio/Un_A.exe\" /S").toStdWString());
    EXPECT_EQ(monitor.getPrimaryExePath(L"OBS Studio"), (dir / "obs studio/bin/32bit/obs32.exe").toStdWString());
    EXPECT_EQ(monitor.getSecondaryExePath(L"OBS Studio"), (dir / "obs studio/bin/64bit/obs64.exe").toStdWString());

    // Installed, but nothing to start until a file exists; the second entry
    // serves when the first is missing.
    EXPECT_EQ(monitor.getLaunchPath(L"OBS Studio"), L"");
    touch(dir / "obs studio/bin/64bit/obs64.exe");
    EXPECT_EQ(monitor.getLaunchPath(L"OBS Studio"), (dir / "obs studio/bin/64bit/obs64.exe").toStdWString());
    touch(dir / "obs studio/bin/32bit/obs32.exe");
    EXPECT_EQ(monitor.getLaunchPath(L"OBS Studio"), (dir / "obs studio/bin/32bit/obs32.exe").toStdWString());

    // Without any separator there is no folder, so not installed.
    writeUninstallEntry("OBS Studio", "Un_A.exe");
    EXPECT_EQ(monitor.getInstallStatus(L"OBS Studio"), 0);
    EXPECT_EQ(monitor.getLaunchPath(L"OBS Studio"), L"");
    // Too long for the value buffer; 511 characters still fit.
    writeUninstallEntry("OBS Studio", "/" + QString(600, 'a') + "/Un_A.exe");
    EXPECT_EQ(monitor.getInstallStatus(L"OBS Studio"), 0);
    writeUninstallEntry("OBS Studio", "/" + QString(501, 'a') + "/Un_A.exe");
    EXPECT_EQ(monitor.getInstallStatus(L"OBS Studio"), 1);
}

TEST(MonitorRegistry, NamesMatchExactlyAndUnknownNamesGiveNothing)
{
    ZvAppStatusMonitor monitor;
    monitor.addApp(L"OBS Studio", studioRecord());
    writeUninstallEntry("obs studio", "/opt/obs/Un_A.exe");
    EXPECT_EQ(monitor.getInstallStatus(L"OBS Studio"), 0);
    EXPECT_EQ(monitor.getAppStatus(L"Nope"), 0);
    EXPECT_EQ(monitor.getUninstallString(L"Nope"), L"");
    EXPECT_EQ(monitor.getLaunchPath(L"Nope"), L"");
    EXPECT_EQ(monitor.getPrimaryExePath(L"Nope"), L"");
    EXPECT_EQ(monitor.getInstallerProcessName(L"Nope"), L"");
    EXPECT_EQ(monitor.getInstallerProcessName(L"OBS Studio"), L"Un_A.exe");

    // A second registration keeps the first record.
    MonitoredAppRecord other = studioRecord();
    other.installerProcessName = L"other.exe";
    monitor.addApp(L"OBS Studio", other);
    EXPECT_EQ(monitor.getInstallerProcessName(L"OBS Studio"), L"Un_A.exe");
}

TEST(MonitorRegistry, DrivePathsResolveBelowTheWindowsRootOnly)
{
    TestFolder dir;
    MonitoredAppRecord classic;
    classic.installerProcessName = L"Au_.exe";
    classic.first = {L"OBS.exe", L"C:\\Program Files (x86)\\OBS\\OBS.exe", true};
    ZvAppStatusMonitor monitor;
    monitor.addApp(L"Open Broadcaster Software", classic);
    writeUninstallEntry("Open Broadcaster Software", "C:\\Program Files (x86)\\OBS\\Au_.exe");

    qunsetenv("ZAVMO_WINDOWS_ROOT");
    EXPECT_EQ(monitor.getInstallStatus(L"Open Broadcaster Software"), 1);
    EXPECT_EQ(monitor.getPrimaryExePath(L"Open Broadcaster Software"), L"");
    EXPECT_EQ(monitor.getLaunchPath(L"Open Broadcaster Software"), L"");

    qputenv("ZAVMO_WINDOWS_ROOT", dir.path().toUtf8());
    touch(dir / "C/Program Files (x86)/OBS/OBS.exe");
    EXPECT_EQ(monitor.getLaunchPath(L"Open Broadcaster Software"),
              (dir / "C/Program Files (x86)/OBS/OBS.exe").toStdWString());
    qunsetenv("ZAVMO_WINDOWS_ROOT");
}

} // namespace
