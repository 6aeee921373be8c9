#include "quv/QuvAES.h"

#include <gtest/gtest.h>
#include <openssl/evp.h>

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

} // namespace

TEST(QuvAESTest, StandardExampleVectors)
{
    struct Vector
    {
        const char* key;
        const char* plain;
        const char* cipher;
    };
    const Vector vectors[] = {
        {"2b7e151628aed2a6abf7158809cf4f3c", "3243f6a8885a308d313198a2e0370734", "3925841d02dc09fbdc118597196a0b32"},
        {"000102030405060708090a0b0c0d0e0f", "00112233445566778899aabbccddeeff", "69c4e0d86a7b0430d8cdb78070b4c55a"},
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
        std::vector<uint8_t> block = hex(v.plain);
        // Two identical blocks, in place: ECB gives two identical results.
        block.insert(block.end(), block.begin(), block.end());
        ASSERT_TRUE(aes.Encrypt(block.data(), block.data(), block.size()));
        std::vector<uint8_t> expected = hex(v.cipher);
        expected.insert(expected.end(), expected.begin(), expected.end());
        EXPECT_EQ(block, expected);
        std::vector<uint8_t> back(block.size());
        ASSERT_TRUE(aes.Decrypt(back.data(), block.data(), block.size()));
        EXPECT_EQ(back, hex(std::string(v.plain) + v.plain));
    }
}

TEST(QuvAESTest, RandomBlocksMatchOpenSSL)
{
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
