#include "platform/codepage.h"

#include <iconv.h>

#include <cerrno>
#include <cstring>

namespace platform {
namespace codepage {

namespace {

const char* const kAnsi = "CP936";
const char* const kUtf16 = "UTF-16LE";
const char* const kUtf8 = "UTF-8";
const char* const kWide = "WCHAR_T";

// Byte length of one code unit of the source encoding, used to skip an
// invalid unit and resynchronise.
size_t unitSize(const char* encoding)
{
    if (std::strcmp(encoding, kUtf16) == 0)
        return 2;
    if (std::strcmp(encoding, kWide) == 0)
        return sizeof(wchar_t);
    return 1;
}

template <typename Str> std::string toBytes(const Str& s)
{
    return std::string(reinterpret_cast<const char*>(s.data()), s.size() * sizeof(typename Str::value_type));
}

template <typename Str> Str fromBytes(const std::string& bytes)
{
    using Ch = typename Str::value_type;
    Str out(bytes.size() / sizeof(Ch), Ch());
    if (!out.empty())
        std::memcpy(&out[0], bytes.data(), out.size() * sizeof(Ch));
    return out;
}

std::string replacementFor(const char* to)
{
    if (std::strcmp(to, kUtf16) == 0)
        return std::string("?\0", 2);
    if (std::strcmp(to, kWide) == 0)
        return toBytes(std::wstring(L"?"));
    return "?";
}

std::string run(const char* from, const char* to, const std::string& input)
{
    std::string out;
    convert(from, to, input, out, replacementFor(to));
    return out;
}

} // namespace

namespace {

// One iconv pass. An EILSEQ skips `skip` input bytes and writes the
// replacement; an incomplete sequence at the end writes it once and stops.
bool pass(const char* from, const char* to, size_t skip, const std::string& input, std::string& output,
          const std::string& replacement)
{
    output.clear();
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1))
        return false;

    char* in = const_cast<char*>(input.data());
    size_t inLeft = input.size();
    char buffer[4096];

    while (inLeft > 0) {
        char* outPtr = buffer;
        size_t outLeft = sizeof(buffer);
        size_t r = iconv(cd, &in, &inLeft, &outPtr, &outLeft);
        const int err = errno;
        output.append(buffer, static_cast<size_t>(outPtr - buffer));
        if (r != static_cast<size_t>(-1) || err == E2BIG)
            continue;
        output += replacement;
        if (err != EILSEQ)
            break;
        size_t step = skip < inLeft ? skip : inLeft;
        in += step;
        inLeft -= step;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
    char* outPtr = buffer;
    size_t outLeft = sizeof(buffer);
    iconv(cd, nullptr, nullptr, &outPtr, &outLeft);
    output.append(buffer, static_cast<size_t>(outPtr - buffer));
    iconv_close(cd);
    return true;
}

} // namespace

bool convert(const char* from, const char* to, const std::string& input, std::string& output,
             const std::string& replacement)
{
    // Decode to UTF-32 first, so that an invalid input unit and a character
    // the target cannot hold are each replaced exactly once.
    static const char* const kUtf32 = "UTF-32LE";
    std::string utf32;
    if (!pass(from, kUtf32, unitSize(from), input, utf32, std::string("?\0\0\0", 4)))
        return false;
    return pass(kUtf32, to, 4, utf32, output, replacement);
}

std::string utf16ToAnsi(const std::u16string& text)
{
    return run(kUtf16, kAnsi, toBytes(text));
}
std::u16string ansiToUtf16(const std::string& text)
{
    return fromBytes<std::u16string>(run(kAnsi, kUtf16, text));
}
std::string utf8ToAnsi(const std::string& text)
{
    return run(kUtf8, kAnsi, text);
}
std::string ansiToUtf8(const std::string& text)
{
    return run(kAnsi, kUtf8, text);
}
std::string wideToAnsi(const std::wstring& text)
{
    return run(kWide, kAnsi, toBytes(text));
}
std::wstring ansiToWide(const std::string& text)
{
    return fromBytes<std::wstring>(run(kAnsi, kWide, text));
}

} // namespace codepage
} // namespace platform
