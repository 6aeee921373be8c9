#pragma once
// Runs a program to its end for a test, never through a shell, with a bounded
// wait: on time-out it is killed by its pid. Standard output and standard
// error are captured together.

#include <sys/types.h>

#include <string>
#include <vector>

namespace zavmo::test {

struct ProgramResult
{
    bool started = false;
    bool timedOut = false;
    int exitCode = -1; // -1 unless it exited
    int signal = 0;    // the signal that ended it, if one did
    std::string output;
    double seconds = 0; // from start to end
};

// argv[0] is the program (a path, or a name looked up in PATH). env adds or
// replaces "NAME=value" entries of this process's environment.
ProgramResult runProgram(const std::vector<std::string>& argv, const std::vector<std::string>& env = {},
                         int timeoutMs = 20000);

// Starts a program in the background, never through a shell: standard input
// from /dev/null, standard output and error appended to logPath, no other
// descriptor inherited (a runner waiting on our pipes must not wait on it).
// Returns its pid, or -1 with the reason in `error`.
pid_t startInBackground(const std::vector<std::string>& argv, const std::string& logPath, std::string& error);

} // namespace zavmo::test
