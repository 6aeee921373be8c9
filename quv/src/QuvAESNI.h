#pragma once
// AES on the processor's AES instructions (x86-64 AES-NI). The rest of the
// library is built for any x86-64; only these functions use the instructions,
// so callers check AesNiAvailable first.

#include <cstddef>
#include <cstdint>

namespace quv {
namespace detail {

// True when the processor has the AES instructions (CPUID).
bool AesNiAvailable();

// ECB over `blocks` 16-byte blocks; out may equal in. `roundKeys` holds
// rounds + 1 keys of 16 bytes in byte order: for decryption those of the
// equivalent inverse cipher, in the order they are used.
void AesNiEncrypt(const uint8_t* roundKeys, int rounds, const uint8_t* in, uint8_t* out, size_t blocks);
void AesNiDecrypt(const uint8_t* roundKeys, int rounds, const uint8_t* in, uint8_t* out, size_t blocks);

} // namespace detail
} // namespace quv
