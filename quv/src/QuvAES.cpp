#include "quv/QuvAES.h"

#include "QuvAESNI.h"

#include <atomic>
#include <cstdlib>
#include <cstring>

namespace {

// The round transformations folded into lookup tables, built at compile
// time. Words are big-endian views of state columns.
struct Tables
{
    uint32_t te[4][256];
    uint32_t td[4][256];
    uint8_t sbox[256];
    uint8_t inverseSbox[256];
};

constexpr uint8_t xtime(uint8_t x)
{
    return static_cast<uint8_t>((x << 1) ^ ((x & 0x80) ? 0x1B : 0));
}

constexpr uint8_t gmul(uint8_t a, uint8_t b)
{
    uint8_t product = 0;
    while (b) {
        if (b & 1)
            product ^= a;
        a = xtime(a);
        b >>= 1;
    }
    return product;
}

constexpr uint8_t rotl8(uint8_t x, int n)
{
    return static_cast<uint8_t>((x << n) | (x >> (8 - n)));
}

constexpr uint32_t ror32(uint32_t x, int n)
{
    return (x >> n) | (x << (32 - n));
}

constexpr uint32_t word(uint8_t a, uint8_t b, uint8_t c, uint8_t d)
{
    return uint32_t(a) << 24 | uint32_t(b) << 16 | uint32_t(c) << 8 | d;
}

constexpr Tables makeTables()
{
    Tables t{};
    // Powers of the generator 3 give the multiplicative inverses.
    uint8_t exp[256] = {};
    uint8_t log[256] = {};
    uint8_t x = 1;
    for (int i = 0; i < 255; ++i) {
        exp[i] = x;
        log[x] = static_cast<uint8_t>(i);
        x = static_cast<uint8_t>(x ^ xtime(x));
    }
    for (int i = 0; i < 256; ++i) {
        uint8_t inv = i == 0 ? 0 : exp[(255 - log[i]) % 255];
        uint8_t s = static_cast<uint8_t>(inv ^ rotl8(inv, 1) ^ rotl8(inv, 2) ^ rotl8(inv, 3) ^ rotl8(inv, 4) ^ 0x63);
        t.sbox[i] = s;
        t.inverseSbox[s] = static_cast<uint8_t>(i);
    }
    for (int i = 0; i < 256; ++i) {
        uint8_t s = t.sbox[i];
        uint32_t e = word(gmul(s, 2), s, s, gmul(s, 3));
        uint8_t is = t.inverseSbox[i];
        uint32_t d = word(gmul(is, 14), gmul(is, 9), gmul(is, 13), gmul(is, 11));
        for (int r = 0; r < 4; ++r) {
            t.te[r][i] = r == 0 ? e : ror32(e, 8 * r);
            t.td[r][i] = r == 0 ? d : ror32(d, 8 * r);
        }
    }
    return t;
}

alignas(64) constexpr Tables kT = makeTables();

const uint32_t* const Te0 = kT.te[0];
const uint32_t* const Te1 = kT.te[1];
const uint32_t* const Te2 = kT.te[2];
const uint32_t* const Te3 = kT.te[3];
const uint32_t* const Td0 = kT.td[0];
const uint32_t* const Td1 = kT.td[1];
const uint32_t* const Td2 = kT.td[2];
const uint32_t* const Td3 = kT.td[3];

inline uint32_t load(const uint8_t* p)
{
    uint32_t v;
    std::memcpy(&v, p, 4);
    return __builtin_bswap32(v);
}

inline void store(uint8_t* p, uint32_t v)
{
    v = __builtin_bswap32(v);
    std::memcpy(p, &v, 4);
}

inline uint32_t subWord(uint32_t w)
{
    return word(kT.sbox[w >> 24], kT.sbox[(w >> 16) & 0xFF], kT.sbox[(w >> 8) & 0xFF], kT.sbox[w & 0xFF]);
}

inline uint32_t inverseMixColumn(uint32_t w)
{
    // Td maps through the inverse S-box first; undo it with the S-box.
    return Td0[kT.sbox[w >> 24]] ^ Td1[kT.sbox[(w >> 16) & 0xFF]] ^ Td2[kT.sbox[(w >> 8) & 0xFF]] ^
           Td3[kT.sbox[w & 0xFF]];
}

void encryptBlock(const uint32_t* rk, int rounds, const uint8_t* in, uint8_t* out)
{
    uint32_t s0 = load(in) ^ rk[0];
    uint32_t s1 = load(in + 4) ^ rk[1];
    uint32_t s2 = load(in + 8) ^ rk[2];
    uint32_t s3 = load(in + 12) ^ rk[3];
    uint32_t t0, t1, t2, t3;
    for (int r = 1; r < rounds; ++r) {
        rk += 4;
        t0 = Te0[s0 >> 24] ^ Te1[(s1 >> 16) & 0xFF] ^ Te2[(s2 >> 8) & 0xFF] ^ Te3[s3 & 0xFF] ^ rk[0];
        t1 = Te0[s1 >> 24] ^ Te1[(s2 >> 16) & 0xFF] ^ Te2[(s3 >> 8) & 0xFF] ^ Te3[s0 & 0xFF] ^ rk[1];
        t2 = Te0[s2 >> 24] ^ Te1[(s3 >> 16) & 0xFF] ^ Te2[(s0 >> 8) & 0xFF] ^ Te3[s1 & 0xFF] ^ rk[2];
        t3 = Te0[s3 >> 24] ^ Te1[(s0 >> 16) & 0xFF] ^ Te2[(s1 >> 8) & 0xFF] ^ Te3[s2 & 0xFF] ^ rk[3];
        s0 = t0;
        s1 = t1;
        s2 = t2;
        s3 = t3;
    }
    rk += 4;
    const uint8_t* S = kT.sbox;
    store(out, word(S[s0 >> 24], S[(s1 >> 16) & 0xFF], S[(s2 >> 8) & 0xFF], S[s3 & 0xFF]) ^ rk[0]);
    store(out + 4, word(S[s1 >> 24], S[(s2 >> 16) & 0xFF], S[(s3 >> 8) & 0xFF], S[s0 & 0xFF]) ^ rk[1]);
    store(out + 8, word(S[s2 >> 24], S[(s3 >> 16) & 0xFF], S[(s0 >> 8) & 0xFF], S[s1 & 0xFF]) ^ rk[2]);
    store(out + 12, word(S[s3 >> 24], S[(s0 >> 16) & 0xFF], S[(s1 >> 8) & 0xFF], S[s2 & 0xFF]) ^ rk[3]);
}

void decryptBlock(const uint32_t* rk, int rounds, const uint8_t* in, uint8_t* out)
{
    uint32_t s0 = load(in) ^ rk[0];
    uint32_t s1 = load(in + 4) ^ rk[1];
    uint32_t s2 = load(in + 8) ^ rk[2];
    uint32_t s3 = load(in + 12) ^ rk[3];
    uint32_t t0, t1, t2, t3;
    for (int r = 1; r < rounds; ++r) {
        rk += 4;
        t0 = Td0[s0 >> 24] ^ Td1[(s3 >> 16) & 0xFF] ^ Td2[(s2 >> 8) & 0xFF] ^ Td3[s1 & 0xFF] ^ rk[0];
        t1 = Td0[s1 >> 24] ^ Td1[(s0 >> 16) & 0xFF] ^ Td2[(s3 >> 8) & 0xFF] ^ Td3[s2 & 0xFF] ^ rk[1];
        t2 = Td0[s2 >> 24] ^ Td1[(s1 >> 16) & 0xFF] ^ Td2[(s0 >> 8) & 0xFF] ^ Td3[s3 & 0xFF] ^ rk[2];
        t3 = Td0[s3 >> 24] ^ Td1[(s2 >> 16) & 0xFF] ^ Td2[(s1 >> 8) & 0xFF] ^ Td3[s0 & 0xFF] ^ rk[3];
        s0 = t0;
        s1 = t1;
        s2 = t2;
        s3 = t3;
    }
    rk += 4;
    const uint8_t* S = kT.inverseSbox;
    store(out, word(S[s0 >> 24], S[(s3 >> 16) & 0xFF], S[(s2 >> 8) & 0xFF], S[s1 & 0xFF]) ^ rk[0]);
    store(out + 4, word(S[s1 >> 24], S[(s0 >> 16) & 0xFF], S[(s3 >> 8) & 0xFF], S[s2 & 0xFF]) ^ rk[1]);
    store(out + 8, word(S[s2 >> 24], S[(s1 >> 16) & 0xFF], S[(s0 >> 8) & 0xFF], S[s3 & 0xFF]) ^ rk[2]);
    store(out + 12, word(S[s3 >> 24], S[(s2 >> 16) & 0xFF], S[(s1 >> 8) & 0xFF], S[s0 & 0xFF]) ^ rk[3]);
}

bool hardwareAvailable()
{
    static const bool available = quv::detail::AesNiAvailable();
    return available;
}

std::atomic<bool>& hardwareAllowed()
{
    static std::atomic<bool> allowed([] {
        const char* value = std::getenv("ZAVMO_QUV_AES_HARDWARE");
        return !(value && std::strcmp(value, "0") == 0);
    }());
    return allowed;
}

bool useHardware()
{
    return hardwareAvailable() && hardwareAllowed().load(std::memory_order_relaxed);
}

void wipe(void* p, size_t n)
{
    volatile uint8_t* bytes = static_cast<volatile uint8_t*>(p);
    for (size_t i = 0; i < n; ++i)
        bytes[i] = 0;
}

} // namespace

bool QuvAES::HardwareAvailable()
{
    return hardwareAvailable();
}

void QuvAES::SetHardwareAllowed(bool allowed)
{
    hardwareAllowed().store(allowed, std::memory_order_relaxed);
}

bool QuvAES::UsesHardware()
{
    return useHardware();
}

QuvAES::QuvAES(const uint8_t* key, size_t length)
    : m_keyLength(0), m_rounds(0), m_encryptKeys{}, m_decryptKeys{}, m_hardwareEncryptKeys{}, m_hardwareDecryptKeys{}
{
    if (key)
        SetKey(key, length);
}

QuvAES::~QuvAES()
{
    // Don't leave key material behind in freed memory.
    wipe(m_encryptKeys, sizeof m_encryptKeys);
    wipe(m_decryptKeys, sizeof m_decryptKeys);
    wipe(m_hardwareEncryptKeys, sizeof m_hardwareEncryptKeys);
    wipe(m_hardwareDecryptKeys, sizeof m_hardwareDecryptKeys);
}

const size_t* QuvAES::GetKeySizes() const
{
    static const size_t sizes[] = {32, 24, 16, 0};
    return sizes;
}

size_t QuvAES::GetBlockSize() const
{
    return 16;
}

size_t QuvAES::GetKeyLength() const
{
    return m_keyLength;
}

bool QuvAES::SetKey(const uint8_t* key, size_t length)
{
    if (!key || (length != 16 && length != 24 && length != 32))
        return false;
    const int nk = static_cast<int>(length / 4);
    const int rounds = nk + 6;
    const int words = 4 * (rounds + 1);
    uint32_t* w = m_encryptKeys;
    for (int i = 0; i < nk; ++i)
        w[i] = load(key + 4 * i);
    uint8_t rcon = 1;
    for (int i = nk; i < words; ++i) {
        uint32_t temp = w[i - 1];
        if (i % nk == 0) {
            temp = subWord((temp << 8) | (temp >> 24)) ^ (uint32_t(rcon) << 24);
            rcon = xtime(rcon);
        } else if (nk > 6 && i % nk == 4) {
            temp = subWord(temp);
        }
        w[i] = w[i - nk] ^ temp;
    }

    // The inverse cipher runs the rounds backwards; inner round keys go
    // through the inverse mix-columns step.
    uint32_t* dk = m_decryptKeys;
    for (int r = 0; r <= rounds; ++r) {
        for (int c = 0; c < 4; ++c) {
            uint32_t k = w[4 * (rounds - r) + c];
            dk[4 * r + c] = (r == 0 || r == rounds) ? k : inverseMixColumn(k);
        }
    }
    for (int i = 0; i < words; ++i) {
        store(m_hardwareEncryptKeys + 4 * i, w[i]);
        store(m_hardwareDecryptKeys + 4 * i, dk[i]);
    }
    m_keyLength = length;
    m_rounds = rounds;
    return true;
}

bool QuvAES::Encrypt(uint8_t* out, const uint8_t* in, size_t length) const
{
    if (length % 16 != 0 || m_keyLength == 0)
        return false;
    if (useHardware()) {
        quv::detail::AesNiEncrypt(m_hardwareEncryptKeys, m_rounds, in, out, length / 16);
        return true;
    }
    for (size_t i = 0; i < length; i += 16)
        encryptBlock(m_encryptKeys, m_rounds, in + i, out + i);
    return true;
}

bool QuvAES::Decrypt(uint8_t* out, const uint8_t* in, size_t length) const
{
    if (length % 16 != 0 || m_keyLength == 0)
        return false;
    if (useHardware()) {
        quv::detail::AesNiDecrypt(m_hardwareDecryptKeys, m_rounds, in, out, length / 16);
        return true;
    }
    for (size_t i = 0; i < length; i += 16)
        decryptBlock(m_decryptKeys, m_rounds, in + i, out + i);
    return true;
}
