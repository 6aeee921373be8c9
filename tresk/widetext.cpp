#include "widetext.h"

#include <platform/codepage.h>

#include <sys/time.h>

namespace tresk {

std::wstring toTreeText(const std::u16string& text)
{
    return std::wstring(text.begin(), text.end());
}

std::u16string fromTreeText(const std::wstring& text)
{
    std::u16string out;
    out.reserve(text.size());
    for (wchar_t c : text)
        out.push_back(static_cast<char16_t>(c));
    return out;
}

std::u16string widen(const std::string& ascii)
{
    return std::u16string(ascii.begin(), ascii.end());
}

std::u16string utf8ToWide(const std::string& utf8)
{
    std::string bytes;
    if (!platform::codepage::convert("UTF-8", "UTF-16LE", utf8, bytes, std::string("?\0", 2)))
        return std::u16string();
    std::u16string out;
    for (size_t i = 0; i + 1 < bytes.size(); i += 2)
        out.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                            static_cast<unsigned char>(bytes[i + 1]) << 8));
    return out;
}

std::string wideToAnsi(const std::u16string& text)
{
    return platform::codepage::utf16ToAnsi(text);
}

std::u16string ansiToWide(const std::string& ansi)
{
    return platform::codepage::ansiToUtf16(ansi);
}

long long eventTimeMs()
{
    timeval now{};
    ::gettimeofday(&now, nullptr);
    // The local time's millisecond field is the same as UTC's.
    return static_cast<long long>(now.tv_sec) * 1000 + now.tv_usec / 1000;
}

} // namespace tresk
