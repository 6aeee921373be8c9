#include "quv/QuvConnection.h"
#include "quv/QuvPacket.h"

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/write.hpp>
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <future>
#include <mutex>
#include <random>
#include <thread>
#include <vector>

using boost::asio::ip::tcp;
using Bytes = std::vector<uint8_t>;

namespace {

Bytes makeMessage(uint32_t s, bool encrypted, uint8_t seed)
{
    Bytes m(s);
    for (size_t i = 8; i < s; ++i)
        m[i] = static_cast<uint8_t>(seed + i * 7);
    std::memcpy(m.data(), &s, 4);
    m[4] = seed;
    m[6] = encrypted ? 1 : 0;
    return m;
}

Bytes frameOf(const Bytes& message)
{
    CQuvTransmitData* data = BuildTransmitData(message.data());
    Bytes frame(data->Data(), data->Data() + data->Size());
    data->Release();
    return frame;
}

Bytes lengthPrefix(uint32_t n)
{
    Bytes b(4);
    std::memcpy(b.data(), &n, 4);
    return b;
}

Bytes concat(std::initializer_list<Bytes> parts)
{
    Bytes all;
    for (const Bytes& p : parts)
        all.insert(all.end(), p.begin(), p.end());
    return all;
}

// Feeds bytes straight into the frame splitter, as reads would.
class FeedConnection : public QuvSocketConnection
{
public:
    FeedConnection()
    {
        m_state = kStateConnected;
        SetMessageCallback([this](const uint8_t* m) { received.emplace_back(m, m + QuvMessageLength(m)); });
        SetErrorCallback([this](const boost::system::error_code& e) { errors.push_back(e); });
    }
    ~FeedConnection() override = default;

    // One read of exactly these bytes (an exactly sized copy, for ASan).
    bool Feed(const Bytes& bytes)
    {
        std::unique_ptr<uint8_t[]> block(new uint8_t[bytes.size() ? bytes.size() : 1]);
        std::memcpy(block.get(), bytes.data(), bytes.size());
        return ProcessRecvData(block.get(), bytes.size());
    }
    int32_t Pending() const { return RecvBuffer().Length(); }
    int32_t PendingCapacity() const { return RecvBuffer().Capacity(); }

    std::vector<Bytes> received;
    std::vector<boost::system::error_code> errors;
};

} // namespace

TEST(QuvFrameSplitting, WholeFramesInOneRead)
{
    auto a = makeMessage(20, false, 1);
    auto b = makeMessage(45, true, 2);
    auto c = makeMessage(8, true, 3);
    FeedConnection conn;
    EXPECT_TRUE(conn.Feed(frameOf(a)));
    ASSERT_EQ(conn.received.size(), 1u);
    EXPECT_EQ(conn.received[0], a);
    EXPECT_EQ(conn.Pending(), 0);
    EXPECT_EQ(conn.PendingCapacity(), 0);

    EXPECT_TRUE(conn.Feed(concat({frameOf(b), frameOf(c), frameOf(a)})));
    ASSERT_EQ(conn.received.size(), 4u);
    EXPECT_EQ(conn.received[1], b);
    EXPECT_EQ(conn.received[2], c);
    EXPECT_EQ(conn.received[3], a);
    EXPECT_TRUE(conn.errors.empty());
}

TEST(QuvFrameSplitting, EverySplitPointDeliversOnceAfterTheLastPart)
{
    auto first = makeMessage(30, true, 4);
    auto second = makeMessage(17, false, 5);
    const Bytes stream = concat({frameOf(first), frameOf(second)});
    const size_t firstSize = frameOf(first).size();
    for (size_t cut = 1; cut < stream.size(); ++cut) {
        SCOPED_TRACE(cut);
        FeedConnection conn;
        EXPECT_TRUE(conn.Feed(Bytes(stream.begin(), stream.begin() + cut)));
        EXPECT_EQ(conn.received.size(), cut < firstSize ? 0u : 1u);
        EXPECT_EQ(conn.Pending(), int32_t(cut < firstSize ? cut : cut - firstSize));
        EXPECT_TRUE(conn.Feed(Bytes(stream.begin() + cut, stream.end())));
        ASSERT_EQ(conn.received.size(), 2u);
        EXPECT_EQ(conn.received[0], first);
        EXPECT_EQ(conn.received[1], second);
        EXPECT_EQ(conn.Pending(), 0);
        EXPECT_TRUE(conn.errors.empty());
    }
}

TEST(QuvFrameSplitting, RandomChunksOfALongStream)
{
    std::mt19937 rng(7);
    std::vector<Bytes> messages;
    Bytes stream;
    for (int i = 0; i < 200; ++i) {
        uint32_t size = 8 + rng() % (i % 10 == 0 ? 30000 : 300);
        messages.push_back(makeMessage(size, rng() % 2 == 0, static_cast<uint8_t>(i)));
        Bytes f = frameOf(messages.back());
        stream.insert(stream.end(), f.begin(), f.end());
    }
    FeedConnection conn;
    for (size_t pos = 0; pos < stream.size();) {
        size_t n = std::min<size_t>(stream.size() - pos, 1 + rng() % kQuvReadBlockSize);
        ASSERT_TRUE(conn.Feed(Bytes(stream.begin() + pos, stream.begin() + pos + n)));
        pos += n;
    }
    ASSERT_EQ(conn.received.size(), messages.size());
    for (size_t i = 0; i < messages.size(); ++i)
        EXPECT_EQ(conn.received[i], messages[i]) << i;
    EXPECT_EQ(conn.Pending(), 0);
}

TEST(QuvFrameSplitting, FrameLengthLimits)
{
    {
        // The largest frame is accepted: reading goes on for its bytes.
        FeedConnection conn;
        EXPECT_TRUE(conn.Feed(concat({lengthPrefix(kQuvMaxFrameLength), makeMessage(8, false, 0)})));
        EXPECT_EQ(conn.Pending(), 12);
        EXPECT_TRUE(conn.errors.empty());
    }
    for (uint32_t bad : {uint32_t(kQuvMaxFrameLength) + 1, 0x80000000u, 0xFFFFFFFFu}) {
        // One byte more ends reading silently, leaving the bytes alone.
        FeedConnection conn;
        EXPECT_FALSE(conn.Feed(concat({frameOf(makeMessage(9, false, 1)), lengthPrefix(bad), Bytes(8)})));
        EXPECT_EQ(conn.received.size(), 1u);
        EXPECT_TRUE(conn.errors.empty());
        EXPECT_EQ(conn.Pending(), 0);
        EXPECT_EQ(conn.GetState(), IQuvConnection::kStateConnected);
    }
    // Up to 4 bytes of a length wait for more.
    const Bytes f = frameOf(makeMessage(12, false, 2));
    for (size_t n = 1; n <= 4; ++n) {
        FeedConnection conn;
        EXPECT_TRUE(conn.Feed(Bytes(f.begin(), f.begin() + n)));
        EXPECT_TRUE(conn.received.empty());
        EXPECT_EQ(conn.Pending(), int32_t(n));
        EXPECT_TRUE(conn.Feed(Bytes(f.begin() + n, f.end())));
        EXPECT_EQ(conn.received.size(), 1u);
        EXPECT_EQ(conn.Pending(), 0);
    }
}

TEST(QuvFrameSplitting, RejectedMessagesReportErrorZeroAndStop)
{
    auto plain = makeMessage(20, false, 1);
    Bytes badHeader = frameOf(plain);
    badHeader[4] = 21;
    auto enc = makeMessage(24, true, 2);
    Bytes badBody = frameOf(enc);
    // N - 8 = 15, not a multiple of 16 (header length matches N).
    badBody.resize(4 + 23);
    badBody[0] = 23;
    badBody[4] = 23;
    Bytes tooShort = concat({lengthPrefix(7), Bytes{7, 0, 0, 0, 0, 0, 0}});
    for (const Bytes& bad : {badHeader, badBody, tooShort}) {
        FeedConnection conn;
        EXPECT_FALSE(conn.Feed(concat({frameOf(plain), bad, frameOf(plain)})));
        EXPECT_EQ(conn.received.size(), 1u);
        ASSERT_EQ(conn.errors.size(), 1u);
        EXPECT_EQ(conn.errors[0].value(), 0);
        // The error report closes the connection and empties the callbacks.
        EXPECT_EQ(conn.GetState(), IQuvConnection::kStateClosed);
        EXPECT_EQ(conn.SendData(nullptr), -1);
    }
    {
        // Without an error callback nothing is closed, but reading ends.
        FeedConnection conn;
        conn.SetErrorCallback(nullptr);
        EXPECT_FALSE(conn.Feed(badHeader));
        EXPECT_EQ(conn.GetState(), IQuvConnection::kStateConnected);
    }
}

TEST(QuvFrameSplitting, CloseInsideTheCallbackStopsDelivery)
{
    FeedConnection conn;
    int calls = 0;
    conn.SetMessageCallback([&](const uint8_t*) {
        ++calls;
        conn.Close();
    });
    auto m = makeMessage(10, false, 1);
    EXPECT_FALSE(conn.Feed(concat({frameOf(m), frameOf(m), frameOf(m)})));
    EXPECT_EQ(calls, 1);
}

// ---------------------------------------------------------------------------
// Loopback connections

namespace {

struct Loopback
{
    boost::asio::io_context io;
    std::thread runner;
    boost::asio::executor_work_guard<boost::asio::io_context::executor_type> work{io.get_executor()};

    // A connected pair: our connection on one side, a plain socket on the other.
    std::pair<tcp::socket, tcp::socket> Pair()
    {
        tcp::acceptor acceptor(io, tcp::endpoint(boost::asio::ip::address_v4::loopback(), 0));
        tcp::socket a(io), b(io);
        a.connect(acceptor.local_endpoint());
        acceptor.accept(b);
        return {std::move(a), std::move(b)};
    }
    void Start()
    {
        runner = std::thread([this] { io.run(); });
    }
    ~Loopback()
    {
        // Every connection is closed by now: run returns once the
        // completions of the cancelled operations have released them.
        work.reset();
        if (runner.joinable())
            runner.join();
    }
};

// Collects messages and lets a test wait for a count, bounded.
struct Inbox
{
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<Bytes> messages;
    std::vector<boost::system::error_code> errors;

    void Add(const uint8_t* m)
    {
        std::lock_guard<std::mutex> lock(mutex);
        messages.emplace_back(m, m + QuvMessageLength(m));
        changed.notify_all();
    }
    void AddError(const boost::system::error_code& e)
    {
        std::lock_guard<std::mutex> lock(mutex);
        errors.push_back(e);
        changed.notify_all();
    }
    bool WaitFor(size_t messageCount, size_t errorCount = 0)
    {
        std::unique_lock<std::mutex> lock(mutex);
        return changed.wait_for(lock, std::chrono::seconds(20),
                                [&] { return messages.size() >= messageCount && errors.size() >= errorCount; });
    }
};

// Holds one reference and closes the connection before dropping it, so that
// its pending read ends and Loopback's run can return even when a test stops
// at a failed assertion. Declare it after the Loopback and the Inboxes.
struct CloseAndRelease
{
    void operator()(QuvSocketConnection* conn) const
    {
        conn->Close();
        conn->Release();
    }
};
using Connection = std::unique_ptr<QuvSocketConnection, CloseAndRelease>;

QuvSocketConnection* connect(tcp::socket socket, Inbox& inbox)
{
    auto* conn = new QuvSocketConnection;
    EXPECT_TRUE(conn->Attach(std::move(socket)));
    conn->SetMessageCallback([&inbox](const uint8_t* m) { inbox.Add(m); });
    conn->SetErrorCallback([&inbox](const boost::system::error_code& e) { inbox.AddError(e); });
    EXPECT_EQ(conn->StartRecv(), 1);
    return conn;
}

} // namespace

TEST(QuvLoopback, EncryptedExchangeBothWays)
{
    Inbox atA, atB;
    Loopback net;
    auto sockets = net.Pair();
    Connection a(connect(std::move(sockets.first), atA));
    // B echoes every message back.
    Connection b(new QuvSocketConnection);
    ASSERT_TRUE(b->Attach(std::move(sockets.second)));
    b->SetMessageCallback([&](const uint8_t* m) {
        atB.Add(m);
        EXPECT_EQ(b->Send(m), 1);
    });
    ASSERT_EQ(b->StartRecv(), 1);
    net.Start();

    std::vector<Bytes> sent;
    const uint32_t sizes[] = {8, 13, 24, 100, 8196, 8197, 70000, 3u << 20};
    uint8_t seed = 0;
    for (uint32_t size : sizes)
        for (bool encrypted : {true, false})
            sent.push_back(makeMessage(size, encrypted, ++seed));
    for (const Bytes& m : sent)
        ASSERT_EQ(a->Send(m.data()), 1);

    ASSERT_TRUE(atA.WaitFor(sent.size()));
    ASSERT_EQ(atB.messages.size(), sent.size());
    for (size_t i = 0; i < sent.size(); ++i) {
        EXPECT_EQ(atB.messages[i], sent[i]) << i;
        EXPECT_EQ(atA.messages[i], sent[i]) << i;
    }
    EXPECT_TRUE(atA.errors.empty());

    // Everything written: the counts are back to zero.
    for (int i = 0; i < 200 && (a->GetQueuedMessageCount() || b->GetQueuedMessageCount()); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(a->GetQueuedMessageCount(), 0);
    EXPECT_EQ(a->GetQueuedByteCount(), 0);
    EXPECT_EQ(b->GetQueuedByteCount(), 0);

    // Closing B is seen by A as an error, which closes A too.
    b->Close();
    ASSERT_TRUE(atA.WaitFor(sent.size(), 1));
    EXPECT_EQ(atA.errors[0], boost::asio::error::eof);
    for (int i = 0; i < 200 && a->GetState() != IQuvConnection::kStateClosed; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(a->GetState(), IQuvConnection::kStateClosed);
    auto m = makeMessage(20, true, 1);
    EXPECT_EQ(a->Send(m.data()), -1);
}

TEST(QuvLoopback, NothingIsReportedQueuedAfterClose)
{
    Loopback net;
    auto sockets = net.Pair();
    Inbox inbox;
    QuvSocketConnection* conn = connect(std::move(sockets.first), inbox);
    net.Start();
    auto m = makeMessage(40, true, 9);
    auto bad = makeMessage(8, false, 9);
    bad[0] = 7;
    EXPECT_EQ(conn->Send(bad.data()), 0);
    EXPECT_EQ(conn->Send(nullptr), 0);
    conn->Close();
    EXPECT_EQ(conn->GetState(), IQuvConnection::kStateClosed);
    EXPECT_EQ(conn->Send(m.data()), -1);
    CQuvTransmitData* frame = BuildTransmitData(m.data());
    EXPECT_EQ(conn->SendData(frame), -1);
    frame->Release();
    EXPECT_EQ(conn->GetQueuedMessageCount(), 0);
    EXPECT_EQ(conn->StartRecv(), 0);
    EXPECT_FALSE(conn->Attach(std::move(sockets.second)));
    conn->Release();

    auto* unattached = new QuvSocketConnection;
    EXPECT_EQ(unattached->Send(m.data()), -1);
    EXPECT_EQ(unattached->StartRecv(), 0);
    EXPECT_TRUE(unattached->Shutdown());
    unattached->Release();
}

TEST(QuvLoopback, CloseNeverDestroysARunningCallback)
{
    Loopback net;
    auto sockets = net.Pair();
    std::promise<void> entered, closed;
    auto closedFuture = closed.get_future();
    std::promise<std::string> result;
    Connection conn(new QuvSocketConnection);
    ASSERT_TRUE(conn->Attach(std::move(sockets.first)));
    // The callback owns heap data that must outlive a Close on another thread.
    auto owned = std::make_shared<std::string>("still here");
    conn->SetMessageCallback([&, owned](const uint8_t*) {
        entered.set_value();
        closedFuture.wait_for(std::chrono::seconds(20));
        result.set_value(*owned);
    });
    owned.reset();
    ASSERT_EQ(conn->StartRecv(), 1);
    net.Start();

    Bytes frame = frameOf(makeMessage(16, false, 1));
    boost::asio::write(sockets.second, boost::asio::buffer(frame));
    ASSERT_EQ(entered.get_future().wait_for(std::chrono::seconds(20)), std::future_status::ready);
    conn->Close();
    closed.set_value();
    auto value = result.get_future();
    ASSERT_EQ(value.wait_for(std::chrono::seconds(20)), std::future_status::ready);
    EXPECT_EQ(value.get(), "still here");
}

TEST(QuvLoopback, ReadErrorWithoutErrorCallbackLeavesTheConnectionOpen)
{
    Loopback net;
    auto sockets = net.Pair();
    auto* conn = new QuvSocketConnection;
    ASSERT_TRUE(conn->Attach(std::move(sockets.first)));
    ASSERT_EQ(conn->StartRecv(), 1);
    net.Start();
    sockets.second.close();
    // The pending read ends with an error; wait until its reference is gone.
    for (int i = 0; i < 200 && conn->AddRef() > 2; ++i) {
        conn->Release();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_EQ(conn->Release(), 1);
    EXPECT_EQ(conn->GetState(), IQuvConnection::kStateConnected);
    EXPECT_FALSE(conn->Shutdown());
    conn->Close();
    conn->Release();
}
