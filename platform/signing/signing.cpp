#include "platform/signing.h"

#include <openssl/evp.h>
#include <openssl/hmac.h>

#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

namespace {

// Deployment data: what a build signs with when the deployment names no key.
constexpr char kDefaultKey[] = "zavmo-tavrik-default-signing-key";

// False when the deployment configured an empty key.
bool signingKey(std::string& key)
{
    const char* configured = std::getenv("ZAVMO_SIGN_KEY");
    key = configured ? configured : kDefaultKey;
    return !key.empty();
}

char* authCodeOf(const char* signText)
{
    std::string key;
    if (!signText || !signingKey(key))
        return nullptr;
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int digestLength = 0;
    if (!HMAC(EVP_sha256(), key.data(), static_cast<int>(key.size()), reinterpret_cast<const unsigned char*>(signText),
              std::strlen(signText), digest, &digestLength))
        return nullptr;

    static const char kHex[] = "0123456789abcdef";
    char* code = static_cast<char*>(std::malloc(digestLength * 2 + 1));
    if (!code)
        return nullptr;
    for (unsigned int i = 0; i < digestLength; ++i) {
        code[2 * i] = kHex[digest[i] >> 4];
        code[2 * i + 1] = kHex[digest[i] & 0x0f];
    }
    code[digestLength * 2] = '\0';
    return code;
}

} // namespace

char* GenerateAuthCode(const char* signText)
{
    try {
        return authCodeOf(signText);
    } catch (...) {
        return nullptr;
    }
}

void FreeAuthCode(char* authCode)
{
    std::free(authCode);
}
