// Download benchmark, run by hand (not a test):
//
//   olvane_logic_download_bench [MiB=1024] [folder=/dev/shm]
//
// The pool fetches one file of MiB from the simulator on loopback, over plain
// HTTP and over TLS, and `curl -o` fetches the same file the same way into the
// same folder; prints both rates and pool/curl ratios.

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

namespace {

// Seconds for the pool to fetch url into folder; negative on failure.
double poolSeconds(const QString& url, const QString& folder)
{
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
        return -1;
    while (!ended)
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 100);
    const double seconds = timer.nsecsElapsed() / 1e9;
    for (const auto& c : connections)
        QObject::disconnect(c);
    QFile::remove(folder + "/pool.bin");
    return ok ? seconds : -1;
}

double curlSeconds(const QString& url, const QString& folder, const QString& caFile)
{
    QElapsedTimer timer;
    timer.start();
    const int code = QProcess::execute("curl", {"-s", "-f", "--cacert", caFile, "-o", folder + "/curl.bin", url});
    const double seconds = timer.nsecsElapsed() / 1e9;
    QFile::remove(folder + "/curl.bin");
    return code == 0 ? seconds : -1;
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
        const double curl = curlSeconds(url, work, ca);
        const double pool = poolSeconds(url, work);
        const double mb = mib * 1048576.0 / 1e6;
        std::printf("%-5s pool %8.1f MB/s   curl %8.1f MB/s   pool/curl %.2f\n",
                    origin.rfind("https", 0) == 0 ? "TLS" : "HTTP", pool > 0 ? mb / pool : 0, curl > 0 ? mb / curl : 0,
                    pool > 0 && curl > 0 ? curl / pool : 0);
    }
    QDir(work).removeRecursively();
    return 0;
}
