// zavmo-nsis-host PLUGIN STEP...
//
// Plays an installer's calls of a plug-in: loads PLUGIN, then runs the steps
// in order and reports each on standard output.
//   push=TEXT    pushes TEXT on the stack
//   call=NAME    calls the export NAME ("called NAME depth=N" after it)
//   threads      prints "threads=N", the threads of this process
//   unload       unloads the plug-in (later calls fail)
// Exit status: 0 when every step ran, 2 for a bad step, a plug-in that does
// not load or a missing export.
#include "platform/nsis.h"

#include <dirent.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <thread>

namespace {

int threadCount()
{
    DIR* dir = ::opendir("/proc/self/task");
    if (!dir)
        return -1;
    int n = 0;
    while (const dirent* entry = ::readdir(dir))
        if (entry->d_name[0] != '.')
            ++n;
    ::closedir(dir);
    return n;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s PLUGIN [push=TEXT|call=NAME|threads|unload]...\n", argv[0]);
        return 2;
    }
    // A runtime that starts a helper thread of its own with the first thread
    // (ThreadSanitizer's) has it before the first count.
    std::thread([] {}).join();
    platform::nsis::PluginLibrary plugin;
    std::string error;
    if (!plugin.load(argv[1], &error)) {
        std::fprintf(stderr, "cannot load %s: %s\n", argv[1], error.c_str());
        return 2;
    }
    platform::nsis::Installer installer;
    for (int i = 2; i < argc; ++i) {
        const std::string step = argv[i];
        if (step.rfind("push=", 0) == 0) {
            installer.push(step.substr(5));
        } else if (step.rfind("call=", 0) == 0) {
            const std::string name = step.substr(5);
            const platform::nsis::ExportFunction function = plugin.exportNamed(name);
            if (!function) {
                std::fprintf(stderr, "no export %s\n", name.c_str());
                return 2;
            }
            installer.call(function);
            std::printf("called %s depth=%zu\n", name.c_str(), installer.depth());
        } else if (step == "threads") {
            std::printf("threads=%d\n", threadCount());
        } else if (step == "unload") {
            plugin.unload();
            std::printf("unloaded\n");
        } else {
            std::fprintf(stderr, "unknown step %s\n", step.c_str());
            return 2;
        }
        std::fflush(stdout);
    }
    return 0;
}
