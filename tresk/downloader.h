#pragma once
// The launcher's resumable downloader: a GET whose body goes straight into a
// file named after the address's last segment, with resume by byte range,
// retries, progress, cancel and an inactivity limit. The read size adapts to
// the measured speed (64 KiB growing by 4 KiB per speed record, up to 2 MiB).
//
// Only the address's host and path are used: the port is 443 (TLS) for a
// secure attempt and 80 otherwise (the query is not sent, but stays in the
// stored file name).

#include <cstdint>
#include <string>

namespace tresk {

constexpr size_t kDownloadPathCapacity = 256; // characters, terminator included

struct DownloadParams
{
    std::u16string url;
    std::u16string folder;       // created with its parents when missing
    char16_t* outPath = nullptr; // optional: kDownloadPathCapacity characters
    uint32_t timeoutMs = 0;      // inactivity limit; 0: 60000
    uint32_t chunkSize = 0;      // first read size; 0: 65536
    // After every block written: bytes done and total (both counting a
    // resumed file's first part).
    void (*progress)(uint64_t done, uint64_t total, uintptr_t userData) = nullptr;
    // Polled while waiting; non-zero cancels.
    int (*cancel)(uintptr_t userData) = nullptr;
    uintptr_t userData = 0;
    bool retry = false;
    int32_t retryCount = 0; // attempts when retry is set; 0: unlimited
    bool secure = false;
};

// Runs the attempts (later ones resume) and copies the stored path into
// outPath. True when the whole body was stored.
bool downloadFile(DownloadParams params);
// downloadFile over TLS first, then once more over plain HTTP.
bool downloadPreferSecure(DownloadParams params);
// One attempt. A partial file stays for a later resuming attempt. A reply
// that does not fit the request fails: a status other than 200 or 206, no
// Content-Length (or 0), a Content-Range that is not the requested one. A 200
// reply to a resumed request starts the file over. Certificate errors fail
// the attempt (they are never ignored).
bool downloadOnce(const DownloadParams& params, bool resume, bool* cancelled);

// Opens (creating the folder tree) the file that stores the address's body;
// path receives folder + "/" + name (kDownloadPathCapacity characters). The
// name must be a plain file name: empty, ".", ".." and names holding "/", "\"
// or NUL are refused, as are paths that do not fit. Returns the descriptor or
// -1. Resuming keeps an existing file; otherwise it is truncated.
int openDownloadTarget(const std::u16string& url, const std::u16string& folder, char16_t* path, bool resume,
                       bool* existed);

} // namespace tresk
