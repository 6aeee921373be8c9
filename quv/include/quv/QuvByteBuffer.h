#pragma once
// Growable byte buffer (the storage of frames and of the receive
// accumulation) and a small string builder on top of it.
//
// Capacity is 0 or a multiple of 8192 and grows to roundUp(2 x needed), so
// many small appends cost few reallocations. Sizes are signed 32-bit; a
// request that is negative, that would not fit, or whose allocation fails
// is refused and leaves the buffer as it was.

#include <cstddef>
#include <cstdint>

class QuvString;

class QuvByteBuffer
{
public:
    static constexpr int32_t kGranule = 8192;

    QuvByteBuffer();
    // Length n, contents left as allocated. On failure the buffer stays empty.
    explicit QuvByteBuffer(int32_t n);
    // A copy of the n bytes. On failure the buffer stays empty.
    QuvByteBuffer(const void* bytes, int32_t n);
    ~QuvByteBuffer();

    QuvByteBuffer(const QuvByteBuffer&) = delete;
    QuvByteBuffer& operator=(const QuvByteBuffer&) = delete;

    uint8_t* Data() { return m_data; }
    const uint8_t* Data() const { return m_data; }
    int32_t Length() const { return m_length; }
    int32_t Capacity() const { return m_capacity; }

    // Sets the length to n, growing when needed.
    bool Resize(int32_t n);
    // Makes room for n bytes; the length is unchanged.
    bool Reserve(int32_t n);
    // Copies n bytes behind the end; returns where they went, null on failure.
    uint8_t* Append(const void* bytes, int32_t n);
    // With small set, n is 1 or 2 and the bytes are stored one by one.
    uint8_t* AppendSmall(const void* bytes, int32_t n, bool small);
    // Removes [first, last), both inside the used bytes; anything else is ignored.
    void EraseRange(const uint8_t* first, const uint8_t* last);
    // Drops the prefix that ends at `end`.
    void EraseFront(const uint8_t* end);
    // Frees the storage.
    void Clear();

private:
    bool Allocate(int32_t n);
    bool Grow(int32_t needed);

    uint8_t* m_data;
    int32_t m_length;
    int32_t m_capacity;
};

class QuvStringBuff
{
public:
    // The first allocation makes room for twice the initial capacity.
    explicit QuvStringBuff(int32_t initialCapacity = 0);
    virtual ~QuvStringBuff();

    QuvStringBuff(const QuvStringBuff&) = delete;
    QuvStringBuff& operator=(const QuvStringBuff&) = delete;

    void Append(const char* text);
    void AppendWide(const char16_t* text);
    void AppendChar(char c);
    // A high surrogate waits for the low one that follows it; unpaired, it
    // becomes U+FFFD as in the converters.
    void AppendWChar(char16_t c);
    // n is 1 or 2.
    void AppendBytes(const void* bytes, int32_t n);

    // Hands the collected UTF-8 text over and empties the builder. With a
    // target the text is assigned to it and the target returned; without one
    // a new string is returned that the caller deletes (null when out of
    // memory).
    QuvString* ToString(QuvString* target);

    int32_t Length() const { return m_buffer.Length(); }
    int32_t Capacity() const { return m_buffer.Capacity(); }

private:
    void FlushPendingHigh();

    QuvByteBuffer m_buffer;
    char16_t m_pendingHigh;
};
