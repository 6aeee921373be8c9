// Download benchmark, run by hand (not a test):
//
//   olvane_logic_download_bench [MiB=1024] [folder=/dev/shm]
//
// The pool fetches one file of MiB from the simulator on loopback, over plain
// HTTP and over TLS, and `curl -o` fetches the same file the same way into the
// same folder; prints both rates, the CPU time each used (the pool's covers
// all threads of this process) and pool/curl ratios.

#include "core/deployment.h"
#include "logic/zvfiledownloader.h"
#include "simulator.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include <cstdio>

#include <sys/resource.h>

namespace {

// CPU seconds (user, system) used so far by this process or its children.
std::pair<double, double> cpu(int who)
{
    rusage usage{};
    getrusage(who, &usage);
    auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
    return {seconds(usage.ru_utime), seconds(usage.ru_stime)};
}

struct Run
{
    double seconds = -1;
    double user = 0;
    double system = 0;
};

// Time and CPU for the pool to fetch url into folder; seconds < 0 on failure.
Run poolRun(const QString& url, const QString& folder)
{
    const auto before = cpu(RUSAGE_SELF);
    ZvFileDownloaderMgr* pool = ZvFileDownloaderMgr::instance();
    bool ended = false, ok = false;
    QList<QMetaObject::Connection> connections;
    for (ZvFileDownloader* d : pool->getAllDownloaders()) {
        connections << QObject::connect(d, &ZvFileDownloader::sglDownloadFinished,
                                        [&](QString, QString) { ok = true; });
        connections << QObject::connect(d, &ZvFileDownloader::sglFinished, [&](QString) { ended = true; });
    }
    QElapsedTimer timer;
    timer.start();
    if (pool->startDownload("bench", url, folder, true, "pool.bin") != kDownloadStarted)
        return {};
    while (!ended)
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 100);
    const double seconds = timer.nsecsElapsed() / 1e9;
    for (const auto& c : connections)
        QObject::disconnect(c);
    QFile::remove(folder + "/pool.bin");
    const auto after = cpu(RUSAGE_SELF);
    return ok ? Run{seconds, after.first - before.first, after.second - before.second} : Run{};
}

Run curlRun(const QString& url, const QString& folder, const QString& caFile)
{
    const auto before = cpu(RUSAGE_CHILDREN);
    QElapsedTimer timer;
    timer.start();
    const int code = QProcess::execute("curl", {"-s", "-f", "--cacert", caFile, "-o", folder + "/curl.bin", url});
    const double seconds = timer.nsecsElapsed() / 1e9;
    QFile::remove(folder + "/curl.bin");
    const auto after = cpu(RUSAGE_CHILDREN);
    return code == 0 ? Run{seconds, after.first - before.first, after.second - before.second} : Run{};
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const qint64 mib = argc > 1 ? QString(argv[1]).toLongLong() : 1024;
    const QString folder = argc > 2 ? QString(argv[2]) : QStringLiteral("/dev/shm");
    const QString work = folder + "/zavmo-download-bench";
    QDir().mkpath(work);

    zavmo::test::Simulator::Options options;
    options.filesRoot = (work + "/served").toStdString();
    zavmo::test::Simulator sim(options);
    sim.setEnvironment();
    deployment::installTrustedCertificates();
    QDir().mkpath(work + "/served");
    {
        QFile file(work + "/served/big.bin");
        if (!file.open(QIODevice::WriteOnly))
            return 1;
        const QByteArray block(1 << 20, 'z');
        for (qint64 i = 0; i < mib; ++i)
            file.write(block);
    }
    std::printf("%lld MiB from the simulator on loopback into %s\n", static_cast<long long>(mib), qPrintable(folder));
    const QString ca = QString::fromStdString(sim.caFile());
    for (const auto& origin : {sim.httpOrigin(), sim.httpsOrigin()}) {
        const QString url = QString::fromStdString(origin) + "/files/big.bin";
        const Run curl = curlRun(url, work, ca);
        const Run pool = poolRun(url, work);
        const double mb = mib * 1048576.0 / 1e6;
        auto rate = [mb](const Run& r) { return r.seconds > 0 ? mb / r.seconds : 0; };
        std::printf("%-5s pool %7.1f MB/s (cpu user %.2f s, sys %.2f s)   curl %7.1f MB/s (cpu user %.2f s, sys %.2f s)"
                    "   pool/curl %.2f\n",
                    origin.rfind("https", 0) == 0 ? "TLS" : "HTTP", rate(pool), pool.user, pool.system, rate(curl),
                    curl.user, curl.system, rate(curl) > 0 ? rate(pool) / rate(curl) : 0);
    }
    QDir(work).removeRecursively();
    return 0;
}
