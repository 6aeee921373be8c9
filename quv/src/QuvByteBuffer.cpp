#include "quv/QuvByteBuffer.h"

#include "quv/QuvString.h"

#include "QuvUtf16.h"

#include <cstdlib>
#include <cstring>
#include <new>

namespace {

constexpr int64_t kMaxCapacity = INT32_MAX & ~int64_t(QuvByteBuffer::kGranule - 1);

int64_t roundUp(int64_t n)
{
    return (n + QuvByteBuffer::kGranule - 1) & ~int64_t(QuvByteBuffer::kGranule - 1);
}

} // namespace

QuvByteBuffer::QuvByteBuffer() : m_data(nullptr), m_length(0), m_capacity(0) {}

QuvByteBuffer::QuvByteBuffer(int32_t n) : QuvByteBuffer()
{
    if (Allocate(n))
        m_length = n;
}

QuvByteBuffer::QuvByteBuffer(const void* bytes, int32_t n) : QuvByteBuffer()
{
    if (Allocate(n)) {
        if (n > 0)
            std::memcpy(m_data, bytes, static_cast<size_t>(n));
        m_length = n;
    }
}

bool QuvByteBuffer::Allocate(int32_t n)
{
    // A buffer made for a known size gets just that, rounded to a granule.
    if (n < 0 || roundUp(n) > kMaxCapacity)
        return false;
    if (n == 0)
        return true;
    m_data = static_cast<uint8_t*>(std::malloc(static_cast<size_t>(roundUp(n))));
    if (!m_data)
        return false;
    m_capacity = static_cast<int32_t>(roundUp(n));
    return true;
}

QuvByteBuffer::~QuvByteBuffer()
{
    std::free(m_data);
}

bool QuvByteBuffer::Grow(int32_t needed)
{
    if (needed < 0)
        return false;
    if (needed <= m_capacity)
        return true;
    // Twice the need when that still fits, else just the need.
    int64_t capacity = roundUp(2 * int64_t(needed));
    if (capacity > kMaxCapacity)
        capacity = roundUp(needed);
    if (capacity > kMaxCapacity)
        return false;
    void* data = std::realloc(m_data, static_cast<size_t>(capacity));
    if (!data)
        return false;
    m_data = static_cast<uint8_t*>(data);
    m_capacity = static_cast<int32_t>(capacity);
    return true;
}

bool QuvByteBuffer::Resize(int32_t n)
{
    if (!Grow(n))
        return false;
    m_length = n;
    return true;
}

bool QuvByteBuffer::Reserve(int32_t n)
{
    return Grow(n);
}

uint8_t* QuvByteBuffer::Append(const void* bytes, int32_t n)
{
    if (n < 0 || n > INT32_MAX - m_length || !Resize(m_length + n))
        return nullptr;
    uint8_t* place = m_data + (m_length - n);
    if (n > 0)
        std::memmove(place, bytes, static_cast<size_t>(n));
    return place;
}

uint8_t* QuvByteBuffer::AppendSmall(const void* bytes, int32_t n, bool small)
{
    if (!small || n < 1 || n > 2)
        return Append(bytes, n);
    if (n > INT32_MAX - m_length || !Resize(m_length + n))
        return nullptr;
    const uint8_t* in = static_cast<const uint8_t*>(bytes);
    uint8_t* place = m_data + (m_length - n);
    place[0] = in[0];
    if (n != 1)
        place[1] = in[1];
    return place;
}

void QuvByteBuffer::EraseRange(const uint8_t* first, const uint8_t* last)
{
    if (!m_data || first < m_data || last < first || last > m_data + m_length || first == last)
        return;
    size_t tail = static_cast<size_t>(m_data + m_length - last);
    uint8_t* to = m_data + (first - m_data);
    std::memmove(to, last, tail);
    m_length -= static_cast<int32_t>(last - first);
}

void QuvByteBuffer::EraseFront(const uint8_t* end)
{
    EraseRange(m_data, end);
}

void QuvByteBuffer::Clear()
{
    std::free(m_data);
    m_data = nullptr;
    m_length = 0;
    m_capacity = 0;
}

QuvStringBuff::QuvStringBuff(int32_t initialCapacity) : m_pendingHigh(0)
{
    if (initialCapacity > 0)
        m_buffer.Reserve(initialCapacity);
}

QuvStringBuff::~QuvStringBuff() = default;

void QuvStringBuff::Append(const char* text)
{
    if (!text)
        return;
    FlushPendingHigh();
    size_t n = std::strlen(text);
    if (n > static_cast<size_t>(INT32_MAX))
        return;
    m_buffer.Append(text, static_cast<int32_t>(n));
}

void QuvStringBuff::AppendWide(const char16_t* text)
{
    if (!text)
        return;
    QuvString utf8(text);
    Append(utf8.GetUtf8());
}

void QuvStringBuff::AppendChar(char c)
{
    AppendBytes(&c, 1);
}

void QuvStringBuff::AppendWChar(char16_t c)
{
    // A pair arrives one unit at a time: hold the high half for the low one.
    if (m_pendingHigh && quv::detail::IsLowSurrogate(c)) {
        const char16_t pair[3] = {m_pendingHigh, c, 0};
        m_pendingHigh = 0;
        AppendWide(pair);
        return;
    }
    FlushPendingHigh();
    if (quv::detail::IsHighSurrogate(c)) {
        m_pendingHigh = c;
        return;
    }
    const char16_t text[2] = {c, 0};
    AppendWide(text);
}

void QuvStringBuff::AppendBytes(const void* bytes, int32_t n)
{
    FlushPendingHigh();
    m_buffer.AppendSmall(bytes, n, true);
}

void QuvStringBuff::FlushPendingHigh()
{
    if (!m_pendingHigh)
        return;
    m_pendingHigh = 0;
    // An unpaired surrogate, encoded as the converters do: U+FFFD.
    m_buffer.Append("\xEF\xBF\xBD", 3);
}

QuvString* QuvStringBuff::ToString(QuvString* target)
{
    FlushPendingHigh();
    const char nul = '\0';
    QuvString* result = target;
    if (m_buffer.AppendSmall(&nul, 1, true)) {
        const char* text = reinterpret_cast<const char*>(m_buffer.Data());
        if (target)
            target->Assign(text);
        else
            result = new (std::nothrow) QuvString(text);
    } else if (target) {
        // Out of memory: the target gets the empty text rather than stale text.
        target->Assign("");
    } else {
        result = new (std::nothrow) QuvString("");
    }
    m_buffer.Clear();
    return result;
}
