#include "platform/profile.h"

#include "platform/fileio.h"

#include <strings.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <sstream>
#include <vector>

namespace platform::profile {

namespace {

const std::string kBom = "\xEF\xBB\xBF";

std::string trim(const std::string& text)
{
    const size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos)
        return std::string();
    const size_t last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

bool sameName(const std::string& a, const std::string& b)
{
    return a.size() == b.size() && ::strcasecmp(a.c_str(), b.c_str()) == 0;
}

struct Lines
{
    bool bom = false;
    std::string eol = "\r\n";
    std::vector<std::string> lines; // without their line ends
};

// False when the file exists but cannot be read; a missing file is empty.
bool load(const std::string& file, Lines& out)
{
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        if (::access(file.c_str(), F_OK) == 0 || errno != ENOENT)
            return false;
        return true;
    }
    std::ostringstream buffer;
    buffer << in.rdbuf();
    if (in.bad())
        return false;
    std::string text = buffer.str();
    if (text.compare(0, kBom.size(), kBom) == 0) {
        out.bom = true;
        text.erase(0, kBom.size());
    }
    const size_t firstLf = text.find('\n');
    if (firstLf != std::string::npos)
        out.eol = (firstLf > 0 && text[firstLf - 1] == '\r') ? "\r\n" : "\n";
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        out.lines.push_back(line);
        start = end + 1;
    }
    return true;
}

// "[name]" -> name; false for any other line.
bool sectionName(const std::string& line, std::string& name)
{
    const std::string t = trim(line);
    if (t.size() < 2 || t.front() != '[')
        return false;
    const size_t close = t.find(']');
    if (close == std::string::npos)
        return false;
    name = trim(t.substr(1, close - 1));
    return true;
}

// "key=value" -> key and value; false for lines without "=".
bool keyLine(const std::string& line, std::string& key, std::string& value)
{
    const size_t eq = line.find('=');
    if (eq == std::string::npos)
        return false;
    key = trim(line.substr(0, eq));
    value = trim(line.substr(eq + 1));
    return true;
}

bool validName(const std::string& name)
{
    return !trim(name).empty() && name.find_first_of("\r\n=[]") == std::string::npos;
}

// Sets the key in the first section of that name, adding the key at the end
// of the section, or the section at the end, when missing.
void setKey(std::vector<std::string>& lines, const std::string& section, const std::string& key,
            const std::string& value)
{
    const std::string newLine = key + "=" + value;
    bool inSection = false;
    bool sectionSeen = false;
    size_t insertAt = 0; // after the last non-blank line of the section
    for (size_t i = 0; i < lines.size(); ++i) {
        std::string name, k, v;
        if (sectionName(lines[i], name)) {
            if (inSection)
                break; // the section ended without the key
            inSection = !sectionSeen && sameName(name, section);
            if (inSection) {
                sectionSeen = true;
                insertAt = i + 1;
            }
        } else if (inSection) {
            if (keyLine(lines[i], k, v) && sameName(k, key)) {
                lines[i] = newLine;
                return;
            }
            if (!trim(lines[i]).empty())
                insertAt = i + 1;
        }
    }
    if (sectionSeen) {
        lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(insertAt), newLine);
    } else {
        lines.push_back("[" + section + "]");
        lines.push_back(newLine);
    }
}

} // namespace

std::string readString(const std::string& file, const std::string& section, const std::string& key,
                       const std::string& fallback)
{
    Lines content;
    if (!load(file, content))
        return fallback;
    // Only the first section of that name counts, as for writeString: a key
    // read from a later one would not be the one a write changes.
    bool inSection = false;
    for (const std::string& line : content.lines) {
        std::string name, k, v;
        if (sectionName(line, name)) {
            if (inSection)
                break;
            inSection = sameName(name, trim(section));
        } else if (inSection && keyLine(line, k, v) && sameName(k, trim(key))) {
            if (v.size() >= 2 && v.front() == '"' && v.back() == '"')
                v = v.substr(1, v.size() - 2);
            return v;
        }
    }
    return fallback;
}

bool writeString(const std::string& file, const std::string& section, const std::string& key, const std::string& value)
{
    return writeStrings(file, section, {{key, value}});
}

bool writeStrings(const std::string& file, const std::string& section,
                  const std::vector<std::pair<std::string, std::string>>& values)
{
    if (!validName(section))
        return false;
    for (const auto& [key, value] : values)
        if (!validName(key) || value.find_first_of("\r\n") != std::string::npos)
            return false;
    Lines content;
    if (!load(file, content))
        return false;
    for (const auto& [key, value] : values)
        setKey(content.lines, trim(section), trim(key), value);

    std::string text = content.bom ? kBom : std::string();
    for (const std::string& line : content.lines)
        text += line + content.eol;
    return fileio::replaceFile(file, text);
}

} // namespace platform::profile
