#pragma once
// Runs a program that crashes on purpose in an application folder of its
// own, next to a recording stand-in reporter named "Faultmail", and collects
// what the crash left behind. Every wait is bounded.
#include <string>
#include <vector>

namespace crashtest {

struct Setup
{
    std::string program;                 // copied into the application folder
    std::vector<std::string> args;       // argv[1..]
    std::vector<std::string> extraFiles; // copied into the application folder too
    bool withReporter = true;            // place the stand-in as "Faultmail"
    std::vector<std::string> env;        // extra "NAME=value"
    int timeoutMs = 20000;
};

struct Result
{
    bool exited = false;
    int exitCode = -1;
    int termSignal = 0;
    bool timedOut = false;
    std::string appDir;
    std::string programPath;
    std::string stderrText;
    std::vector<std::string> dumpNames; // *.dmp in the application folder
    bool reporterRan = false;
    std::vector<std::string> reporterArgv;
    std::string reporterFds; // descriptors above 2, blank separated
    std::string sigBlk, sigIgn;
    long long startTime = 0, endTime = 0; // time(nullptr) around the run
};

Result run(const Setup& setup);

std::string readFile(const std::string& path);
// Local-time dump file stamp "YYYY-MMDD-HHMM-SS" for a time(nullptr) value.
std::string localStamp(long long t);
// True when name is "<base>_<stamp>_<version>.dmp" with a stamp of a local
// time in [from, to].
bool dumpNameMatches(const std::string& name, const std::string& base, const std::string& version, long long from,
                     long long to);

// Everything a crash must leave: the child exited with code 0, one dump named
// after child and version lies beside the program, and the reporter ran with
// the arguments "Faultmail", ftpUrl, the dump's path, credential and port.
void expectReported(const Result& r, const std::string& child, const std::string& version, const std::string& ftpUrl,
                    const std::string& credential, const std::string& port = "3747");

} // namespace crashtest
