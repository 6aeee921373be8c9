#pragma once
// Message framing and the optional AES encryption of message bodies.
//
// Frame: a little-endian signed 32-bit length N, then N bytes of message.
// Message: an 8-byte header, then the body. Header bytes 0-3 hold the
// message length S (little-endian, header included), byte 6 is the
// encrypted flag; bytes 4, 5 and 7 are carried unchanged.
//
// An encrypted body is padded with zeros to a multiple of 16 bytes and
// encrypted with g_packetAES in ECB mode (the wire format peers expect), so
// N = P + 8 with P = (S + 7) & ~15, while the header keeps the unpadded S.

#include "quv/QuvRefData.h"

#include <cstdint>

constexpr int32_t kQuvMessageHeaderSize = 8;
constexpr int32_t kQuvFrameLengthSize = 4;
constexpr int32_t kQuvMaxFrameLength = 0x6400000;
constexpr int kQuvEncryptedFlagOffset = 6;

// The message length S from a header.
uint32_t QuvMessageLength(const uint8_t* message);

// A new frame (one reference, owned by the caller) for the message, or null
// when the message cannot be framed: S below 8, N above kQuvMaxFrameLength,
// or no memory for the frame.
CQuvTransmitData* BuildTransmitData(const uint8_t* message);

// Checks a received message of N bytes and decrypts a flagged body in place.
// Returns the message, or null when it is rejected. A plain message needs
// S = N; an encrypted one needs N - 8 to be a multiple of 16 and S to lie in
// the last block: 8 <= S <= N and S > N - 16.
uint8_t* DecryptPacket(uint8_t* message, int32_t n);
