#pragma once
// Uploads one local file to an FTP URL with libcurl, resuming a broken
// transfer by appending what the server does not hold yet.
//
// One process-wide instance initialises libcurl once (GetInstance) and keeps
// it until ReleaseInstance or the end of the process. GetInstance and
// ReleaseInstance are meant for one thread; uploads on different threads
// each use their own easy handle.
//
// How an upload ends:
// - 0: the server holds a file of the local file's size. When a size probe
//   can answer, success is judged by the remote size, never by a transfer's
//   result alone (an append that libcurl turned into something else would
//   otherwise report a cut upload as success).
// - -1: nothing could be set up (libcurl's global init failed, no easy
//   handle, the local file cannot be opened or sized, an option was refused).
// - otherwise the libcurl result of the last failed step; its text goes to
//   standard error.
//
// Attempt 0 sends the whole file (STOR). Each later attempt first asks the
// server for the file's size when the server accepted this run's STOR or
// APPE; with a size below the local one it appends the rest (APPE), with no
// size, a larger size, or no STOR accepted yet it sends the whole file again.

#include <cstddef>
#include <cstdint>

class CQuvCurLib
{
public:
    static CQuvCurLib* GetInstance();
    static void ReleaseInstance();

    // url: UTF-8, the remote file (folder and name); missing folders are
    // created. localPath: UTF-8, as the file system takes it (no peer sees
    // it, and a code page could not hold every name). credential: "user:password" (UTF-8). port: overrides the URL's
    // port unless 0. timeoutSeconds: the time-out for each server response
    // and the low-speed window (below 1024 bytes/s); 0 sets neither. A
    // connection attempt is bounded by libcurl's own 300 s. tries: transfer
    // attempts; with none the result is 52 (0 for an empty local file).
    int FtpUpload(const char* url, const char* localPath, const char* credential, int port, int timeoutSeconds,
                  int tries);

    // libcurl callbacks, exposed for tests.
    // Header callback: a "Content-Length: N" line (64-bit N) sets the remote
    // size that `remote` (a RemoteSize*) points to. Never stops the transfer.
    struct RemoteSize
    {
        bool known = false;
        int64_t value = 0;
    };
    static size_t OnFtpHeader(char* line, size_t size, size_t count, void* remote);
    // Read callback over a FILE*: aborts the transfer on a read error.
    static size_t OnFtpRead(char* buffer, size_t size, size_t count, void* file);

    CQuvCurLib(const CQuvCurLib&) = delete;
    CQuvCurLib& operator=(const CQuvCurLib&) = delete;

private:
    CQuvCurLib();
    ~CQuvCurLib();

    int m_initResult;
};
