#pragma once
// Code-page conversions. The system's ANSI and OEM code page is CP936 (GBK),
// as on a Chinese Simplified Windows. Conversions go through iconv and never
// touch the process-wide C locale, so they are safe on any thread.
//
// Characters that cannot be represented in the target encoding, and input
// bytes that are not valid in the source encoding, become "?" and the
// conversion goes on (as Windows' default-character substitution does).

#include <string>

namespace platform {
namespace codepage {

// UTF-16 ("wide" text of the Windows design) <-> ANSI (CP936).
std::string utf16ToAnsi(const std::u16string& text);
std::u16string ansiToUtf16(const std::string& text);

// UTF-8 <-> ANSI (CP936).
std::string utf8ToAnsi(const std::string& text);
std::string ansiToUtf8(const std::string& text);

// Native wchar_t text (UTF-32 on Linux) <-> ANSI (CP936).
std::string wideToAnsi(const std::wstring& text);
std::wstring ansiToWide(const std::string& text);

// Generic conversion between two iconv encodings on raw bytes. Returns false
// when the converter cannot be opened (unknown encoding); substitutions do
// not count as failure. `replacement` is encoded in `to`.
bool convert(const char* from, const char* to, const std::string& input, std::string& output,
             const std::string& replacement);

} // namespace codepage
} // namespace platform
