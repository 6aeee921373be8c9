#include "quv/QuvAES.h"

#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <cstdlib>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <vector>

namespace {

std::vector<uint8_t> hex(const std::string& text)
{
    std::vector<uint8_t> out;
    for (size_t i = 0; i + 1 < text.size(); i += 2)
        out.push_back(static_cast<uint8_t>(std::stoul(text.substr(i, 2), nullptr, 16)));
    return out;
}

std::vector<uint8_t> opensslEcb(const std::vector<uint8_t>& key, const std::vector<uint8_t>& in, bool encrypt)
{
    const EVP_CIPHER* cipher = key.size() == 16   ? EVP_aes_128_ecb()
                               : key.size() == 24 ? EVP_aes_192_ecb()
                                                  : EVP_aes_256_ecb();
    EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
    EVP_CipherInit_ex(ctx, cipher, nullptr, key.data(), nullptr, encrypt ? 1 : 0);
    EVP_CIPHER_CTX_set_padding(ctx, 0);
    std::vector<uint8_t> out(in.size());
    int n = 0;
    EVP_CipherUpdate(ctx, out.data(), &n, in.data(), static_cast<int>(in.size()));
    EVP_CIPHER_CTX_free(ctx);
    return out;
}

// Runs `check` on each path this processor has: the AES instructions, then
// the tables. Restores the process-wide choice afterwards.
void onEachPath(const std::function<void()>& check)
{
    const bool before = QuvAES::UsesHardware();
    std::vector<bool> paths;
    if (QuvAES::HardwareAvailable())
        paths.push_back(true);
    paths.push_back(false);
    for (bool hardware : paths) {
        SCOPED_TRACE(hardware ? "AES instructions" : "tables");
        QuvAES::SetHardwareAllowed(hardware);
        ASSERT_EQ(QuvAES::UsesHardware(), hardware);
        check();
    }
    QuvAES::SetHardwareAllowed(before || !QuvAES::HardwareAvailable());
}

std::vector<uint8_t> randomBytes(std::mt19937& rng, size_t n)
{
    std::vector<uint8_t> out(n);
    for (auto& b : out)
        b = static_cast<uint8_t>(rng());
    return out;
}

} // namespace

TEST(QuvAESTest, StandardExampleVectors)
{
    onEachPath([] {
        struct Vector
        {
            const char* key;
            const char* plain;
            const char* cipher;
        };
        const Vector vectors[] = {
            {"2b7e151628aed2a6abf7158809cf4f3c", "3243f6a8885a308d313198a2e0370734",
             "3925841d02dc09fbdc118597196a0b32"},
            {"000102030405060708090a0b0c0d0e0f", "00112233445566778899aabbccddeeff",
             "69c4e0d86a7b0430d8cdb78070b4c55a"},
            {"000102030405060708090a0b0c0d0e0f1011121314151617", "00112233445566778899aabbccddeeff",
             "dda97ca4864cdfe06eaf70a0ec0d7191"},
            {"000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f", "00112233445566778899aabbccddeeff",
             "8ea2b7ca516745bfeafc49904b496089"},
        };
        for (const Vector& v : vectors) {
            SCOPED_TRACE(v.key);
            std::vector<uint8_t> key = hex(v.key);
            QuvAES aes(key.data(), key.size());
            EXPECT_EQ(aes.GetKeyLength(), key.size());
            // Nine copies, in place: ECB gives nine identical results, from
            // a group of eight blocks and from a single one.
            std::vector<uint8_t> plain, expected;
            for (int i = 0; i < 9; ++i) {
                std::vector<uint8_t> p = hex(v.plain), c = hex(v.cipher);
                plain.insert(plain.end(), p.begin(), p.end());
                expected.insert(expected.end(), c.begin(), c.end());
            }
            std::vector<uint8_t> block = plain;
            ASSERT_TRUE(aes.Encrypt(block.data(), block.data(), block.size()));
            EXPECT_EQ(block, expected);
            std::vector<uint8_t> back(block.size());
            ASSERT_TRUE(aes.Decrypt(back.data(), block.data(), block.size()));
            EXPECT_EQ(back, plain);
        }
    });
}

TEST(QuvAESTest, RandomBlocksMatchOpenSSL)
{
    onEachPath([] {
        std::mt19937 rng(20240601);
        for (size_t keySize : {16, 24, 32}) {
            for (int round = 0; round < 20; ++round) {
                std::vector<uint8_t> key(keySize), data(16 * (1 + rng() % 64));
                for (auto& b : key)
                    b = static_cast<uint8_t>(rng());
                for (auto& b : data)
                    b = static_cast<uint8_t>(rng());
                QuvAES aes(key.data(), key.size());
                std::vector<uint8_t> cipher(data.size()), plain(data.size());
                ASSERT_TRUE(aes.Encrypt(cipher.data(), data.data(), data.size()));
                ASSERT_EQ(cipher, opensslEcb(key, data, true)) << "key size " << keySize;
                ASSERT_TRUE(aes.Decrypt(plain.data(), data.data(), data.size()));
                ASSERT_EQ(plain, opensslEcb(key, data, false)) << "key size " << keySize;
            }
        }
    });
}

TEST(QuvAESTest, KeysAndLengthsOutsideTheCipherAreRefused)
{
    QuvAES none;
    EXPECT_EQ(none.GetKeyLength(), 0u);
    EXPECT_EQ(none.GetBlockSize(), 16u);
    const size_t* sizes = none.GetKeySizes();
    EXPECT_EQ(sizes[0], 32u);
    EXPECT_EQ(sizes[1], 24u);
    EXPECT_EQ(sizes[2], 16u);
    EXPECT_EQ(sizes[3], 0u);

    uint8_t block[32] = {1, 2, 3};
    uint8_t out[32] = {};
    EXPECT_FALSE(none.Encrypt(out, block, 16));

    const uint8_t key[32] = {9};
    QuvAES aes(key, 32);
    EXPECT_FALSE(aes.SetKey(key, 20));
    EXPECT_FALSE(aes.SetKey(nullptr, 16));
    EXPECT_EQ(aes.GetKeyLength(), 32u);
    EXPECT_FALSE(aes.Encrypt(out, block, 17));
    EXPECT_FALSE(aes.Decrypt(out, block, 8));
    for (uint8_t b : out)
        EXPECT_EQ(b, 0);
    EXPECT_TRUE(aes.Encrypt(out, block, 0));
    EXPECT_TRUE(aes.SetKey(key, 16));
    EXPECT_EQ(aes.GetKeyLength(), 16u);
}

TEST(QuvAESTest, PathsAgreeOnEveryLengthAndAlignment)
{
    if (!QuvAES::HardwareAvailable())
        GTEST_SKIP() << "no AES instructions on this processor";
    const bool before = QuvAES::UsesHardware();
    std::mt19937 rng(7);
    // Every tail behind the eight-block groups, and lengths around them.
    std::vector<size_t> blockCounts;
    for (size_t n = 0; n <= 40; ++n)
        blockCounts.push_back(n);
    for (size_t n : {63, 64, 65, 255, 256, 257, 4099})
        blockCounts.push_back(n);
    for (size_t keySize : {16, 24, 32}) {
        std::vector<uint8_t> key = randomBytes(rng, keySize);
        QuvAES aes(key.data(), key.size());
        for (size_t blocks : blockCounts) {
            SCOPED_TRACE(testing::Message() << "key " << keySize << ", blocks " << blocks);
            const size_t n = 16 * blocks;
            const size_t offset = blocks % 3; // unaligned input and output too
            std::vector<uint8_t> data = randomBytes(rng, n + offset);
            const uint8_t* in = data.data() + offset;
            const std::vector<uint8_t> plainIn(in, in + n);

            std::vector<uint8_t> hw(n + offset), tables(n + offset);
            QuvAES::SetHardwareAllowed(true);
            ASSERT_TRUE(aes.Encrypt(hw.data() + offset, in, n));
            QuvAES::SetHardwareAllowed(false);
            ASSERT_TRUE(aes.Encrypt(tables.data() + offset, in, n));
            ASSERT_EQ(hw, tables);
            ASSERT_EQ(std::vector<uint8_t>(hw.begin() + offset, hw.end()), opensslEcb(key, plainIn, true));

            // Decrypt on the other path, in place.
            QuvAES::SetHardwareAllowed(true);
            ASSERT_TRUE(aes.Decrypt(tables.data() + offset, tables.data() + offset, n));
            QuvAES::SetHardwareAllowed(false);
            ASSERT_TRUE(aes.Decrypt(hw.data() + offset, hw.data() + offset, n));
            ASSERT_EQ(std::vector<uint8_t>(hw.begin() + offset, hw.end()), plainIn);
            ASSERT_EQ(hw, tables);
        }
    }
    QuvAES::SetHardwareAllowed(before);
}

TEST(QuvAESTest, RefusalsLeaveTheOutputUntouchedOnEachPath)
{
    onEachPath([] {
        const uint8_t key[16] = {1};
        QuvAES aes(key, sizeof key);
        uint8_t in[48] = {5};
        uint8_t out[48] = {};
        EXPECT_FALSE(aes.Encrypt(out, in, 47));
        EXPECT_FALSE(aes.Decrypt(out, in, 33));
        for (uint8_t b : out)
            EXPECT_EQ(b, 0);
        QuvAES none;
        EXPECT_FALSE(none.Decrypt(out, in, 48));
        for (uint8_t b : out)
            EXPECT_EQ(b, 0);
        // A new key replaces every round key of the old one.
        const uint8_t other[32] = {2};
        ASSERT_TRUE(aes.SetKey(other, sizeof other));
        ASSERT_TRUE(aes.Encrypt(out, in, 48));
        std::vector<uint8_t> keyBytes(other, other + 32);
        EXPECT_EQ(std::vector<uint8_t>(out, out + 48), opensslEcb(keyBytes, std::vector<uint8_t>(in, in + 48), true));
    });
}

// The whole binary runs a second time with ZAVMO_QUV_AES_HARDWARE=0 (see the
// CMake file): then nothing may use the instructions.
TEST(QuvAESTest, EnvironmentSwitchForcesTheTables)
{
    const char* value = std::getenv("ZAVMO_QUV_AES_HARDWARE");
    if (value && std::strcmp(value, "0") == 0)
        EXPECT_FALSE(QuvAES::UsesHardware());
    else
        EXPECT_EQ(QuvAES::UsesHardware(), QuvAES::HardwareAvailable());
}
