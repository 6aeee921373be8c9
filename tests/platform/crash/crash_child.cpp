// Installs the crash filter and then crashes in the way argv[1] names.
// The dump goes beside the program (or to CHILD_DUMP_FOLDER) and the
// reporter is "Faultmail" beside the program.
#include <fcntl.h>
#include <pthread.h>
#include <sys/mman.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "chain_loader.h"
#include "crash_actions.h"
#include "platform/crash.h"

namespace {

volatile int g_depthLimit = 1 << 30; // never reached: the stack runs out first

__attribute__((noinline)) int recurse(int depth)
{
    if (depth > g_depthLimit)
        return 0;
    volatile char pad[1024];
    pad[0] = char(depth);
    return recurse(depth + 1) + pad[0];
}

std::string programFolder()
{
    char exe[4096];
    ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    std::string path(exe, n > 0 ? size_t(n) : 0);
    return path.substr(0, path.rfind('/'));
}

std::string programBaseName()
{
    char exe[4096];
    ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    std::string path(exe, n > 0 ? size_t(n) : 0);
    return path.substr(path.rfind('/') + 1);
}

} // namespace

int main(int argc, char** argv)
{
    std::string mode = argc > 1 ? argv[1] : "null";
    // An inheritable descriptor the reporter must not receive.
    int leaked = open("/dev/null", O_RDONLY);
    (void)leaked;
    // "chain" loads its libraries before the filter is installed,
    // "latechain" after it (as plug-ins and drivers load).
    ZavmoChain chain{};
    const auto load = [&] {
        std::vector<std::string> libs;
        for (int i = 2; i < argc; ++i)
            libs.push_back(programFolder() + "/" + argv[i]);
        if (loadChain(libs, chain))
            return true;
        std::fprintf(stderr, "cannot load the chain: %s\n", dlerror());
        return false;
    };
    if (mode == "chain" && !load())
        return 3;

    platform::crash::Config config;
    const char* folder = std::getenv("CHILD_DUMP_FOLDER");
    config.dumpFolder = folder ? folder : programFolder();
    config.dumpBaseName = programBaseName();
    config.version = "V9.8.7";
    config.reporterPath = programFolder() + "/Faultmail";
    config.reporterArgs = {"ftp://crash.example//Test//", "", "user:secret word", "3747"};
    config.dumpPathArg = 1;
    config.messages.caption = "Crash";
    config.messages.noHintFaultModules = {"libzavmo_chain_gfx.so"};
    config.messages.hints = {{"LIBZAVMO_CHAIN_GFX.SO", "", "graphics hint in %s"},
                             {"libzavmo_chain_media.so", "libzavmo_chain_codec.so", "media hint in %s"}};
    config.messages.general = "general message";
    std::string error;
    if (!platform::crash::install(config, &error)) {
        std::fprintf(stderr, "install failed: %s\n", error.c_str());
        return 2;
    }

    if (mode == "null") {
        crashtest::nullWrite();
    } else if (mode == "badcall") {
        void (*volatile function)() = nullptr;
        function();
    } else if (mode == "abort") {
        std::abort();
    } else if (mode == "overflow") {
        return recurse(0);
    } else if (mode == "chain") {
        runChain(chain);
    } else if (mode == "bigmap") {
        // So many mappings after install that the map outgrows the room
        // reserved for it: the dump falls back to the install-time map.
        const long page = sysconf(_SC_PAGESIZE);
        for (int i = 0; i < 20000; ++i)
            if (mmap(nullptr, size_t(page), (i % 2) ? PROT_READ : PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0) ==
                MAP_FAILED)
                return 4;
        crashtest::nullWrite();
    } else if (mode == "latechain") {
        if (!load())
            return 3;
        runChain(chain);
    } else if (mode == "heap") {
        crashtest::nullWriteWhileHeapBusy();
    } else if (mode == "thread") {
        // A thread created after install (no alternate stack of its own)
        // faults while others churn the heap.
        std::vector<std::thread> threads;
        for (unsigned i = 0; i < 4; ++i)
            threads.emplace_back(crashtest::churnHeap, i + 1);
        usleep(50 * 1000);
        std::thread faulting([] { crashtest::nullWrite(); });
        faulting.join();
        crashtest::g_stopChurn = true;
        for (auto& t : threads)
            t.join();
    } else if (mode == "two") {
        // Two threads fault at once: one reports, the other must wait.
        pthread_barrier_t barrier;
        pthread_barrier_init(&barrier, nullptr, 2);
        auto body = [&barrier] {
            pthread_barrier_wait(&barrier);
            crashtest::nullWrite();
        };
        std::thread a(body), b(body);
        a.join();
        b.join();
    }
    std::fprintf(stderr, "survived the crash\n");
    return 1;
}
