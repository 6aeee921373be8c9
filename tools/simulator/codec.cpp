#include "codec.h"

#include <algorithm>
#include <cctype>

namespace zavmo::sim {

namespace {

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

int base64Value(char c)
{
    if (c >= 'A' && c <= 'Z')
        return c - 'A';
    if (c >= 'a' && c <= 'z')
        return c - 'a' + 26;
    if (c >= '0' && c <= '9')
        return c - '0' + 52;
    if (c == '+')
        return 62;
    if (c == '/')
        return 63;
    return -1;
}

const char kBase64Alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

} // namespace

std::string percentDecode(const std::string& text)
{
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size()) {
            const int hi = hexValue(text[i + 1]);
            const int lo = hexValue(text[i + 2]);
            if (hi >= 0 && lo >= 0) {
                out.push_back(static_cast<char>(hi * 16 + lo));
                i += 2;
                continue;
            }
        }
        out.push_back(text[i]);
    }
    return out;
}

std::vector<std::pair<std::string, std::string>> parseForm(const std::string& body)
{
    std::vector<std::pair<std::string, std::string>> fields;
    size_t start = 0;
    while (start <= body.size()) {
        size_t end = body.find('&', start);
        if (end == std::string::npos)
            end = body.size();
        const std::string part = body.substr(start, end - start);
        if (!part.empty()) {
            const size_t eq = part.find('=');
            if (eq == std::string::npos)
                fields.emplace_back(percentDecode(part), std::string());
            else
                fields.emplace_back(percentDecode(part.substr(0, eq)), percentDecode(part.substr(eq + 1)));
        }
        start = end + 1;
    }
    return fields;
}

std::vector<std::pair<std::string, std::string>> parseQuery(const std::string& query)
{
    std::string text = query;
    std::replace(text.begin(), text.end(), '+', ' ');
    return parseForm(text);
}

std::optional<std::string> base64Decode(const std::string& text)
{
    if (text.size() % 4 != 0)
        return std::nullopt;
    std::string out;
    out.reserve(text.size() / 4 * 3);
    for (size_t i = 0; i < text.size(); i += 4) {
        const bool last = i + 4 == text.size();
        int pad = 0;
        unsigned int group = 0;
        for (size_t j = 0; j < 4; ++j) {
            const char c = text[i + j];
            if (c == '=') {
                // Fill only at the end of the last group: "xx==" or "xxx=".
                if (!last || j < 2)
                    return std::nullopt;
                ++pad;
                group <<= 6;
                continue;
            }
            const int v = base64Value(c);
            if (v < 0 || pad > 0)
                return std::nullopt;
            group = (group << 6) | static_cast<unsigned int>(v);
        }
        out.push_back(static_cast<char>((group >> 16) & 0xFF));
        if (pad < 2)
            out.push_back(static_cast<char>((group >> 8) & 0xFF));
        if (pad < 1)
            out.push_back(static_cast<char>(group & 0xFF));
    }
    return out;
}

std::string base64Encode(const std::string& data)
{
    std::string out;
    out.reserve((data.size() + 2) / 3 * 4);
    for (size_t i = 0; i < data.size(); i += 3) {
        const size_t n = std::min<size_t>(3, data.size() - i);
        unsigned int group = 0;
        for (size_t j = 0; j < 3; ++j)
            group = (group << 8) | (j < n ? static_cast<unsigned char>(data[i + j]) : 0u);
        out.push_back(kBase64Alphabet[(group >> 18) & 63]);
        out.push_back(kBase64Alphabet[(group >> 12) & 63]);
        out.push_back(n > 1 ? kBase64Alphabet[(group >> 6) & 63] : '=');
        out.push_back(n > 2 ? kBase64Alphabet[group & 63] : '=');
    }
    return out;
}

bool isValidUtf8(const std::string& text)
{
    size_t i = 0;
    while (i < text.size()) {
        const auto c = static_cast<unsigned char>(text[i]);
        size_t len;
        unsigned int cp;
        if (c < 0x80) {
            ++i;
            continue;
        } else if ((c & 0xE0) == 0xC0) {
            len = 2;
            cp = c & 0x1F;
        } else if ((c & 0xF0) == 0xE0) {
            len = 3;
            cp = c & 0x0F;
        } else if ((c & 0xF8) == 0xF0) {
            len = 4;
            cp = c & 0x07;
        } else {
            return false;
        }
        if (i + len > text.size())
            return false;
        for (size_t j = 1; j < len; ++j) {
            const auto cc = static_cast<unsigned char>(text[i + j]);
            if ((cc & 0xC0) != 0x80)
                return false;
            cp = (cp << 6) | (cc & 0x3F);
        }
        const unsigned int minimum[] = {0, 0, 0x80, 0x800, 0x10000};
        if (cp < minimum[len] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        i += len;
    }
    return true;
}

std::string mediaType(const std::string& contentType)
{
    std::string type = contentType.substr(0, contentType.find(';'));
    const auto notSpace = [](unsigned char c) { return !std::isspace(c); };
    type.erase(type.begin(), std::find_if(type.begin(), type.end(), notSpace));
    type.erase(std::find_if(type.rbegin(), type.rend(), notSpace).base(), type.end());
    std::transform(type.begin(), type.end(), type.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return type;
}

} // namespace zavmo::sim
