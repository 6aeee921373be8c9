#pragma once
// A throw-away certificate authority and the server certificate it signs for
// 127.0.0.1, made with the OpenSSL API at every start (EC P-256, SHA-256).

#include <openssl/evp.h>
#include <openssl/x509.h>

#include <memory>
#include <string>

namespace zavmo::sim {

struct X509Deleter
{
    void operator()(X509* x) const { X509_free(x); }
};
struct PkeyDeleter
{
    void operator()(EVP_PKEY* k) const { EVP_PKEY_free(k); }
};
using X509Ptr = std::unique_ptr<X509, X509Deleter>;
using PkeyPtr = std::unique_ptr<EVP_PKEY, PkeyDeleter>;

struct Credentials
{
    X509Ptr caCert;
    X509Ptr serverCert; // subjectAltName IP:127.0.0.1, DNS:localhost
    PkeyPtr serverKey;
};

// Throws std::runtime_error with OpenSSL's reason when a step fails.
Credentials makeCredentials();

std::string toPem(X509* cert);

} // namespace zavmo::sim
