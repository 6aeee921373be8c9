// Signing stand-in: the request-signing library the account client loads
// (exported with C linkage under the names the client calls).
//
// The auth code of a sign text is the lower-case hexadecimal HMAC-SHA256 of its
// bytes, keyed with the deployment's signing key: env ZAVMO_SIGN_KEY when it is
// set, else a fixed default. A key set to the empty text means "no key": then
// nothing can be signed.
#pragma once

#ifdef __cplusplus
extern "C" {
#endif

// Returns a new zero-terminated text (64 hexadecimal digits) that the caller
// releases with FreeAuthCode; null when signText is null, no key is configured
// or the digest cannot be computed.
__attribute__((visibility("default"))) char* GenerateAuthCode(const char* signText);

// Releases what GenerateAuthCode returned; null is ignored.
__attribute__((visibility("default"))) void FreeAuthCode(char* authCode);

#ifdef __cplusplus
}
#endif
