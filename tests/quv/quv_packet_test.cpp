#include "quv/QuvAES.h"
#include "quv/QuvPacket.h"

#include <gtest/gtest.h>

#include <cstring>
#include <new>
#include <vector>

namespace {

thread_local bool t_failNothrowNew = false;

} // namespace

// Lets a test make new (std::nothrow) fail on its own thread, as it does
// when memory runs out.
void* operator new(std::size_t size, const std::nothrow_t&) noexcept
{
    if (t_failNothrowNew)
        return nullptr;
    try {
        return ::operator new(size);
    } catch (...) {
        return nullptr;
    }
}

namespace {

std::vector<uint8_t> message(uint32_t s, bool encrypted)
{
    std::vector<uint8_t> m(s < 8 ? 8 : s);
    for (size_t i = 8; i < m.size(); ++i)
        m[i] = static_cast<uint8_t>(i * 3 + 1);
    std::memcpy(m.data(), &s, 4);
    m[4] = 0xAB;
    m[5] = 0xCD;
    m[6] = encrypted ? 1 : 0;
    m[7] = 0x11;
    return m;
}

struct Frame
{
    std::vector<uint8_t> bytes;
    int32_t length() const { return bytes[0] | bytes[1] << 8 | bytes[2] << 16 | bytes[3] << 24; }
    uint8_t* message() { return bytes.data() + 4; }
};

Frame build(const std::vector<uint8_t>& m)
{
    CQuvTransmitData* data = BuildTransmitData(m.data());
    EXPECT_NE(data, nullptr);
    if (!data)
        return {};
    Frame f{std::vector<uint8_t>(data->Data(), data->Data() + data->Size())};
    data->Release();
    return f;
}

} // namespace

TEST(QuvPacketTest, PlainFrames)
{
    auto m = message(20, false);
    Frame f = build(m);
    ASSERT_EQ(f.bytes.size(), 24u);
    EXPECT_EQ(f.length(), 20);
    EXPECT_TRUE(std::equal(m.begin(), m.end(), f.bytes.begin() + 4));
    EXPECT_EQ(DecryptPacket(f.message(), f.length()), f.message());
    EXPECT_TRUE(std::equal(m.begin(), m.end(), f.bytes.begin() + 4));
}

TEST(QuvPacketTest, EncryptedFramesRoundTrip)
{
    for (uint32_t s : {8u, 9u, 13u, 23u, 24u, 25u, 40u, 1000u, 8200u}) {
        SCOPED_TRACE(s);
        auto m = message(s, true);
        Frame f = build(m);
        const uint32_t p = (s + 7) & ~15u;
        ASSERT_EQ(f.bytes.size(), p + 12);
        EXPECT_EQ(f.length(), int32_t(p + 8));
        // The header goes out unchanged, the unpadded S included.
        EXPECT_TRUE(std::equal(m.begin(), m.begin() + 8, f.bytes.begin() + 4));
        if (p > 0) {
            EXPECT_FALSE(std::equal(m.begin() + 8, m.end(), f.bytes.begin() + 12));
        }
        ASSERT_EQ(DecryptPacket(f.message(), f.length()), f.message());
        EXPECT_TRUE(std::equal(m.begin(), m.end(), f.bytes.begin() + 4));
        // Every padding byte went out as zero.
        for (size_t i = 4 + s; i < f.bytes.size(); ++i)
            EXPECT_EQ(f.bytes[i], 0) << "padding byte " << i - 4 - s;
    }
}

TEST(QuvPacketTest, EncryptedBodyIsEcbUnderThePacketKey)
{
    auto m = message(13, true);
    Frame f = build(m);
    ASSERT_EQ(f.length(), 24);
    // Decrypting the body by hand shows the 5 body bytes and 11 zero bytes.
    uint8_t body[16];
    ASSERT_TRUE(g_packetAES.Decrypt(body, f.bytes.data() + 12, 16));
    EXPECT_TRUE(std::equal(m.begin() + 8, m.end(), body));
    for (int i = 5; i < 16; ++i)
        EXPECT_EQ(body[i], 0);
    EXPECT_EQ(g_packetAES.GetKeyLength(), 32u);
}

TEST(QuvPacketTest, SenderRefusesMessagesThatCannotBeFramed)
{
    EXPECT_EQ(BuildTransmitData(nullptr), nullptr);
    for (uint32_t s : {0u, 7u, uint32_t(kQuvMaxFrameLength) + 1, 0xFFFFFFFFu, 0xFFFFFFF9u}) {
        for (bool encrypted : {false, true}) {
            auto m = message(8, encrypted);
            std::memcpy(m.data(), &s, 4);
            EXPECT_EQ(BuildTransmitData(m.data()), nullptr) << s << " " << encrypted;
        }
    }
    // Padding can push an encrypted frame over the limit that a plain one meets.
    auto m = message(8, true);
    uint32_t s = kQuvMaxFrameLength - 1;
    std::memcpy(m.data(), &s, 4);
    EXPECT_EQ(BuildTransmitData(m.data()), nullptr);
}

TEST(QuvPacketTest, NoMemoryForTheFrameGivesNull)
{
    for (bool encrypted : {false, true}) {
        auto m = message(40, encrypted);
        t_failNothrowNew = true;
        CQuvTransmitData* frame = BuildTransmitData(m.data());
        t_failNothrowNew = false;
        EXPECT_EQ(frame, nullptr);
        if (frame)
            frame->Release();
    }
}

TEST(QuvPacketTest, ReceiverChecks)
{
    // Plain: the header length must equal N.
    auto plain = message(20, false);
    EXPECT_EQ(DecryptPacket(plain.data(), 19), nullptr);
    EXPECT_EQ(DecryptPacket(plain.data(), 21), nullptr);
    EXPECT_EQ(DecryptPacket(plain.data(), 7), nullptr);
    EXPECT_EQ(DecryptPacket(nullptr, 8), nullptr);
    auto small = message(7, false);
    EXPECT_EQ(DecryptPacket(small.data(), 7), nullptr);

    // Encrypted: N - 8 a multiple of 16, S within the last block.
    auto enc = message(40, true);
    enc.resize(48);
    auto header = [&](uint32_t s) {
        std::memcpy(enc.data(), &s, 4);
        return enc.data();
    };
    EXPECT_EQ(DecryptPacket(header(40), 44), nullptr);
    EXPECT_EQ(DecryptPacket(header(40), 47), nullptr);
    EXPECT_NE(DecryptPacket(header(40), 40), nullptr);
    EXPECT_NE(DecryptPacket(header(25), 40), nullptr);
    EXPECT_EQ(DecryptPacket(header(24), 40), nullptr);
    EXPECT_EQ(DecryptPacket(header(41), 40), nullptr);
    EXPECT_EQ(DecryptPacket(header(7), 8), nullptr);
    EXPECT_NE(DecryptPacket(header(8), 8), nullptr);
}
