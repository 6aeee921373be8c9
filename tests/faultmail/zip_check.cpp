#include "zip_check.h"

#include <sys/stat.h>
#include <zlib.h>

#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>

#include "run_program.h"

namespace faultmailtest {

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

void writeFile(const std::string& path, const std::string& data)
{
    std::ofstream(path, std::ios::binary | std::ios::trunc).write(data.data(), std::streamsize(data.size()));
}

bool exists(const std::string& path)
{
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0;
}

std::string makeTempFolder(const std::string& prefix)
{
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/" + prefix + ".XXXXXX";
    return ::mkdtemp(pattern.data()) ? pattern : std::string();
}

std::string testData(size_t size, unsigned seed)
{
    std::mt19937 rng(seed);
    std::string data;
    data.reserve(size);
    while (data.size() < size) {
        if (rng() % 2)
            data += "frame " + std::to_string(rng() % 1000) + " dropped\n";
        else
            for (int i = 0; i < 64; ++i)
                data.push_back(char(rng()));
    }
    data.resize(size);
    return data;
}

uint32_t crcOf(const std::string& data)
{
    return uint32_t(crc32(0, reinterpret_cast<const Bytef*>(data.data()), uInt(data.size())));
}

bool listWithPython(const std::string& archive, std::vector<ZipListEntry>& entries, std::string& error)
{
    // Names carry no UTF-8 flag, so zipfile decodes them as cp437: encoding
    // back gives the stored bytes.
    static const char script[] = "import sys, zipfile\n"
                                 "with zipfile.ZipFile(sys.argv[1]) as z:\n"
                                 "    for i in z.infolist():\n"
                                 "        z.read(i)\n"
                                 "        print(i.filename.encode('cp437').hex(), i.CRC, i.file_size)\n";
    const auto r = zavmo::test::runProgram({"/usr/bin/python3", "-c", script, archive});
    if (r.exitCode != 0) {
        error = r.output;
        return false;
    }
    std::istringstream in(r.output);
    std::string hex;
    ZipListEntry e;
    while (in >> hex >> e.crc >> e.size) {
        e.name.clear();
        for (size_t i = 0; i + 1 < hex.size(); i += 2)
            e.name.push_back(char(std::stoi(hex.substr(i, 2), nullptr, 16)));
        entries.push_back(e);
    }
    return true;
}

bool unzipTest(const std::string& archive, std::string& output)
{
    const auto r = zavmo::test::runProgram({"unzip", "-t", "-q", archive});
    output = r.output;
    return r.exitCode == 0;
}

} // namespace faultmailtest
