#include "quv/QuvString.h"

#include "QuvFormatWide.h"
#include "QuvUtf16.h"

#include "platform/codepage.h"

#include <array>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

// Characters per lead byte for counting and substrings. Bytes that cannot
// lead (continuations, 0xFE, 0xFF) count as one character each.
constexpr std::array<unsigned char, 256> makeLeadLengths()
{
    std::array<unsigned char, 256> t{};
    for (int b = 0; b < 256; ++b) {
        if (b < 0xC0)
            t[b] = 1;
        else if (b < 0xE0)
            t[b] = 2;
        else if (b < 0xF0)
            t[b] = 3;
        else if (b < 0xF8)
            t[b] = 4;
        else if (b < 0xFC)
            t[b] = 5;
        else if (b < 0xFE)
            t[b] = 6;
        else
            t[b] = 1;
    }
    return t;
}
constexpr std::array<unsigned char, 256> kLeadLengths = makeLeadLengths();

// Sequence length by the decoder's rules (see the header).
inline size_t decodeStep(unsigned char b)
{
    if (b < 0x80)
        return 1;
    if ((b & 0xF0) == 0xE0)
        return 3;
    if ((b & 0xF8) == 0xF0)
        return 4;
    return 2;
}

// Bytes actually present of a `step`-byte sequence at p: a NUL ends it early.
inline size_t presentBytes(const unsigned char* p, size_t step)
{
    size_t i = 1;
    while (i < step && p[i] != 0)
        ++i;
    return i;
}

// Decodes the sequence at p by the decoder's rules (see the header) and
// steps past it. A cut sequence gives U+FFFD; a 4-byte sequence beyond
// U+10FFFF, which no pair can hold, gives U+FFFD as well.
inline uint32_t decodeOne(const unsigned char*& p)
{
    const size_t step = decodeStep(*p);
    const size_t present = presentBytes(p, step);
    uint32_t u;
    if (present < step) {
        u = 0xFFFD;
    } else {
        switch (step) {
        case 1:
            u = p[0];
            break;
        case 3:
            u = (p[0] & 0x1Fu) << 12 | (p[1] & 0x3Fu) << 6 | (p[2] & 0x3Fu);
            break;
        case 4:
            u = (p[0] & 0x07u) << 18 | (p[1] & 0x3Fu) << 12 | (p[2] & 0x3Fu) << 6 | (p[3] & 0x3Fu);
            if (u > 0x10FFFF)
                u = 0xFFFD;
            break;
        default:
            u = (p[0] & 0x3Fu) << 6 | (p[1] & 0x3Fu);
            break;
        }
    }
    p += present;
    return u;
}

// The code point the encoder writes for the unit(s) at p, stepping past
// them: a valid pair is one character, an unpaired surrogate U+FFFD.
inline uint32_t encodedUnit(const char16_t*& p)
{
    using quv::detail::IsHighSurrogate;
    using quv::detail::IsLowSurrogate;
    uint32_t u = *p++;
    if (IsHighSurrogate(u) && IsLowSurrogate(*p))
        return 0x10000 + ((u - 0xD800) << 10) + (*p++ - 0xDC00u);
    if (IsHighSurrogate(u) || IsLowSurrogate(u))
        return 0xFFFD;
    return u;
}

char* copyText(const char* text, size_t length)
{
    char* block = static_cast<char*>(std::malloc(length + 1));
    if (block) {
        std::memcpy(block, text, length);
        block[length] = '\0';
    }
    return block;
}

char* emptyText()
{
    return copyText("", 0);
}

size_t wideLength(const char16_t* wide)
{
    return std::char_traits<char16_t>::length(wide);
}

// Length of the longest prefix of text[0, length) that ends on a whole
// character, given that the text was cut at `length`.
size_t wholeCharacterPrefix(const char* text, size_t length)
{
    size_t start = length;
    for (int back = 0; back < 6 && start > 0; ++back) {
        unsigned char b = static_cast<unsigned char>(text[start - 1]);
        --start;
        if ((b & 0xC0) != 0x80) {
            if (b >= 0xC0 && kLeadLengths[b] > length - start)
                return start;
            return length;
        }
    }
    return length;
}

// vsnprintf into a block sized for the output, keeping at most maxLen bytes.
char* formatNarrow(size_t maxLen, bool utf8, const char* format, va_list args)
{
    if (!format)
        return nullptr;
    va_list measure;
    va_copy(measure, args);
    int needed = std::vsnprintf(nullptr, 0, format, measure);
    va_end(measure);
    if (needed < 0)
        return nullptr;
    size_t keep = static_cast<size_t>(needed) < maxLen ? static_cast<size_t>(needed) : maxLen;
    char* block = static_cast<char*>(std::malloc(keep + 1));
    if (!block)
        return nullptr;
    std::vsnprintf(block, keep + 1, format, args);
    if (utf8 && keep < static_cast<size_t>(needed))
        keep = wholeCharacterPrefix(block, keep);
    block[keep] = '\0';
    return block;
}

// The wide formatter's output cut to maxLen units including the terminator.
bool formatWide(std::u16string& out, size_t maxLen, const char16_t* format, va_list args)
{
    if (!format)
        return false;
    quv::detail::FormatWideV(out, format, args);
    quv::detail::CutWhole(out, maxLen == 0 ? 0 : maxLen - 1);
    return true;
}

} // namespace

// ---------------------------------------------------------------------------
// Conversions

char16_t* QuvUtf8ToWide(const char* utf8)
{
    if (!utf8)
        utf8 = "";
    const unsigned char* in = reinterpret_cast<const unsigned char*>(utf8);

    // Both passes decode, so the count is exact: 2 units for a pair.
    size_t units = 0;
    for (const unsigned char* p = in; *p;) {
        uint32_t u = decodeOne(p);
        units += u > 0xFFFF ? 2 : 1;
    }

    // units <= strlen(utf8), so the size cannot wrap.
    char16_t* out = static_cast<char16_t*>(std::malloc((units + 1) * sizeof(char16_t)));
    if (!out)
        return nullptr;

    char16_t* o = out;
    for (const unsigned char* p = in; *p;) {
        uint32_t u = decodeOne(p);
        if (u > 0xFFFF) {
            u -= 0x10000;
            *o++ = static_cast<char16_t>(0xD800 | (u >> 10));
            *o++ = static_cast<char16_t>(0xDC00 | (u & 0x3FF));
        } else {
            *o++ = static_cast<char16_t>(u);
        }
    }
    *o = 0;
    return out;
}

char* QuvWideToUtf8(const char16_t* wide)
{
    if (!wide)
        wide = u"";
    size_t bytes = 0;
    for (const char16_t* p = wide; *p;) {
        uint32_t u = encodedUnit(p);
        bytes += u < 0x80 ? 1 : u < 0x800 ? 2 : u < 0x10000 ? 3 : 4;
    }

    // bytes <= 3 * units of an existing block (a pair: 4 bytes for 2 units),
    // which cannot wrap.
    char* out = static_cast<char*>(std::malloc(bytes + 1));
    if (!out)
        return nullptr;
    unsigned char* o = reinterpret_cast<unsigned char*>(out);
    for (const char16_t* p = wide; *p;) {
        uint32_t u = encodedUnit(p);
        if (u < 0x80) {
            *o++ = static_cast<unsigned char>(u);
        } else if (u < 0x800) {
            *o++ = static_cast<unsigned char>(0xC0 | (u >> 6));
            *o++ = static_cast<unsigned char>(0x80 | (u & 0x3F));
        } else if (u < 0x10000) {
            *o++ = static_cast<unsigned char>(0xE0 | (u >> 12));
            *o++ = static_cast<unsigned char>(0x80 | ((u >> 6) & 0x3F));
            *o++ = static_cast<unsigned char>(0x80 | (u & 0x3F));
        } else {
            *o++ = static_cast<unsigned char>(0xF0 | (u >> 18));
            *o++ = static_cast<unsigned char>(0x80 | ((u >> 12) & 0x3F));
            *o++ = static_cast<unsigned char>(0x80 | ((u >> 6) & 0x3F));
            *o++ = static_cast<unsigned char>(0x80 | (u & 0x3F));
        }
    }
    *o = 0;
    return out;
}

char* QuvWideToAnsi(const char16_t* wide)
{
    if (!wide)
        return emptyText();
    std::string ansi = platform::codepage::utf16ToAnsi(std::u16string(wide, wideLength(wide)));
    return copyText(ansi.data(), ansi.size());
}

char16_t* QuvAnsiToWide(const char* ansi)
{
    std::u16string wide;
    if (ansi)
        wide = platform::codepage::ansiToUtf16(std::string(ansi));
    char16_t* out = static_cast<char16_t*>(std::malloc((wide.size() + 1) * sizeof(char16_t)));
    if (out) {
        std::memcpy(out, wide.data(), wide.size() * sizeof(char16_t));
        out[wide.size()] = 0;
    }
    return out;
}

char* QuvUtf8ToAnsi(const char* utf8)
{
    if (!utf8)
        return emptyText();
    char16_t* wide = QuvUtf8ToWide(utf8);
    if (!wide)
        return nullptr;
    char* ansi = QuvWideToAnsi(wide);
    std::free(wide);
    return ansi;
}

char* QuvAnsiToUtf8(const char* ansi)
{
    char16_t* wide = QuvAnsiToWide(ansi);
    if (!wide)
        return nullptr;
    char* utf8 = QuvWideToUtf8(wide);
    std::free(wide);
    return utf8;
}

size_t QuvUtf8CharCount(const char* utf8)
{
    if (!utf8)
        return 0;
    const unsigned char* p = reinterpret_cast<const unsigned char*>(utf8);
    size_t count = 0;
    // Each step stops at the NUL even when the lead byte promises more bytes.
    while (*p) {
        p += presentBytes(p, kLeadLengths[*p]);
        ++count;
    }
    return count;
}

char* QuvUtf8SubString(const char* utf8, size_t from, size_t to)
{
    if (!utf8)
        return nullptr;
    const unsigned char* text = reinterpret_cast<const unsigned char*>(utf8);
    size_t pos = 0;
    size_t index = 0;
    size_t begin = 0;
    bool found = false;
    while (text[pos]) {
        if (index == from) {
            begin = pos;
            found = true;
        }
        if (found && index == to)
            break;
        pos += presentBytes(text + pos, kLeadLengths[text[pos]]);
        ++index;
    }
    if (!found)
        return nullptr;
    if (to <= from)
        return emptyText();
    return copyText(utf8 + begin, pos - begin);
}

QuvString* QuvIPv4ToString(uint32_t address, QuvString* target)
{
    if (target)
        target->Format(32, "%u.%u.%u.%u", (address >> 24) & 0xFFu, (address >> 16) & 0xFFu, (address >> 8) & 0xFFu,
                       address & 0xFFu);
    return target;
}

// ---------------------------------------------------------------------------
// QuvString

QuvString::QuvString() : m_text(nullptr), m_wide(nullptr), m_ansi(nullptr) {}

QuvString::QuvString(const char* utf8) : QuvString()
{
    Assign(utf8);
}

QuvString::QuvString(const char16_t* wide) : QuvString()
{
    AssignWide(wide);
}

QuvString::QuvString(const QuvString& other) : QuvString()
{
    Assign(other.m_text);
}

QuvString::QuvString(const QuvString* other) : QuvString()
{
    if (other)
        Assign(other->m_text);
}

QuvString::~QuvString()
{
    Reset();
}

void QuvString::ClearCaches()
{
    std::free(m_wide);
    std::free(m_ansi);
    m_wide = nullptr;
    m_ansi = nullptr;
}

void QuvString::Reset()
{
    ClearCaches();
    std::free(m_text);
    m_text = nullptr;
}

void QuvString::Adopt(char* utf8)
{
    Reset();
    m_text = utf8;
}

const char16_t* QuvString::GetWide()
{
    if (!m_text)
        return nullptr;
    if (!m_wide)
        m_wide = QuvUtf8ToWide(m_text);
    return m_wide;
}

const char* QuvString::GetAnsi()
{
    if (!m_text)
        return nullptr;
    if (!m_ansi)
        m_ansi = QuvUtf8ToAnsi(m_text);
    return m_ansi;
}

QuvString& QuvString::Assign(const char* utf8)
{
    // Copy before freeing: the argument may be this string's own text.
    Adopt(utf8 ? copyText(utf8, std::strlen(utf8)) : nullptr);
    return *this;
}

QuvString& QuvString::AssignWide(const char16_t* wide)
{
    Adopt(wide ? QuvWideToUtf8(wide) : nullptr);
    return *this;
}

QuvString& QuvString::AssignAnsi(const char* ansi)
{
    Adopt(ansi ? QuvAnsiToUtf8(ansi) : nullptr);
    return *this;
}

QuvString& QuvString::Assign(const QuvString& other)
{
    return Assign(other.m_text);
}

QuvString& QuvString::Assign(const QuvString* other)
{
    if (other)
        Assign(other->m_text);
    return *this;
}

QuvString& QuvString::Append(const char* utf8)
{
    if (!utf8)
        return *this;
    size_t added = std::strlen(utf8);
    if (added == 0) {
        if (!m_text)
            m_text = emptyText();
        return *this;
    }
    size_t old = m_text ? std::strlen(m_text) : 0;
    size_t total;
    if (__builtin_add_overflow(old, added, &total) || total == SIZE_MAX)
        return *this;
    char* block = static_cast<char*>(std::malloc(total + 1));
    if (!block)
        return *this;
    if (old)
        std::memcpy(block, m_text, old);
    std::memcpy(block + old, utf8, added);
    block[total] = '\0';
    Adopt(block);
    return *this;
}

QuvString& QuvString::AppendWide(const char16_t* wide)
{
    if (!wide)
        return *this;
    char* utf8 = QuvWideToUtf8(wide);
    Append(utf8);
    std::free(utf8);
    return *this;
}

QuvString& QuvString::AppendAnsi(const char* ansi)
{
    if (!ansi)
        return *this;
    char* utf8 = QuvAnsiToUtf8(ansi);
    Append(utf8);
    std::free(utf8);
    return *this;
}

QuvString& QuvString::Append(const QuvString& other)
{
    return Append(other.m_text);
}

QuvString& QuvString::Append(const QuvString* other)
{
    if (other)
        Append(other->m_text);
    return *this;
}

QuvString& QuvString::Format(size_t maxLen, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    char* text = formatNarrow(maxLen, true, format, args);
    va_end(args);
    Adopt(text);
    return *this;
}

QuvString& QuvString::FormatAnsi(size_t maxLen, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    char* text = formatNarrow(maxLen, false, format, args);
    va_end(args);
    AssignAnsi(text);
    std::free(text);
    return *this;
}

QuvString& QuvString::FormatWide(size_t maxLen, const char16_t* format, ...)
{
    std::u16string out;
    va_list args;
    va_start(args, format);
    bool ok = formatWide(out, maxLen, format, args);
    va_end(args);
    AssignWide(ok ? out.c_str() : nullptr);
    return *this;
}

QuvString& QuvString::AppendFormat(size_t maxLen, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    char* text = formatNarrow(maxLen, true, format, args);
    va_end(args);
    Append(text);
    std::free(text);
    return *this;
}

QuvString& QuvString::AppendFormatAnsi(size_t maxLen, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    char* text = formatNarrow(maxLen, false, format, args);
    va_end(args);
    AppendAnsi(text);
    std::free(text);
    return *this;
}

QuvString& QuvString::AppendFormatWide(size_t maxLen, const char16_t* format, ...)
{
    std::u16string out;
    va_list args;
    va_start(args, format);
    bool ok = formatWide(out, maxLen, format, args);
    va_end(args);
    if (ok)
        AppendWide(out.c_str());
    return *this;
}
