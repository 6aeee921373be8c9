#pragma once
// AES block cipher (128-, 192- and 256-bit keys) in ECB mode.
//
// Blocks run on the processor's AES instructions where it has them (x86-64
// AES-NI, found by CPUID once per process), else on lookup tables, which
// also serve as the reference. Both give the same results. The tables take
// key-dependent time; the instructions do not.

#include <cstddef>
#include <cstdint>

class QuvAES
{
public:
    // With a key: SetKey(key, length); without one the object has no key.
    QuvAES(const uint8_t* key = nullptr, size_t length = 0);
    virtual ~QuvAES();

    // Supported key lengths in bytes, ended by 0.
    virtual const size_t* GetKeySizes() const;
    virtual size_t GetBlockSize() const;
    // 0 while no key is set.
    virtual size_t GetKeyLength() const;
    // Accepts 16, 24 or 32 bytes; anything else returns false and changes nothing.
    virtual bool SetKey(const uint8_t* key, size_t length);
    // Every 16-byte block on its own. False, with the output untouched, when
    // the length is not a multiple of 16 or no key is set. out may equal in.
    virtual bool Encrypt(uint8_t* out, const uint8_t* in, size_t length) const;
    virtual bool Decrypt(uint8_t* out, const uint8_t* in, size_t length) const;

    // Whether the processor has the AES instructions.
    static bool HardwareAvailable();
    // Process-wide, for every QuvAES and any thread: false keeps all of them
    // on the tables (tests, benchmarks). Starts true unless the environment
    // holds ZAVMO_QUV_AES_HARDWARE=0.
    static void SetHardwareAllowed(bool allowed);
    // Whether Encrypt and Decrypt run on the instructions now.
    static bool UsesHardware();

private:
    size_t m_keyLength;
    int m_rounds;
    uint32_t m_encryptKeys[60];
    // Round keys of the equivalent inverse cipher, in the order they are used.
    uint32_t m_decryptKeys[60];
    // The same two schedules in byte order, as the instructions take them.
    uint8_t m_hardwareEncryptKeys[240];
    uint8_t m_hardwareDecryptKeys[240];
};

// The packet cipher of Quv connections: AES-256 under the library's fixed key.
// Set up before main and only read afterwards, so any thread may use it.
extern QuvAES g_packetAES;
