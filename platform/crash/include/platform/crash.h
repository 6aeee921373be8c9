// Crash filter stand-in: on a fatal signal, write our own dump file next to
// the program, start a crash reporter, tell the user on standard error and end
// the process with exit code 0.
//
// Everything that needs the heap, the locale or the time zone is prepared by
// install(); the signal handler itself only uses storage prepared there and
// async-signal-safe system calls. The dump format is described in crash.cpp.
//
// Limits:
// - The alternate signal stack is set up for the installing thread only.
//   Other threads run the handler on their own stack, so a stack overflow in
//   another thread cannot be reported.
// - The memory map is read again at crash time, into storage reserved at
//   install (several times the map's size then); a map that has outgrown it
//   falls back to the install-time one, where later modules have no name.
// - The UTC offset is taken at install time; a daylight-saving change during
//   the run shifts the time in the dump file name by that change.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace platform::crash {

// A hint shown instead of the general message when a frame of the crashed
// thread's call chain (the faulting frame itself excluded) lies in
// `frameModule`, unless the faulting module is `unlessFaultModule`.
// Module names are file names without folder, compared without regard to
// case. Every "%s" in `text` is replaced by the faulting module's name.
struct HintRule
{
    std::string frameModule;
    std::string unlessFaultModule; // empty: no exception
    std::string text;
};

// What the user is told; decided at crash time from plain data.
struct Messages
{
    std::string caption; // put in front of the text: "caption: text"
    // When the faulting module is one of these, no hint is looked for.
    std::vector<std::string> noHintFaultModules;
    std::vector<HintRule> hints; // first matching frame (innermost first) wins
    std::string general;         // shown when no hint applies
};

struct Config
{
    // The dump goes to "<dumpFolder>/<dumpBaseName>_YYYY-MMDD-HHMM-SS_<version>.dmp"
    // with the local time of the crash.
    std::string dumpFolder;
    std::string dumpBaseName;
    std::string version;

    // The reporter is started with argv[0] = reporterPath and then
    // reporterArgs; the argument at index dumpPathArg of reporterArgs (-1:
    // none) is replaced by the dump path at crash time. Empty reporterPath:
    // no reporter. It is started even when the dump could not be written.
    std::string reporterPath;
    std::vector<std::string> reporterArgs;
    int dumpPathArg = -1;

    Messages messages;

    // Also treat SIGABRT (abort(), std::terminate, failed heap checks) as a crash.
    bool catchAbort = true;
};

// Installs the filter for SIGSEGV, SIGBUS, SIGILL, SIGFPE (and SIGABRT when
// asked). Reads the memory map (and reserves room to read it again), the UTC offset, loads the unwinder and sets up
// an alternate signal stack for the calling thread. Only the first successful
// call installs; later calls fail. On failure error (when given) says why.
bool install(const Config& config, std::string* error = nullptr);
bool isInstalled();

// ---- Pieces of the handler, exposed for tests (the handler uses their
// async-signal-safe cores, not these wrappers).

struct CivilTime
{
    int year = 1970, month = 1, day = 1, hour = 0, minute = 0, second = 0;
};
// Seconds since 1970-01-01 00:00 (already shifted to local time) to a date.
CivilTime civilFromSeconds(int64_t seconds);

// "<base>_YYYY-MMDD-HHMM-SS_<version>.dmp"
std::string dumpFileName(const std::string& baseName, const std::string& version, const CivilTime& local);

// The message for a crash whose faulting module is faultModule and whose call
// chain (outermost last, faulting frame excluded) runs through frameModules.
std::string chooseMessage(const Messages& messages, const std::string& faultModule,
                          const std::vector<std::string>& frameModules);

} // namespace platform::crash
