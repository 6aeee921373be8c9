// The download pool against the simulator's file tree: whole files with
// progress, every way a transfer breaks, the pool's keys, and receivers that
// cancel or start again from inside a failure.

#include "core/deployment.h"
#include "logic/zvfiledownloader.h"
#include "simulator.h"

#include <gtest/gtest.h>

#include "logic_support.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <functional>
#include <memory>

#include <csignal>
#include <sys/resource.h>

namespace {

// Time without data before a transfer fails: long enough for a loaded
// machine, and for the simulator's close of a body without length (2 s).
constexpr int kTimeoutMs = 5000;

using logictest::bytesOf;
using logictest::put;
using logictest::settle;
using logictest::waitFor;

struct Event
{
    QString kind; // "progress", "done", "failed", "finished"
    QString name;
    QString detail;
};

QByteArray randomBytes(int size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (char& c : bytes)
        c = static_cast<char>(QRandomGenerator::global()->generate());
    return bytes;
}

class Downloads : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        sim = new zavmo::test::Simulator;
        sim->setEnvironment();
        ASSERT_TRUE(deployment::installTrustedCertificates());
        pool = ZvFileDownloaderMgr::instance();
        ASSERT_NE(pool, nullptr);
        pool->setTransferTimeout(kTimeoutMs);
    }
    static void TearDownTestSuite()
    {
        delete sim;
        sim = nullptr;
    }

    void SetUp() override
    {
        sim->reset();
        ASSERT_TRUE(dir.isValid());
        for (ZvFileDownloader* d : pool->getAllDownloaders()) {
            connections << QObject::connect(d, &ZvFileDownloader::sglUpdateDownloadProgress, [this](QString n, int p) {
                events.push_back({"progress", n, QString::number(p)});
            });
            connections << QObject::connect(d, &ZvFileDownloader::sglDownloadFinished, [this](QString n, QString f) {
                events.push_back({"done", n, f});
            });
            connections << QObject::connect(d, &ZvFileDownloader::sglDownloadFailed, [this](QString n) {
                events.push_back({"failed", n, {}});
            });
            connections << QObject::connect(d, &ZvFileDownloader::sglFinished, [this](QString n) {
                events.push_back({"finished", n, {}});
            });
        }
    }

    void TearDown() override
    {
        for (const auto& c : connections)
            QObject::disconnect(c);
        for (ZvFileDownloader* d : pool->getAllDownloaders())
            d->cancel();
        sim->reset();
        settle(50);
    }

    static QString serve(const QString& name, const QByteArray& bytes)
    {
        put(QString::fromStdString(sim->filesRoot()) + "/" + name, bytes);
        return QString::fromStdString(sim->httpsOrigin()) + "/files/" + name;
    }

    int count(const QString& kind, const QString& name) const
    {
        int n = 0;
        for (const Event& e : events)
            n += e.kind == kind && e.name == name;
        return n;
    }

    bool ended(const QString& name) const { return count("finished", name) > 0; }

    QStringList outcomes(const QString& name) const
    {
        QStringList kinds;
        for (const Event& e : events)
            if (e.name == name && e.kind != "progress")
                kinds << e.kind;
        return kinds;
    }

    static zavmo::test::Simulator* sim;
    static ZvFileDownloaderMgr* pool;
    QTemporaryDir dir;
    std::vector<Event> events;
    QList<QMetaObject::Connection> connections;
};

zavmo::test::Simulator* Downloads::sim = nullptr;
ZvFileDownloaderMgr* Downloads::pool = nullptr;

} // namespace

TEST_F(Downloads, WholeFileWithProgressOverTls)
{
    const QByteArray body = randomBytes(3 * 1024 * 1024 + 7);
    const QString url = serve("pkg/OBS-Studio-29.exe", body);
    sim->setMode("files", "throttle:6000000");
    // A leftover at the temporary name, here a link planted to make the
    // download write elsewhere: replaced, never followed.
    put(dir.path() + "/victim", "victim");
    ASSERT_TRUE(QFile::link(dir.path() + "/victim", dir.path() + "/OBS-Studio-29.exe.download"));

    ASSERT_EQ(pool->startDownload("OBS Studio", url, dir.path(), false, ""), kDownloadStarted);
    EXPECT_EQ(pool->getDownloadProgress("OBS Studio"), 0);
    ASSERT_TRUE(waitFor([&] { return ended("OBS Studio"); }));

    const QString target = dir.path() + "/OBS-Studio-29.exe";
    EXPECT_EQ(outcomes("OBS Studio"), QStringList({"done", "finished"}));
    EXPECT_EQ(events[events.size() - 2].detail, target);
    EXPECT_EQ(bytesOf(target), body);
    EXPECT_FALSE(QFileInfo::exists(target + ".download"));
    EXPECT_EQ(bytesOf(dir.path() + "/victim"), "victim");
    EXPECT_EQ(pool->getDownloadProgress("OBS Studio"), -1);

    QList<int> progress;
    for (const Event& e : events)
        if (e.kind == "progress")
            progress << e.detail.toInt();
    ASSERT_GE(progress.size(), 3);
    EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));
    EXPECT_EQ(progress.last(), 100);
    EXPECT_LT(progress.first(), 100);
}

TEST_F(Downloads, EveryBrokenTransferFailsAndKeepsTheEarlierFile)
{
    const QByteArray body = randomBytes(300000);
    struct Case
    {
        const char* mode;
        QByteArray content;
        const char* file;
        // The stall waits for the time-out: short there.
        int timeoutMs = kTimeoutMs;
    };
    const QList<Case> cases = {
        {"nolength", body, "a.bin"},
        {"success", QByteArray(20, 'x'), "b.bin"},
        {"cutat:100000", body, "c.bin"},
        {"stallat:50000", body, "d.bin", 800},
        {"redirect:/files/a.bin", body, "e.bin"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.mode);
        events.clear();
        sim->setMode("files", c.mode);
        pool->setTransferTimeout(c.timeoutMs);
        const QString url = serve(c.file, c.content);
        const QString target = dir.path() + "/" + c.file;
        put(target, "earlier version");
        ASSERT_EQ(pool->startDownload("k", url, dir.path(), true, ""), kDownloadStarted);
        ASSERT_TRUE(waitFor([&] { return ended("k"); }));
        EXPECT_EQ(outcomes("k"), QStringList({"failed", "finished"}));
        EXPECT_EQ(bytesOf(target), "earlier version");
        EXPECT_FALSE(QFileInfo::exists(target + ".download"));
        sim->reset();
    }

    pool->setTransferTimeout(kTimeoutMs);
    events.clear();
    const QString missing = QString::fromStdString(sim->httpOrigin()) + "/files/none.bin";
    ASSERT_EQ(pool->startDownload("404", missing, dir.path(), true, ""), kDownloadStarted);
    ASSERT_TRUE(waitFor([&] { return ended("404"); }));
    EXPECT_EQ(outcomes("404"), QStringList({"failed", "finished"}));
    EXPECT_FALSE(QFileInfo::exists(dir.path() + "/none.bin"));

    // The final move fails when a folder holds the target's name.
    events.clear();
    ASSERT_TRUE(QDir().mkpath(dir.path() + "/folder.bin/inside"));
    ASSERT_EQ(pool->startDownload("rename", serve("folder.bin", body), dir.path(), true, ""), kDownloadStarted);
    ASSERT_TRUE(waitFor([&] { return ended("rename"); }));
    EXPECT_EQ(outcomes("rename"), QStringList({"failed", "finished"}));
    EXPECT_FALSE(QFileInfo::exists(dir.path() + "/folder.bin.download"));
}

TEST_F(Downloads, KeysTheTwentyDownloadersAndStartsThatFetchNothing)
{
    const QString url = serve("slow.bin", randomBytes(100000));
    sim->setMode("files", "stallat:10");
    pool->setTransferTimeout(20000);
    for (int i = 0; i < 20; ++i)
        ASSERT_EQ(pool->startDownload(QString("key%1").arg(i), url, dir.path(), true, QString("f%1").arg(i)),
                  kDownloadStarted);
    {
        logictest::LogCapture log;
        EXPECT_EQ(pool->startDownload("key20", url, dir.path(), true, "f20"), kDownloadNoDownloader);
        EXPECT_EQ(log.lines(), QStringList({"by kx download cache is empty"}));
    }
    EXPECT_EQ(pool->startDownload("key3", url, dir.path(), true, "other"), kDownloadNoDownloader);
    EXPECT_EQ(pool->getDownloadProgress("key3"), 0);

    // Cancel: temp gone, earlier target kept, only sglFinished.
    put(dir.path() + "/f3", "earlier");
    ASSERT_TRUE(waitFor([&] { return QFileInfo::exists(dir.path() + "/f3.download"); }));
    pool->cancelDownload("key3");
    EXPECT_EQ(outcomes("key3"), QStringList({"finished"}));
    EXPECT_FALSE(QFileInfo::exists(dir.path() + "/f3.download"));
    EXPECT_EQ(bytesOf(dir.path() + "/f3"), "earlier");
    EXPECT_EQ(pool->getDownloadProgress("key3"), -1);
    pool->cancelDownload("never started");

    // The freed downloader serves a start that fetches nothing: an existing
    // target without overwrite, a bad URL, a name that leaves the folder.
    // They ask for a file of their own: the stalled downloads' requests
    // reach the simulator at any time (Qt sends six at once per host, the
    // next when one ends).
    const QString idle = serve("idle.bin", "idle");
    EXPECT_EQ(pool->startDownload("exists", idle, dir.path(), false, "f3"), kDownloadTargetExists);
    EXPECT_EQ(pool->startDownload("bad", "http://[::1", dir.path(), true, "x"), kDownloadInvalidUrl);
    EXPECT_EQ(pool->startDownload("avatar", idle, dir.path(), true, "../../evil_middle"), kDownloadInvalidUrl);
    EXPECT_EQ(
        pool->startDownload("slash", QString::fromStdString(sim->httpsOrigin()) + "/files/", dir.path(), true, ""),
        kDownloadInvalidUrl);
    EXPECT_EQ(outcomes("exists"), QStringList({"finished"}));
    EXPECT_EQ(outcomes("bad"), QStringList({"finished"}));
    EXPECT_EQ(bytesOf(dir.path() + "/f3"), "earlier");
    settle(100);
    EXPECT_TRUE(sim->requests("files", "path", "/files/idle.bin").empty());
    EXPECT_TRUE(sim->requests("files", "path", "/files/").empty());
    // Each of those gave its downloader back at once.
    EXPECT_EQ(pool->startDownload("key20", url, dir.path(), true, "f20"), kDownloadStarted);
    pool->setTransferTimeout(kTimeoutMs);
}

TEST_F(Downloads, AnEndFromAReusedDownloaderLeavesTheKeysNewHolder)
{
    const QString url = serve("held.bin", randomBytes(100000));
    sim->setMode("files", "stallat:10");
    ASSERT_EQ(pool->startDownload("held", url, dir.path(), true, ""), kDownloadStarted);
    ZvFileDownloader* earlier = pool->getAllDownloaders().last(); // the one active
    pool->cancelDownload("held");
    // Taken again, by another downloader; the earlier one still bears the name.
    ASSERT_EQ(pool->startDownload("held", url, dir.path(), true, ""), kDownloadStarted);
    ASSERT_NE(pool->getAllDownloaders().last(), earlier);
    earlier->cancel();
    EXPECT_EQ(pool->startDownload("held", url, dir.path(), true, ""), kDownloadNoDownloader);
}

TEST_F(Downloads, ReceiverOfAFailureMayPromptCancelAndRetry)
{
    const QByteArray body = randomBytes(200000);
    const QString url = serve("retry.bin", body);
    sim->setMode("files", "cutat:1000");

    int retryResult = 0, secondResult = 0;
    bool handled = false;
    for (ZvFileDownloader* d : pool->getAllDownloaders()) {
        connections << QObject::connect(d, &ZvFileDownloader::sglDownloadFailed, [&](QString name) {
            if (handled)
                return;
            handled = true;
            // The key is held until sglFinished.
            retryResult = pool->startDownload(name, url, dir.path(), true, "");
            // A modal prompt's nested event loop.
            QEventLoop loop;
            QTimer::singleShot(100, &loop, &QEventLoop::quit);
            loop.exec();
            sim->reset();
            pool->cancelDownload(name);
            secondResult = pool->startDownload(name, url, dir.path(), true, "");
        });
    }
    ASSERT_EQ(pool->startDownload("tool", url, dir.path(), true, ""), kDownloadStarted);
    ASSERT_TRUE(waitFor([&] { return count("done", "tool") > 0; }));
    EXPECT_EQ(retryResult, kDownloadNoDownloader);
    EXPECT_EQ(secondResult, kDownloadStarted);
    // failed, the cancel's finished, then the second download's own end; the
    // first download's end is not announced a second time.
    EXPECT_EQ(outcomes("tool"), QStringList({"failed", "finished", "done", "finished"}));
    EXPECT_EQ(bytesOf(dir.path() + "/retry.bin"), body);
    EXPECT_EQ(pool->getDownloadProgress("tool"), -1);
}

TEST_F(Downloads, DownloaderStartedAgainFromItsFailureKeepsTheNewDownload)
{
    const QByteArray body = randomBytes(100000);
    const QString url = serve("again.bin", body);
    sim->setMode("files", "cutat:10");
    QNetworkAccessManager manager;
    ZvFileDownloader downloader(&manager);
    downloader.setName("again");
    downloader.setOverwrite(true);
    QStringList seen;
    int restart = 0;
    QObject::connect(&downloader, &ZvFileDownloader::sglDownloadFailed, [&](QString) {
        seen << "failed";
        sim->reset();
        restart = downloader.download(url, dir.path(), "");
    });
    QObject::connect(&downloader, &ZvFileDownloader::sglDownloadFinished, [&](QString, QString) { seen << "done"; });
    QObject::connect(&downloader, &ZvFileDownloader::sglFinished, [&](QString) { seen << "finished"; });
    ASSERT_EQ(downloader.download(url, dir.path(), ""), kDownloadStarted);
    ASSERT_TRUE(waitFor([&] { return seen.contains("finished"); }));
    EXPECT_EQ(restart, kDownloadStarted);
    EXPECT_EQ(seen, QStringList({"failed", "done", "finished"}));
    EXPECT_EQ(bytesOf(dir.path() + "/again.bin"), body);
}

TEST_F(Downloads, StartsThatFetchNothingLeaveAnotherDownloadsFilesAlone)
{
    const QByteArray body = randomBytes(50000);
    const QString url = serve("shared.bin", body);
    QNetworkAccessManager manager;
    ZvFileDownloader first(&manager), second(&manager);
    for (ZvFileDownloader* d : {&first, &second})
        d->setTransferTimeout(kTimeoutMs);
    QStringList seen;
    QObject::connect(&first, &ZvFileDownloader::sglFinished, [&](QString) { seen << "first"; });
    QObject::connect(&second, &ZvFileDownloader::sglFinished, [&](QString) { seen << "second"; });

    // The first downloader fetched the file once; the second now fetches it
    // again and is under way.
    ASSERT_EQ(first.download(url, dir.path(), ""), kDownloadStarted);
    ASSERT_TRUE(waitFor([&] { return seen.contains("first"); }));
    sim->setMode("files", "stallat:100");
    second.setOverwrite(true);
    ASSERT_EQ(second.download(url, dir.path(), ""), kDownloadStarted);
    const QString temp = dir.path() + "/shared.bin.download";
    ASSERT_TRUE(waitFor([&] { return sim->requests("files").size() == 2; }));
    ASSERT_TRUE(QFileInfo::exists(temp));

    // Starts of the first that return at once, each followed by the cancel
    // the pool gives them, leave the second's temporary file and the target.
    EXPECT_EQ(first.download(url, dir.path(), ""), kDownloadTargetExists);
    first.cancel();
    EXPECT_EQ(first.download("http://[::1", dir.path(), "shared.bin"), kDownloadInvalidUrl);
    first.cancel();
    EXPECT_TRUE(QFileInfo::exists(temp));
    EXPECT_EQ(bytesOf(dir.path() + "/shared.bin"), body);
    second.cancel();
    EXPECT_FALSE(QFileInfo::exists(temp));
}

TEST_F(Downloads, TwentyOneBytesWithTheUrlsQueryTextInTheFileName)
{
    // 21 bytes: the least a download may announce.
    const QByteArray body = randomBytes(21);
    const QString url = serve("setup.exe", body) + "?v=2";
    ASSERT_EQ(pool->startDownload("query", url, dir.path(), true, ""), kDownloadStarted);
    ASSERT_TRUE(waitFor([&] { return ended("query"); }));
    EXPECT_EQ(outcomes("query"), QStringList({"done", "finished"}));
    EXPECT_EQ(bytesOf(dir.path() + "/setup.exe?v=2"), body);
}

TEST_F(Downloads, AFailedWriteEndsTheTransfer)
{
    const QString url = serve("big.bin", randomBytes(4 * 1024 * 1024));
    // Two seconds for the whole body: an early end shows even on a slow run.
    sim->setMode("files", "throttle:2000000");
    // A full disk, for this process only: writes past 64 KiB fail.
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto previousHandler = signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 64 * 1024;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);

    bool ended = false;
    QStringList warnings;
    {
        logictest::LogCapture log;
        ASSERT_EQ(pool->startDownload("full", url, dir.path(), true, ""), kDownloadStarted);
        ended = waitFor([&] { return this->ended("full"); });
        warnings = log.lines();
    }
    setrlimit(RLIMIT_FSIZE, &saved);
    signal(SIGXFSZ, previousHandler);
    ASSERT_TRUE(ended);
    // The log names the system's reason.
    EXPECT_EQ(warnings.filter("sltDownloadFinished {full: write failed: File too large}").size(), 1)
        << warnings.join('\n').toStdString();
    EXPECT_EQ(outcomes("full"), QStringList({"failed", "finished"}));
    EXPECT_FALSE(QFileInfo::exists(dir.path() + "/big.bin.download"));
    // Not fetched to the end first.
    int last = 0;
    for (const Event& e : events)
        if (e.kind == "progress" && e.name == "full")
            last = e.detail.toInt();
    EXPECT_LT(last, 50);
}

TEST(DownloadsTls, UntrustedCertificateFails)
{
    // A simulator of its own: its CA is not trusted by this process.
    zavmo::test::Simulator sim;
    QTemporaryDir dir;
    put(QString::fromStdString(sim.filesRoot()) + "/setup.exe", randomBytes(5000));
    ZvFileDownloaderMgr* pool = ZvFileDownloaderMgr::instance();
    QStringList outcomes;
    QList<QMetaObject::Connection> connections;
    for (ZvFileDownloader* d : pool->getAllDownloaders()) {
        connections << QObject::connect(d, &ZvFileDownloader::sglDownloadFailed,
                                        [&](QString) { outcomes << "failed"; });
        connections << QObject::connect(d, &ZvFileDownloader::sglDownloadFinished,
                                        [&](QString, QString) { outcomes << "done"; });
    }
    const QString url = QString::fromStdString(sim.httpsOrigin()) + "/files/setup.exe";
    ASSERT_EQ(pool->startDownload("tls", url, dir.path(), true, ""), kDownloadStarted);
    ASSERT_TRUE(waitFor([&] { return !outcomes.isEmpty(); }));
    EXPECT_EQ(outcomes, QStringList({"failed"}));
    EXPECT_FALSE(QFileInfo::exists(dir.path() + "/setup.exe"));
    for (const auto& c : connections)
        QObject::disconnect(c);
}
