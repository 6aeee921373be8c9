// Stand-in crash reporter: records its arguments, the descriptors it
// inherited and its signal state into the file named by
// ZAVMO_FAKE_REPORTER_RECORD (written to a temporary name, then renamed, so
// a reader never sees half a record).
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <string>

int main(int argc, char** argv)
{
    const char* record = std::getenv("ZAVMO_FAKE_REPORTER_RECORD");
    if (!record)
        return 2;
    std::string text = "argc " + std::to_string(argc) + "\n";
    for (int i = 0; i < argc; ++i)
        text += "arg " + std::string(argv[i]) + "\n";

    std::string fds = "fds";
    if (DIR* dir = opendir("/proc/self/fd")) {
        int own = dirfd(dir);
        while (dirent* e = readdir(dir)) {
            if (e->d_name[0] == '.')
                continue;
            int fd = std::atoi(e->d_name);
            if (fd > 2 && fd != own)
                fds += " " + std::to_string(fd);
        }
        closedir(dir);
    }
    text += fds + "\n";

    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("SigBlk:", 0) == 0 || line.rfind("SigIgn:", 0) == 0)
            text += line + "\n";
    }

    std::string tmp = std::string(record) + ".tmp";
    {
        std::ofstream out(tmp, std::ios::binary);
        out << text;
    }
    return std::rename(tmp.c_str(), record) == 0 ? 0 : 3;
}
