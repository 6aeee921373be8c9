#include "certificates.h"

#include <openssl/bio.h>
#include <openssl/bn.h>
#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/rand.h>
#include <openssl/x509v3.h>

#include <stdexcept>

namespace zavmo::sim {

namespace {

[[noreturn]] void fail(const std::string& what)
{
    const unsigned long code = ERR_get_error();
    char reason[256] = "no OpenSSL reason";
    if (code != 0)
        ERR_error_string_n(code, reason, sizeof reason);
    throw std::runtime_error(what + ": " + reason);
}

PkeyPtr makeKey()
{
    PkeyPtr key(EVP_EC_gen("P-256"));
    if (!key)
        fail("EC key generation");
    return key;
}

void addName(X509_NAME* name, const char* field, const char* value)
{
    if (!X509_NAME_add_entry_by_txt(name, field, MBSTRING_UTF8, reinterpret_cast<const unsigned char*>(value), -1, -1,
                                    0))
        fail(std::string("subject field ") + field);
}

void addExtension(X509* cert, X509* issuer, int nid, const char* value)
{
    X509V3_CTX ctx;
    X509V3_set_ctx_nodb(&ctx);
    X509V3_set_ctx(&ctx, issuer, cert, nullptr, nullptr, 0);
    X509_EXTENSION* ext = X509V3_EXT_conf_nid(nullptr, &ctx, nid, value);
    if (!ext)
        fail(std::string("extension ") + value);
    const int ok = X509_add_ext(cert, ext, -1);
    X509_EXTENSION_free(ext);
    if (!ok)
        fail(std::string("adding extension ") + value);
}

// Issuer null: self-signed. The validity starts an hour back so that clock
// steps between processes cannot make a fresh certificate "not yet valid".
X509Ptr makeCert(EVP_PKEY* key, const char* commonName, X509* issuer, EVP_PKEY* issuerKey)
{
    X509Ptr cert(X509_new());
    if (!cert || !X509_set_version(cert.get(), 2))
        fail("certificate allocation");

    unsigned char serial[16];
    if (RAND_bytes(serial, sizeof serial) != 1)
        fail("serial number");
    serial[0] &= 0x7F; // positive
    BIGNUM* bn = BN_bin2bn(serial, sizeof serial, nullptr);
    const bool serialSet = bn && BN_to_ASN1_INTEGER(bn, X509_get_serialNumber(cert.get()));
    BN_free(bn);
    if (!serialSet)
        fail("serial number");

    if (!X509_gmtime_adj(X509_getm_notBefore(cert.get()), -3600) ||
        !X509_gmtime_adj(X509_getm_notAfter(cert.get()), 30L * 24 * 3600))
        fail("validity");

    X509_NAME* name = X509_get_subject_name(cert.get());
    addName(name, "O", "Zavmo test");
    addName(name, "CN", commonName);
    if (!X509_set_issuer_name(cert.get(), issuer ? X509_get_subject_name(issuer) : name))
        fail("issuer name");
    if (!X509_set_pubkey(cert.get(), key))
        fail("public key");

    X509* signer = issuer ? issuer : cert.get();
    if (issuer) {
        addExtension(cert.get(), signer, NID_basic_constraints, "critical,CA:FALSE");
        addExtension(cert.get(), signer, NID_key_usage, "critical,digitalSignature,keyEncipherment");
        addExtension(cert.get(), signer, NID_ext_key_usage, "serverAuth");
        addExtension(cert.get(), signer, NID_subject_alt_name, "IP:127.0.0.1,DNS:localhost");
    } else {
        addExtension(cert.get(), signer, NID_basic_constraints, "critical,CA:TRUE,pathlen:0");
        addExtension(cert.get(), signer, NID_key_usage, "critical,keyCertSign,cRLSign");
    }
    addExtension(cert.get(), signer, NID_subject_key_identifier, "hash");
    addExtension(cert.get(), signer, NID_authority_key_identifier, "keyid:always");

    if (!X509_sign(cert.get(), issuerKey ? issuerKey : key, EVP_sha256()))
        fail("signing");
    return cert;
}

} // namespace

Credentials makeCredentials()
{
    PkeyPtr caKey = makeKey();
    Credentials c;
    c.caCert = makeCert(caKey.get(), "Zavmo test CA", nullptr, nullptr);
    c.serverKey = makeKey();
    c.serverCert = makeCert(c.serverKey.get(), "127.0.0.1", c.caCert.get(), caKey.get());
    return c;
}

std::string toPem(X509* cert)
{
    std::unique_ptr<BIO, decltype(&BIO_free)> bio(BIO_new(BIO_s_mem()), &BIO_free);
    if (!bio || !PEM_write_bio_X509(bio.get(), cert))
        fail("PEM encoding");
    char* data = nullptr;
    const long size = BIO_get_mem_data(bio.get(), &data);
    return std::string(data, static_cast<size_t>(size));
}

} // namespace zavmo::sim
