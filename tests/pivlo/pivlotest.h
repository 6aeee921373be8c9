#pragma once
// What the plug-in's tests share: a private folder, the dated install log and
// its records.

#include "jsontext.h"
#include "textlogmanager.h"

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace pivlo::test {

inline std::string tempFolder(const std::string& name)
{
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/" + name + ".XXXXXX";
    return ::mkdtemp(pattern.data());
}

inline std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

// The file that pattern 3 makes of name in folder today.
inline std::string datedLog(const std::string& folder, const std::string& name = "point.log")
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    ::localtime_r(&now, &local);
    return MakeDatedFileName(3, folder + "/" + name, local);
}

// The texts of the records of a log file (what follows each stamp).
inline std::vector<std::string> records(const std::string& text)
{
    std::vector<std::string> out;
    const std::string head = "\r\n[";
    size_t at = text.find(head);
    while (at != std::string::npos) {
        const size_t body = text.find("]:  ", at);
        if (body == std::string::npos)
            break;
        const size_t next = text.find(head, body);
        out.push_back(text.substr(body + 4, next == std::string::npos ? std::string::npos : next - body - 4));
        at = next;
    }
    return out;
}

using zavmo::test::parseJson;

} // namespace pivlo::test
