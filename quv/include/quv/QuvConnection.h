#pragma once
// Message connections over TCP (Boost.Asio): length-prefixed frames with an
// optionally encrypted body (see QuvPacket.h).
//
// Whoever opens or accepts the TCP connection hands the connected socket to
// QuvSocketConnection::Attach, sets the callbacks and calls StartRecv.
// Completions run on the threads that run the socket's io_context; the
// callbacks run there too, never with the connection's mutex held.

#include "quv/QuvByteBuffer.h"
#include "quv/QuvRefData.h"

#include <boost/asio/ip/tcp.hpp>
#include <boost/system/error_code.hpp>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>

// Receives a pointer to a whole message (header and decrypted body), valid
// only during the call. Its length is the header's S (QuvMessageLength).
using QuvMessageCallback = std::function<void(const uint8_t* message)>;
// An empty error code (value 0) reports a rejected message.
using QuvErrorCallback = std::function<void(const boost::system::error_code& error)>;

constexpr size_t kQuvReadBlockSize = 8196;

class IQuvConnection : public CQuvRefData
{
public:
    enum : int32_t { kStateClosed = 0, kStateConnected = 2 };

    IQuvConnection();
    ~IQuvConnection() override;

    // Frames and queues a message. 1 when queued, -1 when not connected, 0
    // when the message cannot be framed (see BuildTransmitData).
    virtual int Send(const uint8_t* message) = 0;
    // Queues a frame (adding a reference). 1 when queued, -1 when not connected.
    virtual int SendData(CQuvTransmitData* frame) = 0;
    // Starts one read. 1 when started, 0 when not connected.
    virtual int StartRecv() = 0;
    // Shuts down the receive side; true when that reported an error.
    virtual bool Shutdown() = 0;
    // Empties both callbacks, sets the state to closed and closes the socket.
    virtual void Close() = 0;

    void SetMessageCallback(QuvMessageCallback callback);
    void SetErrorCallback(QuvErrorCallback callback);

    int32_t GetState() const { return m_state.load(); }
    // Frames accepted for sending and not yet written, and their bytes.
    int64_t GetQueuedMessageCount() const { return m_queuedMessages.load(); }
    int64_t GetQueuedByteCount() const { return m_queuedBytes.load(); }

protected:
    // Copies taken under the mutex: Close on another thread cannot destroy a
    // callback that is running.
    std::shared_ptr<const QuvMessageCallback> MessageCallback() const;
    std::shared_ptr<const QuvErrorCallback> ErrorCallback() const;

    // Guards the callbacks and every change of the state and the counts;
    // implementations guard their socket and send queue with it too.
    mutable std::mutex m_mutex;
    std::atomic<int32_t> m_state;
    std::atomic<int64_t> m_queuedMessages;
    std::atomic<int64_t> m_queuedBytes;
    std::shared_ptr<const QuvMessageCallback> m_messageCallback;
    std::shared_ptr<const QuvErrorCallback> m_errorCallback;
};

class QuvSocketConnection : public IQuvConnection
{
public:
    QuvSocketConnection();

    // Takes over a connected socket and sets the state to connected. False
    // when a socket was attached before or this one is not open.
    bool Attach(boost::asio::ip::tcp::socket socket);

    int Send(const uint8_t* message) override;
    int SendData(CQuvTransmitData* frame) override;
    int StartRecv() override;
    bool Shutdown() override;
    void Close() override;

protected:
    // Reference counted: destroyed by the last Release.
    ~QuvSocketConnection() override;

    // Splits and delivers the frames in n newly read bytes (decrypting in
    // place). Returns true when the next read should be started.
    bool ProcessRecvData(uint8_t* block, size_t n);
    const QuvByteBuffer& RecvBuffer() const { return m_recvBuffer; }

private:
    void OnRecv(uint8_t* block, const boost::system::error_code& error, size_t n);
    // Called with the mutex held.
    void PumpSendQueue();
    void StartWrite(CQuvTransmitData* frame);
    void OnWriteSome(CQuvTransmitData* frame, boost::system::error_code error, size_t n);
    void OnWriteComplete(CQuvTransmitData* frame, const boost::system::error_code& error);
    void OnError(const boost::system::error_code& error);

    std::unique_ptr<boost::asio::ip::tcp::socket> m_socket;
    QuvByteBuffer m_recvBuffer;
    bool m_sending;
    // Bytes of the frame in flight already written.
    size_t m_writeOffset;
    std::deque<CQuvTransmitData*> m_sendQueue;
};
