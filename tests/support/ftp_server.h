#pragma once
// Starts an FTP server (pyftpdlib, tests/support/ftp_server.py) on 127.0.0.1
// and an ephemeral port for one test, serving a fresh folder under $TMPDIR.
// The destructor stops it (by its recorded pid) and removes the folder; the
// server also ends by itself when the test process is gone.
//
//   zavmo::test::FtpServer ftp({.cutAfter = 300000});  // throws when it does not start
//   upload to "ftp://127.0.0.1/x/file" on ftp.port() as ftp.credential()
//   ftp.root() + "/x/file" is what arrived; ftp.log() what the server did.

#include <sys/types.h>

#include <string>

namespace zavmo::test {

class FtpServer
{
public:
    struct Options
    {
        std::string user = "crashup";
        std::string password = "Wq7vLp2sXk9dRm4T";
        // Cut the first upload's data connection once this many bytes of it
        // reached the file (-1: never).
        long long cutAfter = -1;
        // Stop reading the first upload's data connection once this many
        // bytes of it reached the file (-1: never).
        long long stallAfter = -1;
        // Answer SIZE with this error code (0: answer normally).
        int sizeError = 0;
        // Refuse this many first STOR commands (452).
        int refuseStor = 0;
        // Keep only this many bytes of the first upload, yet report it
        // complete (-1: keep all).
        long long keepOnly = -1;
        int readyTimeoutMs = 10000;
    };

    FtpServer();
    explicit FtpServer(const Options& options);
    ~FtpServer();
    FtpServer(const FtpServer&) = delete;
    FtpServer& operator=(const FtpServer&) = delete;

    int port() const { return port_; }
    // "user:password".
    std::string credential() const { return options_.user + ":" + options_.password; }
    // The served folder: "/" of the FTP server.
    const std::string& root() const { return root_; }
    // The server's log (one line per command, transfers with byte counts).
    std::string log() const;

    // Stops the server: SIGTERM, then SIGKILL when it does not end within
    // the time-out.
    void stop(int timeoutMs = 3000);

private:
    Options options_;
    std::string folder_; // holds root/, the log and the port file
    std::string root_;
    pid_t pid_ = -1;
    int port_ = 0;
};

} // namespace zavmo::test
