// Process stand-in: list, kill and start processes; split Windows command lines.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace platform::process {

struct ProcessInfo
{
    int pid = 0;
    // Executable file name without folder, e.g. "LiveCodeModule.exe" (never
    // cut at 15 characters like /proc/<pid>/comm).
    std::string exeName;
    // Owner of the proc folder's <pid> entry: the process's effective uid
    // (root for one that is not dumpable); -1 when unknown.
    uid_t owner = static_cast<uid_t>(-1);
};

// Scans the proc folder ("/proc", or env ZAVMO_PROC_ROOT for tests). Returns
// false when the scan itself failed (the folder cannot be opened), so callers
// can tell a failed scan from "nothing runs"; out is then empty. The name is
// the basename of the exe link target (" (deleted)" stripped), else the
// basename of argv[0] from cmdline; entries with neither are skipped. Every
// user's processes are listed, each with its owner. Order: ascending pid.
bool listProcesses(std::vector<ProcessInfo>& out);
// Convenience: empty on scan failure.
std::vector<ProcessInfo> listProcesses();

// Sends SIGKILL. True when the signal was delivered or the process is already
// gone (ESRCH: the goal, "not running", holds); false for pid <= 0 (which
// would signal a whole group) and on any other error, e.g. EPERM.
bool killProcess(int pid);

// Starts program (argv[0] = program, then args) with posix_spawn, never
// through a shell. workDir empty = inherit ours; a relative program path is
// taken relative to our working folder. The child is detached: it is started
// through a short-lived intermediate that we reap, so it is never our zombie;
// it runs in its own session with default signal handling and an empty signal
// mask. Descriptors other than 0-2 are not inherited. Returns false when the
// program cannot be started (missing, not executable, bad working folder,
// empty path). pid, when given, receives the real child's pid (0 on failure).
bool startDetached(const std::string& program, const std::vector<std::string>& args, const std::string& workDir,
                   int* pid = nullptr);

// Splits a command line by the Windows rules: blanks and tabs separate;
// double quotes group; 2n backslashes + quote -> n backslashes, quote toggles;
// 2n+1 backslashes + quote -> n backslashes and a literal quote; other
// backslashes are literal; "" inside a quoted run gives a literal quote (and
// stays quoted). A quoted empty run ("") yields an empty argument.
std::vector<std::string> splitCommandLine(const std::string& commandLine);

} // namespace platform::process
