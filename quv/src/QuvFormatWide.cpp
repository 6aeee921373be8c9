#include "QuvFormatWide.h"
#include "QuvUtf16.h"

#include "platform/codepage.h"

#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

namespace quv {
namespace detail {

namespace {

enum class Length { None, Char, Short, Long, LongLong, LongDouble, Size, Ptrdiff, Max, Wide, Int32, Int64 };

struct Directive
{
    std::string flags;
    int width = -1;
    int precision = -1;
    bool leftAlign = false;
    Length length = Length::None;
};

void appendAscii(std::u16string& out, const char* text, size_t n)
{
    for (size_t i = 0; i < n; ++i)
        out.push_back(static_cast<unsigned char>(text[i]));
}

// Runs snprintf for one numeric conversion and widens its ASCII output.
template <typename T>
void appendNumber(std::u16string& out, const Directive& directive, const char* lengthText, char conversion, T value)
{
    std::string fmt = "%" + directive.flags;
    if (directive.leftAlign)
        fmt += '-';
    if (directive.width >= 0)
        fmt += std::to_string(directive.width);
    if (directive.precision >= 0)
        fmt += "." + std::to_string(directive.precision);
    fmt += lengthText;
    fmt += conversion;
    int needed = std::snprintf(nullptr, 0, fmt.c_str(), value);
    if (needed <= 0)
        return;
    std::string text(static_cast<size_t>(needed) + 1, '\0');
    std::snprintf(&text[0], text.size(), fmt.c_str(), value);
    appendAscii(out, text.data(), static_cast<size_t>(needed));
}

void appendPadded(std::u16string& out, const Directive& directive, const std::u16string& text)
{
    std::u16string body = text;
    if (directive.precision >= 0)
        CutWhole(body, static_cast<size_t>(directive.precision));
    size_t pad = directive.width > 0 && static_cast<size_t>(directive.width) > body.size()
                     ? static_cast<size_t>(directive.width) - body.size()
                     : 0;
    if (!directive.leftAlign)
        out.append(pad, u' ');
    out += body;
    if (directive.leftAlign)
        out.append(pad, u' ');
}

int readNumber(const char16_t*& p)
{
    long long value = 0;
    while (*p >= u'0' && *p <= u'9') {
        value = value * 10 + (*p - u'0');
        if (value > INT_MAX)
            value = INT_MAX;
        ++p;
    }
    return static_cast<int>(value);
}

Length readLength(const char16_t*& p)
{
    switch (*p) {
    case u'h':
        ++p;
        if (*p == u'h') {
            ++p;
            return Length::Char;
        }
        return Length::Short;
    case u'l':
        ++p;
        if (*p == u'l') {
            ++p;
            return Length::LongLong;
        }
        return Length::Long;
    case u'L':
        ++p;
        return Length::LongDouble;
    case u'q':
        ++p;
        return Length::LongLong;
    case u'z':
        ++p;
        return Length::Size;
    case u't':
        ++p;
        return Length::Ptrdiff;
    case u'j':
        ++p;
        return Length::Max;
    case u'w':
        ++p;
        return Length::Wide;
    case u'I':
        // Windows sizes: I64, I32, and plain I for pointer-sized integers.
        if (p[1] == u'6' && p[2] == u'4') {
            p += 3;
            return Length::Int64;
        }
        if (p[1] == u'3' && p[2] == u'2') {
            p += 3;
            return Length::Int32;
        }
        ++p;
        return Length::Size;
    default:
        return Length::None;
    }
}

long long readSigned(Length length, va_list& args)
{
    switch (length) {
    case Length::Char:
        return static_cast<signed char>(va_arg(args, int));
    case Length::Short:
        return static_cast<short>(va_arg(args, int));
    case Length::Long:
        return va_arg(args, long);
    case Length::LongLong:
    case Length::Int64:
        return va_arg(args, long long);
    case Length::Size:
    case Length::Ptrdiff:
        return va_arg(args, ptrdiff_t);
    case Length::Max:
        return va_arg(args, intmax_t);
    default:
        return va_arg(args, int);
    }
}

unsigned long long readUnsigned(Length length, va_list& args)
{
    switch (length) {
    case Length::Char:
        return static_cast<unsigned char>(va_arg(args, unsigned));
    case Length::Short:
        return static_cast<unsigned short>(va_arg(args, unsigned));
    case Length::Long:
        return va_arg(args, unsigned long);
    case Length::LongLong:
    case Length::Int64:
        return va_arg(args, unsigned long long);
    case Length::Size:
    case Length::Ptrdiff:
        return va_arg(args, size_t);
    case Length::Max:
        return va_arg(args, uintmax_t);
    default:
        return va_arg(args, unsigned);
    }
}

// Narrow text arguments of a wide format are in the ANSI code page.
std::u16string fromAnsi(const char* text, size_t n)
{
    return platform::codepage::ansiToUtf16(std::string(text, n));
}

} // namespace

void CutWhole(std::u16string& text, size_t units)
{
    if (text.size() <= units)
        return;
    // A pair cut in two would leave a surrogate that encodes as U+FFFD.
    if (units > 0 && IsHighSurrogate(text[units - 1]) && IsLowSurrogate(text[units]))
        --units;
    text.resize(units);
}

void FormatWideV(std::u16string& out, const char16_t* format, va_list args)
{
    va_list ap;
    va_copy(ap, args);
    const char16_t* p = format;
    while (*p) {
        if (*p != u'%') {
            out.push_back(*p++);
            continue;
        }
        const char16_t* start = p++;
        Directive directive;
        for (;; ++p) {
            if (*p == u'-')
                directive.leftAlign = true;
            else if (*p == u'+' || *p == u' ' || *p == u'#' || *p == u'0')
                directive.flags += static_cast<char>(*p);
            else
                break;
        }
        if (*p == u'*') {
            ++p;
            int w = va_arg(ap, int);
            if (w < 0) {
                directive.leftAlign = true;
                w = w == INT_MIN ? INT_MAX : -w;
            }
            directive.width = w;
        } else if (*p >= u'0' && *p <= u'9') {
            directive.width = readNumber(p);
        }
        if (*p == u'.') {
            ++p;
            if (*p == u'*') {
                ++p;
                int prec = va_arg(ap, int);
                directive.precision = prec < 0 ? -1 : prec;
            } else {
                directive.precision = readNumber(p);
            }
        }
        directive.length = readLength(p);
        const char16_t conversion = *p;
        if (conversion == 0)
            break;
        ++p;
        const bool wideArg = directive.length == Length::Long || directive.length == Length::Wide;
        const bool narrowArg = directive.length == Length::Short;
        switch (conversion) {
        case u'%':
            out.push_back(u'%');
            break;
        case u'd':
        case u'i':
            appendNumber(out, directive, "ll", 'd', readSigned(directive.length, ap));
            break;
        case u'u':
        case u'o':
        case u'x':
        case u'X':
            appendNumber(out, directive, "ll", static_cast<char>(conversion), readUnsigned(directive.length, ap));
            break;
        case u'f':
        case u'F':
        case u'e':
        case u'E':
        case u'g':
        case u'G':
        case u'a':
        case u'A':
            if (directive.length == Length::LongDouble)
                appendNumber(out, directive, "L", static_cast<char>(conversion), va_arg(ap, long double));
            else
                appendNumber(out, directive, "", static_cast<char>(conversion), va_arg(ap, double));
            break;
        case u'p': {
            Directive plain = directive;
            plain.flags.clear();
            plain.precision = -1;
            appendNumber(out, plain, "", 'p', va_arg(ap, void*));
            break;
        }
        case u'c':
        case u'C': {
            int value = va_arg(ap, int);
            bool narrow = conversion == u'c' ? narrowArg : !wideArg;
            std::u16string text;
            if (narrow) {
                char byte = static_cast<char>(value);
                text = fromAnsi(&byte, 1);
            } else {
                text.assign(1, static_cast<char16_t>(value));
            }
            Directive noPrecision = directive;
            noPrecision.precision = -1;
            appendPadded(out, noPrecision, text);
            break;
        }
        case u's':
        case u'S': {
            bool narrow = conversion == u's' ? narrowArg : !wideArg;
            std::u16string text;
            if (narrow) {
                const char* s = va_arg(ap, const char*);
                text = s ? fromAnsi(s, std::char_traits<char>::length(s)) : u"(null)";
            } else {
                const char16_t* s = va_arg(ap, const char16_t*);
                text = s ? std::u16string(s) : u"(null)";
            }
            appendPadded(out, directive, text);
            break;
        }
        case u'n':
            // Never writes through an argument.
            (void)va_arg(ap, void*);
            break;
        default:
            // Not a conversion: keep the text as written.
            out.append(start, p);
            break;
        }
    }
    va_end(ap);
}

} // namespace detail
} // namespace quv
