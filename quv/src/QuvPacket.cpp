#include "quv/QuvPacket.h"

#include "quv/QuvAES.h"

#include <cstring>
#include <new>

namespace {

// The packet key. Peers hold the same 32 bytes.
const uint8_t kPacketKey[32] = {
    0x5a, 0x61, 0x76, 0x6d, 0x6f, 0x2d, 0x51, 0x75, 0x76, 0x3a, 0x9e, 0x37, 0x79, 0xb9, 0x7f, 0x4a,
    0x7c, 0x15, 0xf3, 0x9c, 0xc7, 0x60, 0x5c, 0xed, 0xc8, 0x34, 0x10, 0x8c, 0xd2, 0x6b, 0x41, 0x0e,
};

void putLength(uint8_t* p, uint32_t v)
{
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
    p[2] = static_cast<uint8_t>(v >> 16);
    p[3] = static_cast<uint8_t>(v >> 24);
}

} // namespace

QuvAES g_packetAES(kPacketKey, sizeof kPacketKey);

uint32_t QuvMessageLength(const uint8_t* message)
{
    return uint32_t(message[0]) | uint32_t(message[1]) << 8 | uint32_t(message[2]) << 16 | uint32_t(message[3]) << 24;
}

CQuvTransmitData* BuildTransmitData(const uint8_t* message)
{
    if (!message)
        return nullptr;
    // 64-bit arithmetic: no S from the header can wrap the sizes below.
    const int64_t s = QuvMessageLength(message);
    if (s < kQuvMessageHeaderSize)
        return nullptr;
    const bool encrypted = message[kQuvEncryptedFlagOffset] != 0;
    const int64_t padded = encrypted ? ((s + 7) & ~int64_t(15)) : s - kQuvMessageHeaderSize;
    const int64_t n = padded + kQuvMessageHeaderSize;
    if (n > kQuvMaxFrameLength)
        return nullptr;

    CQuvTransmitData* frame = new (std::nothrow) CQuvTransmitData(static_cast<int32_t>(n + kQuvFrameLengthSize));
    if (!frame)
        return nullptr;
    if (frame->Size() != n + kQuvFrameLengthSize) {
        frame->Release();
        return nullptr;
    }
    uint8_t* out = frame->Buffer().Data();
    putLength(out, static_cast<uint32_t>(n));
    std::memcpy(out + kQuvFrameLengthSize, message, static_cast<size_t>(s));
    if (encrypted) {
        // Every padding byte is zeroed: n - s of them, up to 15.
        std::memset(out + kQuvFrameLengthSize + s, 0, static_cast<size_t>(n - s));
        uint8_t* body = out + kQuvFrameLengthSize + kQuvMessageHeaderSize;
        g_packetAES.Encrypt(body, body, static_cast<size_t>(padded));
    }
    return frame;
}

uint8_t* DecryptPacket(uint8_t* message, int32_t n)
{
    if (!message || n < kQuvMessageHeaderSize)
        return nullptr;
    const int64_t s = QuvMessageLength(message);
    if (message[kQuvEncryptedFlagOffset] == 0)
        return s == n ? message : nullptr;
    const int32_t body = n - kQuvMessageHeaderSize;
    if (body % 16 != 0 || s < kQuvMessageHeaderSize || s > n || s <= int64_t(n) - 16)
        return nullptr;
    if (!g_packetAES.Decrypt(message + kQuvMessageHeaderSize, message + kQuvMessageHeaderSize,
                             static_cast<size_t>(body)))
        return nullptr;
    return message;
}
