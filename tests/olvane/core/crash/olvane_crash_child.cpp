// Olvane's start-up as far as crash handling goes, then a crash of the kind
// argv[1] names: "null", "heap" (while other threads use the heap) or
// "chain <libraries...>" (through libraries beside the program).
#include <QCoreApplication>

#include <cstdio>
#include <string>
#include <vector>

#include "chain_loader.h"
#include "core/crashhandler.h"
#include "crash_actions.h"

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const std::string mode = argc > 1 ? argv[1] : "null";

    ZavmoChain chain{};
    if (mode == "chain") {
        std::vector<std::string> libraries;
        for (int i = 2; i < argc; ++i)
            libraries.push_back(QCoreApplication::applicationDirPath().toStdString() + "/" + argv[i]);
        if (!loadChain(libraries, chain)) {
            std::fprintf(stderr, "cannot load the chain: %s\n", dlerror());
            return 3;
        }
    }

    if (!installCrashFilter())
        return 2;
    if (installCrashFilter())
        return 4; // installed twice

    if (mode == "null") {
        crashtest::nullWrite();
    } else if (mode == "chain") {
        runChain(chain);
    } else if (mode == "heap") {
        crashtest::nullWriteWhileHeapBusy();
    }
    std::fprintf(stderr, "survived the crash\n");
    return 1;
}
