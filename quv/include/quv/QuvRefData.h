#pragma once
// Reference-counted objects of the Quv connection layer.

#include "quv/QuvByteBuffer.h"

#include <atomic>
#include <cstdint>

// Starts with one reference; the last Release deletes the object.
class CQuvRefData
{
public:
    CQuvRefData() : m_refCount(1) {}
    virtual ~CQuvRefData() = default;

    CQuvRefData(const CQuvRefData&) = delete;
    CQuvRefData& operator=(const CQuvRefData&) = delete;

    // Both return the new count.
    int32_t AddRef() { return m_refCount.fetch_add(1, std::memory_order_relaxed) + 1; }
    int32_t Release()
    {
        int32_t count = m_refCount.fetch_sub(1, std::memory_order_acq_rel) - 1;
        if (count == 0)
            delete this;
        return count;
    }

private:
    std::atomic<int32_t> m_refCount;
};

// One whole frame (length prefix included), ready for sending.
class CQuvTransmitData : public CQuvRefData
{
public:
    // size bytes that the caller fills; empty when the allocation failed.
    explicit CQuvTransmitData(int32_t size) : m_buffer(size) {}
    CQuvTransmitData(const void* bytes, int32_t n) : m_buffer(bytes, n) {}

    QuvByteBuffer& Buffer() { return m_buffer; }
    const uint8_t* Data() const { return m_buffer.Data(); }
    int32_t Size() const { return m_buffer.Length(); }

private:
    QuvByteBuffer m_buffer;
};
