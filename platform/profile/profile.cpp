#include "platform/profile.h"

#include <algorithm>

namespace platform::profile {

namespace {

const std::string kBom = "\xEF\xBB\xBF";

std::string trim(const std::string& text)
{
    const char* blanks = " \t";
    const size_t first = text.find_first_not_of(blanks);
    if (first == std::string::npos)
        return std::string();
    const size_t last = text.find_last_not_of(blanks);
    return text.substr(first, last - first + 1);
}

bool equalsNoCase(const std::string& a, const std::string& b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; };
               return lower(x) == lower(y);
           });
}

// "[name]" (blanks allowed around) gives name.
std::optional<std::string> sectionName(const std::string& line)
{
    const std::string t = trim(line);
    if (t.size() < 2 || t.front() != '[')
        return std::nullopt;
    const size_t close = t.find(']');
    if (close == std::string::npos)
        return std::nullopt;
    return trim(t.substr(1, close - 1));
}

// "key=value" gives the trimmed key and sets *value to the raw rest.
std::optional<std::string> keyName(const std::string& line, std::string* value = nullptr)
{
    const std::string t = trim(line);
    if (t.empty() || t.front() == ';' || t.front() == '[')
        return std::nullopt;
    const size_t eq = line.find('=');
    if (eq == std::string::npos)
        return std::nullopt;
    if (value)
        *value = line.substr(eq + 1);
    return trim(line.substr(0, eq));
}

std::string withoutLineBreaks(std::string text)
{
    text.erase(std::remove_if(text.begin(), text.end(), [](char c) { return c == '\r' || c == '\n' || c == '\0'; }),
               text.end());
    return text;
}

} // namespace

IniDocument IniDocument::parse(const std::string& bytes)
{
    IniDocument doc;
    size_t pos = 0;
    if (bytes.compare(0, kBom.size(), kBom) == 0) {
        doc.bom_ = true;
        pos = kBom.size();
    }
    while (pos < bytes.size()) {
        const size_t nl = bytes.find('\n', pos);
        Line line;
        if (nl == std::string::npos) {
            line.content = bytes.substr(pos);
            pos = bytes.size();
        } else {
            const bool crlf = nl > pos && bytes[nl - 1] == '\r';
            line.content = bytes.substr(pos, nl - pos - (crlf ? 1 : 0));
            line.end = crlf ? "\r\n" : "\n";
            pos = nl + 1;
        }
        doc.lines_.push_back(std::move(line));
    }
    return doc;
}

bool IniDocument::findSection(const std::string& section, size_t* begin, size_t* end) const
{
    for (size_t i = 0; i < lines_.size(); ++i) {
        const auto name = sectionName(lines_[i].content);
        if (!name || !equalsNoCase(*name, section))
            continue;
        size_t j = i + 1;
        while (j < lines_.size() && !sectionName(lines_[j].content))
            ++j;
        *begin = i;
        *end = j;
        return true;
    }
    return false;
}

std::optional<std::string> IniDocument::value(const std::string& section, const std::string& key) const
{
    size_t begin = 0, end = 0;
    if (!findSection(section, &begin, &end))
        return std::nullopt;
    for (size_t i = begin + 1; i < end; ++i) {
        std::string raw;
        const auto name = keyName(lines_[i].content, &raw);
        if (!name || !equalsNoCase(*name, key))
            continue;
        std::string v = trim(raw);
        if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
            v = v.substr(1, v.size() - 2);
        return v;
    }
    return std::nullopt;
}

std::string IniDocument::newline() const
{
    for (const Line& line : lines_) {
        if (!line.end.empty())
            return line.end;
    }
    return "\r\n";
}

void IniDocument::setValue(const std::string& sectionIn, const std::string& keyIn, const std::string& valueIn)
{
    const std::string section = withoutLineBreaks(sectionIn);
    const std::string key = withoutLineBreaks(keyIn);
    const std::string value = withoutLineBreaks(valueIn);
    const std::string nl = newline();

    size_t begin = 0, end = 0;
    if (!findSection(section, &begin, &end)) {
        if (!lines_.empty() && lines_.back().end.empty())
            lines_.back().end = nl;
        lines_.push_back({"[" + section + "]", nl});
        lines_.push_back({key + "=" + value, nl});
        return;
    }
    size_t last = begin;
    for (size_t i = begin + 1; i < end; ++i) {
        const auto name = keyName(lines_[i].content);
        if (name && equalsNoCase(*name, key)) {
            lines_[i].content = *name + "=" + value;
            return;
        }
        if (!trim(lines_[i].content).empty())
            last = i;
    }
    if (lines_[last].end.empty())
        lines_[last].end = nl;
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(last + 1), Line{key + "=" + value, nl});
}

std::string IniDocument::text() const
{
    std::string out = bom_ ? kBom : std::string();
    for (const Line& line : lines_)
        out += line.content + line.end;
    return out;
}

} // namespace platform::profile
