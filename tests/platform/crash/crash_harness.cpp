#include "crash_harness.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <sstream>
#include <thread>

extern char** environ;

namespace crashtest {
namespace {

std::string baseName(const std::string& path)
{
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool copyFile(const std::string& from, const std::string& to, mode_t mode)
{
    std::ifstream in(from, std::ios::binary);
    std::ofstream out(to, std::ios::binary | std::ios::trunc);
    if (!in || !out)
        return false;
    out << in.rdbuf();
    out.close();
    return chmod(to.c_str(), mode) == 0;
}

void parseRecord(const std::string& text, Result& r)
{
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("arg ", 0) == 0)
            r.reporterArgv.push_back(line.substr(4));
        else if (line.rfind("fds", 0) == 0)
            r.reporterFds = line.size() > 4 ? line.substr(4) : "";
        else if (line.rfind("SigBlk:", 0) == 0)
            r.sigBlk = line.substr(line.find_first_not_of(" \t", 7));
        else if (line.rfind("SigIgn:", 0) == 0)
            r.sigIgn = line.substr(line.find_first_not_of(" \t", 7));
    }
}

} // namespace

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

std::string localStamp(long long t)
{
    time_t tt = time_t(t);
    tm local{};
    localtime_r(&tt, &local);
    char buf[32];
    strftime(buf, sizeof buf, "%Y-%m%d-%H%M-%S", &local);
    return buf;
}

bool dumpNameMatches(const std::string& name, const std::string& base, const std::string& version, long long from,
                     long long to)
{
    for (long long t = from; t <= to; ++t) {
        if (name == base + "_" + localStamp(t) + "_" + version + ".dmp")
            return true;
    }
    return false;
}

Result run(const Setup& setup)
{
    Result r;
    const char* tmp = std::getenv("TMPDIR");
    std::string root = std::string(tmp && *tmp ? tmp : "/tmp") + "/crashrun.XXXXXX";
    std::vector<char> rootBuf(root.begin(), root.end());
    rootBuf.push_back(0);
    if (!mkdtemp(rootBuf.data()))
        return r;
    root = rootBuf.data();
    r.appDir = root + "/app";
    mkdir(r.appDir.c_str(), 0755);

    r.programPath = r.appDir + "/" + baseName(setup.program);
    if (!copyFile(setup.program, r.programPath, 0755))
        return r;
    for (const std::string& f : setup.extraFiles)
        copyFile(f, r.appDir + "/" + baseName(f), 0755);
    if (setup.withReporter)
        copyFile(FAKE_REPORTER_PATH, r.appDir + "/Faultmail", 0755);

    std::string record = root + "/reporter.record";
    std::string errPath = root + "/stderr.txt";

    std::vector<std::string> envStrings;
    for (char** e = environ; *e; ++e) {
        if (std::strncmp(*e, "ZAVMO_FAKE_REPORTER_RECORD=", 27) != 0)
            envStrings.push_back(*e);
    }
    envStrings.push_back("ZAVMO_FAKE_REPORTER_RECORD=" + record);
    for (const std::string& e : setup.env)
        envStrings.push_back(e);
    std::vector<char*> envp;
    for (std::string& e : envStrings)
        envp.push_back(e.data());
    envp.push_back(nullptr);

    std::vector<std::string> argStrings{r.programPath};
    argStrings.insert(argStrings.end(), setup.args.begin(), setup.args.end());
    std::vector<char*> argv;
    for (std::string& a : argStrings)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);

    r.startTime = time(nullptr);
    pid_t pid = 0;
    int rc = posix_spawn(&pid, r.programPath.c_str(), &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0)
        return r;

    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(setup.timeoutMs);
    int status = 0;
    for (;;) {
        pid_t done = waitpid(pid, &status, WNOHANG);
        if (done == pid)
            break;
        if (std::chrono::steady_clock::now() > deadline) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            r.timedOut = true;
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    r.endTime = time(nullptr);
    if (!r.timedOut && WIFEXITED(status)) {
        r.exited = true;
        r.exitCode = WEXITSTATUS(status);
    } else if (!r.timedOut && WIFSIGNALED(status)) {
        r.termSignal = WTERMSIG(status);
    }

    // The reporter runs on its own; give it a bounded time to record.
    if (setup.withReporter) {
        auto reporterDeadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (access(record.c_str(), F_OK) != 0 && std::chrono::steady_clock::now() < reporterDeadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (access(record.c_str(), F_OK) == 0) {
        r.reporterRan = true;
        parseRecord(readFile(record), r);
    }

    r.stderrText = readFile(errPath);
    if (DIR* dir = opendir(r.appDir.c_str())) {
        while (dirent* e = readdir(dir)) {
            std::string name = e->d_name;
            if (name.size() > 4 && name.compare(name.size() - 4, 4, ".dmp") == 0)
                r.dumpNames.push_back(name);
        }
        closedir(dir);
    }
    return r;
}

void expectReported(const Result& r, const std::string& child, const std::string& version, const std::string& ftpUrl,
                    const std::string& credential, const std::string& port)
{
    ASSERT_FALSE(r.timedOut) << "the crashing child hung";
    ASSERT_TRUE(r.exited) << "killed by signal " << r.termSignal << "; stderr: " << r.stderrText;
    EXPECT_EQ(r.exitCode, 0) << r.stderrText;
    ASSERT_EQ(r.dumpNames.size(), 1u);
    EXPECT_TRUE(dumpNameMatches(r.dumpNames[0], child, version, r.startTime, r.endTime)) << r.dumpNames[0];
    ASSERT_TRUE(r.reporterRan);
    const std::vector<std::string> expected{r.appDir + "/Faultmail", ftpUrl, r.appDir + "/" + r.dumpNames[0],
                                            credential, port};
    EXPECT_EQ(r.reporterArgv, expected);
}

} // namespace crashtest
