#include "quv/QuvConnection.h"

#include "quv/QuvPacket.h"

#include <boost/asio/error.hpp>
#include <boost/pool/singleton_pool.hpp>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <utility>

namespace {

struct QuvReadBlockTag
{
};
using ReadBlockPool = boost::singleton_pool<QuvReadBlockTag, kQuvReadBlockSize>;

int32_t readLength(const uint8_t* p)
{
    return static_cast<int32_t>(uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24);
}

} // namespace

// ---------------------------------------------------------------------------
// IQuvConnection

IQuvConnection::IQuvConnection() : m_state(kStateClosed), m_queuedMessages(0), m_queuedBytes(0) {}

IQuvConnection::~IQuvConnection() = default;

void IQuvConnection::SetMessageCallback(QuvMessageCallback callback)
{
    auto fresh = callback ? std::make_shared<const QuvMessageCallback>(std::move(callback)) : nullptr;
    std::unique_lock<std::mutex> lock(m_mutex);
    std::swap(m_messageCallback, fresh);
    lock.unlock();
    // The old callable is destroyed here, outside the lock.
}

void IQuvConnection::SetErrorCallback(QuvErrorCallback callback)
{
    auto fresh = callback ? std::make_shared<const QuvErrorCallback>(std::move(callback)) : nullptr;
    std::unique_lock<std::mutex> lock(m_mutex);
    std::swap(m_errorCallback, fresh);
    lock.unlock();
}

std::shared_ptr<const QuvMessageCallback> IQuvConnection::MessageCallback() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_messageCallback;
}

std::shared_ptr<const QuvErrorCallback> IQuvConnection::ErrorCallback() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_errorCallback;
}

// ---------------------------------------------------------------------------
// QuvSocketConnection
//
// Every use of the socket object (starting a read or a write, shutdown,
// close) happens under the mutex, so Close on any thread is safe. Writes
// use async_write_some and continue partial writes themselves for that
// reason.

QuvSocketConnection::QuvSocketConnection() : m_sending(false), m_writeOffset(0) {}

QuvSocketConnection::~QuvSocketConnection()
{
    for (CQuvTransmitData* frame : m_sendQueue) {
        m_queuedBytes -= frame->Size();
        m_queuedMessages -= 1;
        frame->Release();
    }
    m_sendQueue.clear();
}

bool QuvSocketConnection::Attach(boost::asio::ip::tcp::socket socket)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_socket || !socket.is_open())
        return false;
    m_socket = std::make_unique<boost::asio::ip::tcp::socket>(std::move(socket));
    m_state = kStateConnected;
    return true;
}

int QuvSocketConnection::Send(const uint8_t* message)
{
    CQuvTransmitData* frame = BuildTransmitData(message);
    if (!frame)
        return 0;
    int result = SendData(frame);
    frame->Release();
    return result;
}

int QuvSocketConnection::SendData(CQuvTransmitData* frame)
{
    if (!frame)
        return -1;
    std::lock_guard<std::mutex> lock(m_mutex);
    // Tested under the mutex: once Close has run, nothing is reported queued.
    if (m_state != kStateConnected || !m_socket)
        return -1;
    frame->AddRef();
    m_sendQueue.push_back(frame);
    m_queuedMessages += 1;
    m_queuedBytes += frame->Size();
    PumpSendQueue();
    return 1;
}

int QuvSocketConnection::StartRecv()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_state != kStateConnected || !m_socket)
        return 0;
    uint8_t* block = static_cast<uint8_t*>(ReadBlockPool::malloc());
    if (!block)
        return 0;
    AddRef();
    m_socket->async_read_some(
        boost::asio::buffer(block, kQuvReadBlockSize),
        [this, block](const boost::system::error_code& error, size_t n) { OnRecv(block, error, n); });
    return 1;
}

bool QuvSocketConnection::Shutdown()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_socket)
        return true;
    boost::system::error_code error;
    m_socket->shutdown(boost::asio::socket_base::shutdown_receive, error);
    return static_cast<bool>(error);
}

void QuvSocketConnection::Close()
{
    std::shared_ptr<const QuvMessageCallback> message;
    std::shared_ptr<const QuvErrorCallback> error;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_state = kStateClosed;
        message.swap(m_messageCallback);
        error.swap(m_errorCallback);
        if (m_socket) {
            boost::system::error_code ignored;
            m_socket->close(ignored);
        }
    }
    // The callables die here, outside the lock (they may hold references).
}

void QuvSocketConnection::OnRecv(uint8_t* block, const boost::system::error_code& error, size_t n)
{
    bool readMore = false;
    if (error) {
        std::printf("CQuvServerSocket::OnRecv %p error %d, %s\r\n", static_cast<void*>(this), error.value(),
                    error.message().c_str());
        std::fflush(stdout);
        OnError(error);
    } else {
        readMore = ProcessRecvData(block, n);
    }
    ReadBlockPool::free(block);
    if (readMore)
        StartRecv();
    Release();
}

bool QuvSocketConnection::ProcessRecvData(uint8_t* block, size_t n)
{
    if (n > static_cast<size_t>(INT32_MAX))
        return false;
    const bool fromBuffer = m_recvBuffer.Length() > 0;
    uint8_t* data = block;
    size_t remaining = n;
    if (fromBuffer) {
        if (!m_recvBuffer.Append(block, static_cast<int32_t>(n))) {
            OnError(boost::system::errc::make_error_code(boost::system::errc::not_enough_memory));
            return false;
        }
        data = m_recvBuffer.Data();
        remaining = static_cast<size_t>(m_recvBuffer.Length());
    }

    const auto callback = MessageCallback();
    uint8_t* p = data;
    while (remaining > static_cast<size_t>(kQuvFrameLengthSize)) {
        // Closed meanwhile (by a callback or another thread): deliver no more.
        if (m_state != kStateConnected)
            return false;
        const int32_t length = readLength(p);
        if (length < 0 || length > kQuvMaxFrameLength)
            return false;
        const size_t frameSize = static_cast<size_t>(length) + kQuvFrameLengthSize;
        if (frameSize > remaining)
            break;
        uint8_t* message = p + kQuvFrameLengthSize;
        if (!DecryptPacket(message, length)) {
            OnError(boost::system::error_code());
            return false;
        }
        if (callback)
            (*callback)(message);
        p += frameSize;
        remaining -= frameSize;
    }
    if (m_state != kStateConnected)
        return false;

    if (remaining == 0) {
        m_recvBuffer.Clear();
    } else if (!fromBuffer) {
        // Keep the partial frame, with room for up to 4 KiB more of it.
        int64_t want = static_cast<int64_t>(remaining);
        if (remaining >= static_cast<size_t>(kQuvFrameLengthSize)) {
            const int32_t length = readLength(p);
            if (length >= 0 && length <= kQuvMaxFrameLength)
                want = std::max<int64_t>(want, std::min<int64_t>(int64_t(length) + kQuvFrameLengthSize, 4096));
        }
        m_recvBuffer.Reserve(static_cast<int32_t>(want));
        if (!m_recvBuffer.Append(p, static_cast<int32_t>(remaining))) {
            OnError(boost::system::errc::make_error_code(boost::system::errc::not_enough_memory));
            return false;
        }
    } else {
        m_recvBuffer.EraseFront(p);
    }
    return true;
}

void QuvSocketConnection::PumpSendQueue()
{
    if (m_sendQueue.empty() || m_sending || m_state != kStateConnected || !m_socket)
        return;
    CQuvTransmitData* frame = m_sendQueue.front();
    m_sendQueue.pop_front();
    m_sending = true;
    m_writeOffset = 0;
    AddRef();
    StartWrite(frame);
}

void QuvSocketConnection::StartWrite(CQuvTransmitData* frame)
{
    const size_t size = static_cast<size_t>(frame->Size());
    m_socket->async_write_some(
        boost::asio::buffer(frame->Data() + m_writeOffset, size - m_writeOffset),
        [this, frame](const boost::system::error_code& error, size_t n) { OnWriteSome(frame, error, n); });
}

void QuvSocketConnection::OnWriteSome(CQuvTransmitData* frame, boost::system::error_code error, size_t n)
{
    if (!error) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_writeOffset += n;
        if (m_writeOffset < static_cast<size_t>(frame->Size())) {
            if (m_state == kStateConnected && m_socket) {
                // The reference taken for this write stays with it.
                StartWrite(frame);
                return;
            }
            error = boost::asio::error::operation_aborted;
        }
    }
    OnWriteComplete(frame, error);
}

void QuvSocketConnection::OnWriteComplete(CQuvTransmitData* frame, const boost::system::error_code& error)
{
    if (error) {
        OnError(error);
        std::lock_guard<std::mutex> lock(m_mutex);
        m_state = kStateClosed;
    }
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_queuedBytes -= frame->Size();
        m_queuedMessages -= 1;
        m_sending = false;
        PumpSendQueue();
    }
    frame->Release();
    Release();
}

void QuvSocketConnection::OnError(const boost::system::error_code& error)
{
    const auto callback = ErrorCallback();
    if (!callback)
        return;
    (*callback)(error);
    Close();
}
