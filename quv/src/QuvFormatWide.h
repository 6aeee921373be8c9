#pragma once
// The library's own printf for char16_t formats (glibc has none).

#include <cstdarg>
#include <string>

namespace quv {
namespace detail {

// Cuts text to at most `units` UTF-16 units, dropping a surrogate pair that
// the cut would split.
void CutWhole(std::u16string& text, size_t units);

// Appends the formatted text to `out` in full; the caller cuts it.
void FormatWideV(std::u16string& out, const char16_t* format, va_list args);

} // namespace detail
} // namespace quv
