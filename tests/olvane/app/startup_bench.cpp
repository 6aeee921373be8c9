// Start-up time of the program Olvane, offscreen: from starting the process
// to the first paint of its main window (as its info log reports it),
// median of N runs (default 10). Run by hand from a build folder:
//   tests/olvane/app/olvane_startup_bench [runs]
// It works in a folder of its own (HOME, XDG folders, TMPDIR, registry) and
// points the program at a simulator, so nothing leaves this machine.
#include "olvanerun.h"

#include "simulator.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

int main(int argc, char** argv)
{
    const int runs = argc > 1 ? std::max(1, atoi(argv[1])) : 10;
    QTemporaryDir root;
    if (!root.isValid())
        return 1;
    for (const char* sub : {"home", "config", "data", "cache", "tmp", "runtime"})
        QDir(root.path()).mkpath(sub);
    QFile::setPermissions(root.filePath("runtime"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    qputenv("HOME", root.filePath("home").toUtf8());
    qputenv("XDG_CONFIG_HOME", root.filePath("config").toUtf8());
    qputenv("XDG_DATA_HOME", root.filePath("data").toUtf8());
    qputenv("XDG_CACHE_HOME", root.filePath("cache").toUtf8());
    qputenv("XDG_RUNTIME_DIR", root.filePath("runtime").toUtf8());
    qputenv("TMPDIR", root.filePath("tmp").toUtf8());
    qputenv("ZAVMO_REGISTRY", root.filePath("registry.json").toUtf8());
    qputenv("ZAVMO_SHELL_RECORD", root.filePath("shell-open.log").toUtf8());
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QCoreApplication app(argc, argv);

    zavmo::test::Simulator sim;
    sim.setEnvironment();
    const QString program = olvanetest::placeOlvane(root.filePath("app"));
    if (program.isEmpty())
        return 1;

    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        QProcess olvane;
        olvane.setProgram(program);
        olvane.setProcessChannelMode(QProcess::ForwardedChannels);
        QElapsedTimer timer;
        timer.start();
        olvane.start();
        if (!olvanetest::waitForInfoLog(olvanetest::kPaintedText, i + 1, 30000)) {
            std::fprintf(stderr, "run %d: no first paint within 30 s\n", i + 1);
            return 1;
        }
        times.push_back(timer.nsecsElapsed() / 1e6);
        std::printf("run %2d: %7.1f ms\n", i + 1, times.back());
        olvane.kill();
        olvane.waitForFinished(10000);
    }
    std::sort(times.begin(), times.end());
    const double median =
        times.size() % 2 ? times[times.size() / 2] : (times[times.size() / 2 - 1] + times[times.size() / 2]) / 2;
    std::printf("start to first paint, median of %d runs: %.1f ms\n", runs, median);
    return 0;
}
