#pragma once
// UTF-16 surrogate ranges, shared by the converters, the wide formatter and
// the string builder.

#include <cstdint>

namespace quv {
namespace detail {

inline bool IsHighSurrogate(uint32_t unit)
{
    return unit >= 0xD800 && unit <= 0xDBFF;
}

inline bool IsLowSurrogate(uint32_t unit)
{
    return unit >= 0xDC00 && unit <= 0xDFFF;
}

} // namespace detail
} // namespace quv
