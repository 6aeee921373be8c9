#include "QuvAESNI.h"

#if defined(__x86_64__) || defined(__i386__)

#include <cpuid.h>
#include <immintrin.h>

#define QUV_AESNI __attribute__((target("aes,sse2")))
#define QUV_AESNI_INLINE __attribute__((target("aes,sse2"), always_inline)) inline

namespace quv {
namespace detail {

namespace {

struct Encrypt
{
    static QUV_AESNI_INLINE __m128i Round(__m128i b, __m128i k) { return _mm_aesenc_si128(b, k); }
    static QUV_AESNI_INLINE __m128i Last(__m128i b, __m128i k) { return _mm_aesenclast_si128(b, k); }
};

struct Decrypt
{
    static QUV_AESNI_INLINE __m128i Round(__m128i b, __m128i k) { return _mm_aesdec_si128(b, k); }
    static QUV_AESNI_INLINE __m128i Last(__m128i b, __m128i k) { return _mm_aesdeclast_si128(b, k); }
};

// Eight blocks in flight hide the latency of the round instruction (several
// cycles, while a new one can start every cycle or two). The round keys are
// read from memory per round: eight blocks and fifteen keys would not fit
// the sixteen registers.
constexpr size_t kLanes = 8;

// The round count is a template argument so that the round loops unroll.
template <typename Op, int Rounds>
QUV_AESNI void ecb(const uint8_t* roundKeys, const uint8_t* in, uint8_t* out, size_t blocks)
{
    const __m128i* keys = reinterpret_cast<const __m128i*>(roundKeys);
    const __m128i first = _mm_loadu_si128(keys);
    const __m128i last = _mm_loadu_si128(keys + Rounds);
    for (; blocks >= kLanes; blocks -= kLanes, in += 16 * kLanes, out += 16 * kLanes) {
        __m128i b[kLanes];
        // All loads come before any store, so in-place runs are safe.
        for (size_t i = 0; i < kLanes; ++i)
            b[i] = _mm_xor_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(in) + i), first);
#pragma GCC unroll 16
        for (int r = 1; r < Rounds; ++r) {
            const __m128i k = _mm_loadu_si128(keys + r);
            for (size_t i = 0; i < kLanes; ++i)
                b[i] = Op::Round(b[i], k);
        }
        for (size_t i = 0; i < kLanes; ++i)
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out) + i, Op::Last(b[i], last));
    }
    for (; blocks > 0; --blocks, in += 16, out += 16) {
        __m128i b = _mm_xor_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(in)), first);
#pragma GCC unroll 16
        for (int r = 1; r < Rounds; ++r)
            b = Op::Round(b, _mm_loadu_si128(keys + r));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out), Op::Last(b, last));
    }
}

template <typename Op> void ecb(const uint8_t* roundKeys, int rounds, const uint8_t* in, uint8_t* out, size_t blocks)
{
    switch (rounds) {
    case 10:
        ecb<Op, 10>(roundKeys, in, out, blocks);
        break;
    case 12:
        ecb<Op, 12>(roundKeys, in, out, blocks);
        break;
    default:
        ecb<Op, 14>(roundKeys, in, out, blocks);
        break;
    }
}

} // namespace

bool AesNiAvailable()
{
    unsigned a, b, c, d;
    return __get_cpuid(1, &a, &b, &c, &d) && (c & bit_AES) != 0 && (d & bit_SSE2) != 0;
}

void AesNiEncrypt(const uint8_t* roundKeys, int rounds, const uint8_t* in, uint8_t* out, size_t blocks)
{
    ecb<Encrypt>(roundKeys, rounds, in, out, blocks);
}

void AesNiDecrypt(const uint8_t* roundKeys, int rounds, const uint8_t* in, uint8_t* out, size_t blocks)
{
    ecb<Decrypt>(roundKeys, rounds, in, out, blocks);
}

} // namespace detail
} // namespace quv

#else

namespace quv {
namespace detail {

bool AesNiAvailable()
{
    return false;
}

void AesNiEncrypt(const uint8_t*, int, const uint8_t*, uint8_t*, size_t) {}
void AesNiDecrypt(const uint8_t*, int, const uint8_t*, uint8_t*, size_t) {}

} // namespace detail
} // namespace quv

#endif
