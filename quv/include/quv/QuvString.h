#pragma once
// UTF-8 text with cached UTF-16 and ANSI (system code page) forms, and the
// conversions between the three encodings.
//
// All memory comes from the C heap: every converter returns a new
// NUL-terminated block that the caller releases with free(). A converter
// returns null only when the allocation fails.
//
// UTF-8 -> UTF-16 -> UTF-8 gives back any valid UTF-8 text unchanged:
// characters beyond U+FFFF become surrogate pairs and pairs become one
// 4-byte sequence. An unpaired surrogate is encoded as U+FFFD.
//
// Malformed UTF-8 is decoded leniently, as the peers of this library have
// always read it:
// - bytes that cannot start a sequence are decoded as the lead of a 2-byte
//   sequence;
// - 3-byte forms of surrogates are taken as those units;
// - a 4-byte sequence beyond U+10FFFF decodes as U+FFFD.
// A sequence cut short by the terminating NUL decodes as U+FFFD; nothing is
// ever read past the NUL.

#include <cstddef>
#include <cstdint>

#if defined(__GNUC__)
#define QUV_PRINTF_FORMAT(fmt, args) __attribute__((format(printf, fmt, args)))
#else
#define QUV_PRINTF_FORMAT(fmt, args)
#endif

class QuvString
{
public:
    QuvString();
    explicit QuvString(const char* utf8);
    explicit QuvString(const char16_t* wide);
    QuvString(const QuvString& other);
    explicit QuvString(const QuvString* other);
    ~QuvString();

    // Copying is done explicitly through Assign.
    QuvString& operator=(const QuvString&) = delete;

    // Null when the string holds no text (which differs from the empty text).
    const char* GetUtf8() const { return m_text; }
    const char16_t* GetWide();
    const char* GetAnsi();

    // A null argument leaves the string without text.
    QuvString& Assign(const char* utf8);
    QuvString& AssignWide(const char16_t* wide);
    QuvString& AssignAnsi(const char* ansi);
    QuvString& Assign(const QuvString& other);
    // A null pointer leaves the string unchanged.
    QuvString& Assign(const QuvString* other);

    // Appending the empty text to a string without text gives the empty text.
    // A null argument leaves the string unchanged.
    QuvString& Append(const char* utf8);
    QuvString& AppendWide(const char16_t* wide);
    QuvString& AppendAnsi(const char* ansi);
    QuvString& Append(const QuvString& other);
    QuvString& Append(const QuvString* other);

    // printf formatting. The narrow forms keep at most maxLen bytes of output
    // (a UTF-8 character cut by that limit is dropped whole in Format). The
    // wide form keeps at most maxLen - 1 UTF-16 units: maxLen counts the
    // terminator, and a surrogate pair cut by that limit is dropped whole.
    // Output is always terminated.
    //
    // Wide formats follow the Windows wide printf rules: %s and %c take
    // char16_t text, %hs/%S and %hc/%C take ANSI text; %I64d, %I32d and %Id
    // are understood as well as the standard length modifiers.
    QuvString& Format(size_t maxLen, const char* format, ...) QUV_PRINTF_FORMAT(3, 4);
    QuvString& FormatAnsi(size_t maxLen, const char* format, ...) QUV_PRINTF_FORMAT(3, 4);
    QuvString& FormatWide(size_t maxLen, const char16_t* format, ...);
    QuvString& AppendFormat(size_t maxLen, const char* format, ...) QUV_PRINTF_FORMAT(3, 4);
    QuvString& AppendFormatAnsi(size_t maxLen, const char* format, ...) QUV_PRINTF_FORMAT(3, 4);
    QuvString& AppendFormatWide(size_t maxLen, const char16_t* format, ...);

private:
    void ClearCaches();
    void Reset();
    // Takes ownership of a malloc'd UTF-8 block (null: no text).
    void Adopt(char* utf8);

    char* m_text;
    char16_t* m_wide;
    char* m_ansi;
};

// Formats `address` (host order) as a dotted quad into `target`; returns target.
QuvString* QuvIPv4ToString(uint32_t address, QuvString* target);

char16_t* QuvUtf8ToWide(const char* utf8);
char* QuvWideToUtf8(const char16_t* wide);
// The two code-page converters accept null and return the empty text for it.
char* QuvWideToAnsi(const char16_t* wide);
char16_t* QuvAnsiToWide(const char* ansi);
char* QuvUtf8ToAnsi(const char* utf8);
char* QuvAnsiToUtf8(const char* ansi);

// Characters of a UTF-8 text, walked by lead bytes (up to 6 bytes each).
size_t QuvUtf8CharCount(const char* utf8);
// Characters [from, to) as a new block; null when from is not below the count.
char* QuvUtf8SubString(const char* utf8, size_t from, size_t to);
