// The companion module fetched from the simulator's CDN, unpacked, started,
// and calling back through Olvane's RPC service.

#include "core/deployment.h"
#include "core/pathlayout.h"
#include "core/serverurltable.h"
#include "core/stringconstants.h"
#include "faketools.h"
#include "logic/livecodemodulemanager.h"
#include "logic/livemgrservice.h"
#include "logic/zvfiledownloader.h"
#include "simulator.h"

#include <gtest/gtest.h>

#include "logictest.h"

#include <quazip/JlCompress.h>
#include <quazip/quazip.h>
#include <quazip/quazipfile.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <functional>

namespace {

using logictest::bytesOf;
using logictest::put;
using logictest::settle;
using logictest::waitFor;

const QString kModuleFolder = QStringLiteral("client_download/Olvane/files/ModuleDownload/");

// Downloads through the pool and waits for the end; the file, or "".
QString fetch(ZvFileDownloaderMgr* pool, const std::function<void()>& start, const QString& key)
{
    QString file;
    bool ended = false;
    QList<QMetaObject::Connection> connections;
    for (ZvFileDownloader* d : pool->getAllDownloaders()) {
        connections << QObject::connect(d, &ZvFileDownloader::sglDownloadFinished, [&](QString name, QString f) {
            if (name == key)
                file = f;
        });
        connections << QObject::connect(d, &ZvFileDownloader::sglFinished, [&](QString name) { ended |= name == key; });
    }
    start();
    waitFor([&] { return ended; });
    for (const auto& c : connections)
        QObject::disconnect(c);
    return file;
}

} // namespace

TEST(LiveCodeModule, FetchUnpackStartAndCallBack)
{
    zavmo::test::Simulator sim;
    sim.setEnvironment();
    ASSERT_TRUE(deployment::installTrustedCertificates());
    const QString served = QString::fromStdString(sim.filesRoot()) + "/" + kModuleFolder;
    put(served + "version.ini", "[update]\r\nliveCodeModule=3\r\nother=9\r\n");

    // The archive holds the "LiveCodeModule" folder, made without execute
    // permissions as on Windows.
    zavmo::test::FakeTools fake;
    QTemporaryDir work;
    const QString exe = work.path() + "/pack/LiveCodeModule/LiveCodeModule.exe";
    put(exe, QByteArray());
    QFile::remove(exe);
    ASSERT_TRUE(QFile::copy(QString::fromStdString(fake.program()), exe));
    ASSERT_TRUE(QFile::setPermissions(exe, QFile::ReadOwner | QFile::WriteOwner));
    ASSERT_TRUE(JlCompress::compressDir(served + "LiveCodeModule.zip", work.path() + "/pack"));

    LiveCodeModuleManager manager;
    QStringList calls;
    LiveMgrService* service = manager.getService();
    QObject::connect(
        service, &LiveMgrService::sglBroadcastInfoMsg, qApp,
        [&](QString url, QString code) { calls << "broadcast " + url + " " + code; }, Qt::QueuedConnection);
    QObject::connect(
        service, &LiveMgrService::sglOpenLiveRoomResult, qApp,
        [&](int res, QString msg) { calls << QString("open %1 %2").arg(res).arg(msg); }, Qt::QueuedConnection);
    QObject::connect(
        service, &LiveMgrService::sglLiveCodeModuleClose, qApp, [&] { calls << "close"; }, Qt::QueuedConnection);

    EXPECT_FALSE(manager.isInstalled());
    EXPECT_EQ(manager.launchLiveCodeModule(), LiveCodeModuleManager::kNotInstalled);

    ZvFileDownloaderMgr* pool = ZvFileDownloaderMgr::instance();
    const QString version = fetch(
        pool, [&] { manager.downloadVersionInfo(pool); }, kModuleUpdateDownloadKey);
    EXPECT_EQ(version, getTempAppDir() + "/version.ini");
    EXPECT_TRUE(manager.needsUpdate(kLiveCodeModuleKey));
    EXPECT_FALSE(manager.needsUpdate("absent"));
    // Not installed is told before an update being needed.
    EXPECT_EQ(manager.launchLiveCodeModule(), LiveCodeModuleManager::kNotInstalled);

    const QString zip = fetch(
        pool, [&] { pool->startDownload("module zip", moduleZipUrl(), getDownloadDir(), true, ""); }, "module zip");
    ASSERT_FALSE(zip.isEmpty());
    const QString zipAgain = work.path() + "/again.zip";
    ASSERT_TRUE(QFile::copy(zip, zipAgain));
    ASSERT_TRUE(manager.installModuleZip(kLiveCodeModuleKey, zip));
    EXPECT_FALSE(QFileInfo::exists(zip));
    EXPECT_TRUE(manager.isInstalled());
    EXPECT_TRUE(QFileInfo(getLiveCodeModuleExePath()).isExecutable());
    EXPECT_EQ(bytesOf(getModuleDir() + "/version.ini"), bytesOf(version));
    EXPECT_FALSE(manager.needsUpdate(kLiveCodeModuleKey));

    ASSERT_EQ(manager.launchLiveCodeModule(), LiveCodeModuleManager::kLaunched);
    const QString log = getLiveCodeModuleDir() + "/rpc-client.log";
    const auto starts = fake.waitForStarts("LiveCodeModule.exe", 1, 5000);
    ASSERT_EQ(starts.size(), 1u);
    EXPECT_EQ(starts[0].args, std::vector<std::string>{"-Olvane"});
    ASSERT_TRUE(waitFor([&] { return QFileInfo::exists(log) && calls.size() >= 3; }));
    const QList<QByteArray> lines = bytesOf(log).trimmed().split('\n');
    ASSERT_EQ(lines.size(), 4) << bytesOf(log).constData();
    EXPECT_TRUE(manager.isRunning());
    EXPECT_EQ(lines[0], "broadcast_info ok");
    EXPECT_TRUE(lines[1].startsWith("open_room_msg error")) << lines[1].constData();
    EXPECT_EQ(lines[2], "open_room_msg ok");
    EXPECT_EQ(lines[3], "liveCodeModuleClose ok");
    settle(100);
    EXPECT_EQ(calls, QStringList({"broadcast rtmp://127.0.0.1/live/room code-直播", "open 0 开播成功", "close"}));
    // A reinstall ends the running module first.
    ASSERT_TRUE(manager.installModuleZip(kLiveCodeModuleKey, zipAgain));
    EXPECT_TRUE(waitFor([&] { return !manager.isRunning(); }, 5000));
    EXPECT_TRUE(manager.isInstalled());
    EXPECT_FALSE(QFileInfo::exists(log));

    // A newer version on the server: no start before the update.
    put(getModuleDir() + "/version.ini", "[update]\r\nliveCodeModule=2\r\n");
    EXPECT_EQ(manager.launchLiveCodeModule(), LiveCodeModuleManager::kUpdateNeeded);

    // An archive with an entry leaving the folder unpacks nothing.
    const QString bad = work.path() + "/bad.zip";
    {
        QuaZip archive(bad);
        ASSERT_TRUE(archive.open(QuaZip::mdCreate));
        QuaZipFile entry(&archive);
        ASSERT_TRUE(entry.open(QIODevice::WriteOnly, QuaZipNewInfo("LiveCodeModule/../../evil.txt")));
        entry.write("evil");
        entry.close();
    }
    EXPECT_FALSE(manager.installModuleZip(kLiveCodeModuleKey, bad));
    EXPECT_FALSE(QFileInfo::exists(bad));
    EXPECT_FALSE(QFileInfo::exists(getAppDir() + "/evil.txt"));
    EXPECT_FALSE(manager.isInstalled());
}

TEST(LiveCodeModule, ServiceNameIsHeldByOneProgram)
{
    LiveMgrService first;
    ASSERT_TRUE(first.startService());
    EXPECT_TRUE(first.startService());
    LiveMgrService second;
    EXPECT_FALSE(second.startService());
}
