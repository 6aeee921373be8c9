// Downloads one file from the simulator with Tresk's downloader and with the
// curl program, over TLS (443) and plain HTTP (80) mapped through
// ZAVMO_CONNECT_TO, and prints the rates and the downloader's ratio to curl.

#include "downloader.h"
#include "widetext.h"

#include "simulator.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

double seconds(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

long long fileSize(const std::string& path)
{
    struct stat st
    {
    };
    return ::stat(path.c_str(), &st) == 0 ? st.st_size : -1;
}

// Runs curl -o as a user would, with the same mappings and CA.
// CPU seconds (user + system) of a resource record.
double cpuSeconds(const rusage& r)
{
    return static_cast<double>(r.ru_utime.tv_sec + r.ru_stime.tv_sec) +
           static_cast<double>(r.ru_utime.tv_usec + r.ru_stime.tv_usec) / 1e6;
}

double threadCpuSeconds()
{
    rusage r{};
    ::getrusage(RUSAGE_THREAD, &r);
    return cpuSeconds(r);
}

bool runCurl(const zavmo::test::Simulator& sim, const std::string& url, const std::string& out, double* cpu)
{
    std::vector<std::string> args = {"curl", "-sS", "--fail", "--noproxy", "*", "--cacert", sim.caFile()};
    // The same mappings as the downloader gets through ZAVMO_CONNECT_TO.
    const std::string mappings = std::getenv("ZAVMO_CONNECT_TO");
    for (size_t start = 0; start < mappings.size();) {
        const size_t comma = mappings.find(',', start);
        args.push_back("--connect-to");
        args.push_back(mappings.substr(start, comma - start));
        start = comma == std::string::npos ? mappings.size() : comma + 1;
    }
    args.insert(args.end(), {"-o", out, url});
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    if (posix_spawnp(&pid, "curl", nullptr, nullptr, argv.data(), environ) != 0)
        return false;
    int status = 0;
    rusage usage{};
    const bool ok = ::wait4(pid, &status, 0, &usage) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    *cpu = cpuSeconds(usage);
    return ok;
}

} // namespace

int main(int argc, char** argv)
{
    const long long mib = argc > 1 ? std::atoll(argv[1]) : 1024;
    const long long size = mib << 20;
    zavmo::test::Simulator::Options options;
    options.maxSeconds = 1800;
    zavmo::test::Simulator sim(options);
    sim.setEnvironment();

    // Random-looking content, so that nothing along the way can shortcut it.
    const std::string source = sim.filesRoot() + "/big.bin";
    {
        std::ofstream out(source, std::ios::binary);
        std::string block(1 << 20, '\0');
        unsigned long long x = 0x9E3779B97F4A7C15ull;
        for (long long done = 0; done < size; done += static_cast<long long>(block.size())) {
            for (size_t i = 0; i < block.size(); i += 8) {
                x ^= x << 13;
                x ^= x >> 7;
                x ^= x << 17;
                std::memcpy(&block[i], &x, 8);
            }
            out.write(block.data(), static_cast<std::streamsize>(block.size()));
        }
    }
    const std::string target = sim.folder() + "/out";
    std::filesystem::create_directories(target);
    std::printf("file: %lld MiB from the simulator on 127.0.0.1\n", mib);
    std::printf("%-6s %12s %12s %8s %12s %12s\n", "scheme", "tresk MB/s", "curl MB/s", "ratio", "tresk cpu s",
                "curl cpu s");
    for (bool secure : {true, false}) {
        const std::string url = std::string(secure ? "https" : "http") + "://127.0.0.1/files/big.bin";
        const std::string stored = target + "/big.bin";

        // Each side three times, alternating, the best run counting: neither
        // gains from going second (a warm cache, a quieter machine).
        double curlSeconds = 1e300, treskSeconds = 1e300, curlCpu = 1e300, treskCpu = 1e300;
        for (int round = 0; round < 3; ++round) {
            std::filesystem::remove(stored);
            auto start = Clock::now();
            double cpu = 0;
            if (!runCurl(sim, url, stored, &cpu) || fileSize(stored) != size) {
                std::fprintf(stderr, "curl failed\n");
                return 1;
            }
            curlSeconds = std::min(curlSeconds, seconds(start));
            curlCpu = std::min(curlCpu, cpu);

            std::filesystem::remove(stored);
            tresk::DownloadParams params;
            params.url = tresk::widen(url);
            params.folder = tresk::widen(target);
            params.secure = secure;
            start = Clock::now();
            const double cpuBefore = threadCpuSeconds();
            if (!tresk::downloadFile(params) || fileSize(stored) != size) {
                std::fprintf(stderr, "the downloader failed\n");
                return 1;
            }
            treskSeconds = std::min(treskSeconds, seconds(start));
            treskCpu = std::min(treskCpu, threadCpuSeconds() - cpuBefore);
        }
        std::filesystem::remove(stored);

        const double mb = static_cast<double>(size) / 1e6;
        std::printf("%-6s %12.1f %12.1f %8.2f %12.2f %12.2f\n", secure ? "https" : "http", mb / treskSeconds,
                    mb / curlSeconds, curlSeconds / treskSeconds, treskCpu, curlCpu);
    }
    return 0;
}
