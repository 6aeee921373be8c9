// Archives a generated mixed folder (default 200 MiB) with CZipArchive and
// with `zip -r -1 -X -q` (same deflate level), alternating, five rounds, and
// prints the best wall-clock and CPU (user + system) time of each and their
// ratios. On a shared machine the CPU times are the steadier figure.
//
//   faultmail_zip_bench [MiB] [work folder]
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "faultmail/FaultmailApp.h"
#include "faultmail/ZipArchive.h"

extern char** environ;

namespace {

void writeFile(const std::string& path, const std::string& data)
{
    std::ofstream(path, std::ios::binary).write(data.data(), std::streamsize(data.size()));
}

// A folder of text-like logs, random (incompressible) blobs, sparse binary
// data and many small files, in sub-folders, totalling about `mib` MiB.
void generate(const std::string& root, size_t mib)
{
    std::mt19937_64 rng(42);
    const size_t total = mib << 20;
    size_t written = 0;
    const char* words[] = {"frame", "encoder", "bitrate", "dropped", "render", "0x7ffd", "ok", "warn", "stream"};
    for (int folder = 0; written < total; ++folder) {
        const std::string dir = root + "/d" + std::to_string(folder);
        ::mkdir(dir.c_str(), 0755);
        for (int i = 0; i < 40 && written < total; ++i) {
            std::string data;
            switch (i % 4) {
            case 0: { // log text, 1 MiB
                while (data.size() < (1u << 20))
                    data += std::string(words[rng() % 9]) + " " + std::to_string(rng() % 100000) + "\n";
                break;
            }
            case 1: { // random, 1 MiB
                data.resize(1u << 20);
                for (size_t k = 0; k + 8 <= data.size(); k += 8) {
                    const uint64_t v = rng();
                    std::copy_n(reinterpret_cast<const char*>(&v), 8, &data[k]);
                }
                break;
            }
            case 2: { // mostly zeros with scattered values, 2 MiB
                data.assign(2u << 20, '\0');
                for (size_t k = 0; k < data.size(); k += 64 + rng() % 512)
                    data[k] = char(rng());
                break;
            }
            default: // small files
                for (int s = 0; s < 32; ++s) {
                    std::string small(512 + rng() % 4096, 'a' + char(rng() % 26));
                    writeFile(dir + "/small" + std::to_string(i) + "_" + std::to_string(s) + ".ini", small);
                    written += small.size();
                }
                continue;
            }
            writeFile(dir + "/f" + std::to_string(i) + ".bin", data);
            written += data.size();
        }
    }
}

double seconds(std::chrono::steady_clock::duration d)
{
    return std::chrono::duration<double>(d).count();
}

double cpuSeconds(const rusage& u)
{
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

struct Times
{
    double wall = 1e9, cpu = 1e9;
    void keepBest(double w, double c)
    {
        wall = std::min(wall, w);
        cpu = std::min(cpu, c);
    }
};

void timeOurs(const std::string& folder, const std::string& archive, Times& times)
{
    rusage before{}, after{};
    getrusage(RUSAGE_SELF, &before);
    const auto start = std::chrono::steady_clock::now();
    std::vector<std::string> files;
    ListFolderFiles(folder, files);
    CZipArchive zip;
    zip.OpenArchive(archive);
    for (const std::string& f : files)
        zip.AddFileFromDisk(f, 1, true, nullptr, nullptr, 65535);
    zip.CloseArchive();
    const double wall = seconds(std::chrono::steady_clock::now() - start);
    getrusage(RUSAGE_SELF, &after);
    times.keepBest(wall, cpuSeconds(after) - cpuSeconds(before));
}

void timeZip(const std::string& parent, const std::string& name, const std::string& archive, Times& times)
{
    ::unlink(archive.c_str());
    std::vector<std::string> args{"zip", "-r", "-1", "-X", "-q", archive, name};
    std::vector<char*> argv;
    for (auto& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addchdir_np(&actions, parent.c_str());
    const auto start = std::chrono::steady_clock::now();
    pid_t pid = 0;
    if (posix_spawnp(&pid, "zip", &actions, nullptr, argv.data(), environ) != 0) {
        std::fprintf(stderr, "cannot start zip\n");
        std::exit(1);
    }
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    const double wall = seconds(std::chrono::steady_clock::now() - start);
    posix_spawn_file_actions_destroy(&actions);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "zip failed\n");
        std::exit(1);
    }
    times.keepBest(wall, cpuSeconds(usage));
}

long long fileSize(const std::string& path)
{
    struct stat st
    {
    };
    return ::stat(path.c_str(), &st) == 0 ? (long long)st.st_size : -1;
}

} // namespace

int main(int argc, char** argv)
{
    const size_t mib = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 200;
    std::string work = argc > 2 ? argv[2] : FaultmailTempFolder() + "/faultmail-zip-bench";
    ::mkdir(work.c_str(), 0700);
    const std::string folder = work + "/data";
    if (::mkdir(folder.c_str(), 0755) == 0)
        generate(folder, mib);
    const std::string ours = work + "/ours.zip", theirs = work + "/zip.zip";

    Times mine, zip;
    for (int round = 0; round < 5; ++round) {
        // Alternate, so a change of machine load hits both.
        timeOurs(folder, ours, mine);
        timeZip(work, "data", theirs, zip);
    }
    std::printf("folder       %zu MiB in %s\n", mib, folder.c_str());
    std::printf("CZipArchive  wall %.3f s  cpu %.3f s  %lld bytes\n", mine.wall, mine.cpu, fileSize(ours));
    std::printf("zip -r -1    wall %.3f s  cpu %.3f s  %lld bytes\n", zip.wall, zip.cpu, fileSize(theirs));
    std::printf("ratio        wall %.2f  cpu %.2f (CZipArchive / zip)\n", mine.wall / zip.wall, mine.cpu / zip.cpu);
    return 0;
}
