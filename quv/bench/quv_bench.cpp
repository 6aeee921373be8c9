// quv_bench: QuvAES against OpenSSL's software AES (AES-256-ECB, 64 MiB), and
// frames per second through QuvSocketConnection's receive path against a
// bare Asio read loop on the same loopback socket pair.
//
// OpenSSL must run without AES-NI for a fair comparison, so the program
// re-executes itself with OPENSSL_ia32cap="~0x200000200000000" (AES-NI and
// PCLMULQDQ masked) when that variable is not set; OpenSSL reads it when the
// library loads.

#include "quv/QuvAES.h"
#include "quv/QuvConnection.h"
#include "quv/QuvPacket.h"

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/read.hpp>
#include <boost/asio/write.hpp>
#include <openssl/evp.h>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using boost::asio::ip::tcp;

constexpr size_t kAesBytes = 64u << 20;
constexpr int kAesRepeats = 5;

double seconds(Clock::time_point a, Clock::time_point b)
{
    return std::chrono::duration<double>(b - a).count();
}

double mbPerSecond(size_t bytes, double s)
{
    return bytes / s / 1e6;
}

double bestOf(int repeats, const std::function<void()>& run)
{
    double best = 1e30;
    for (int i = 0; i < repeats; ++i) {
        auto start = Clock::now();
        run();
        best = std::min(best, seconds(start, Clock::now()));
    }
    return best;
}

bool benchAes()
{
    uint8_t key[32];
    for (int i = 0; i < 32; ++i)
        key[i] = static_cast<uint8_t>(i * 7 + 3);
    std::vector<uint8_t> plain(kAesBytes);
    uint32_t x = 12345;
    for (auto& b : plain) {
        x = x * 1103515245u + 12345u;
        b = static_cast<uint8_t>(x >> 24);
    }
    std::vector<uint8_t> quvOut(kAesBytes), sslOut(kAesBytes);

    QuvAES aes(key, sizeof key);
    double quvEnc = bestOf(kAesRepeats, [&] { aes.Encrypt(quvOut.data(), plain.data(), kAesBytes); });
    std::vector<uint8_t> back(kAesBytes);
    double quvDec = bestOf(kAesRepeats, [&] { aes.Decrypt(back.data(), quvOut.data(), kAesBytes); });

    EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
    int outLen = 0;
    EVP_EncryptInit_ex(ctx, EVP_aes_256_ecb(), nullptr, key, nullptr);
    EVP_CIPHER_CTX_set_padding(ctx, 0);
    double sslEnc = bestOf(kAesRepeats, [&] {
        EVP_EncryptUpdate(ctx, sslOut.data(), &outLen, plain.data(), static_cast<int>(kAesBytes));
    });
    EVP_DecryptInit_ex(ctx, EVP_aes_256_ecb(), nullptr, key, nullptr);
    EVP_CIPHER_CTX_set_padding(ctx, 0);
    std::vector<uint8_t> sslBack(kAesBytes);
    double sslDec = bestOf(kAesRepeats, [&] {
        EVP_DecryptUpdate(ctx, sslBack.data(), &outLen, sslOut.data(), static_cast<int>(kAesBytes));
    });
    EVP_CIPHER_CTX_free(ctx);

    bool same = quvOut == sslOut && back == plain && sslBack == plain;
    std::printf("AES-256-ECB, %zu MiB, best of %d\n", kAesBytes >> 20, kAesRepeats);
    std::printf("  %-22s %9.1f MB/s encrypt %9.1f MB/s decrypt\n", "QuvAES", mbPerSecond(kAesBytes, quvEnc),
                mbPerSecond(kAesBytes, quvDec));
    std::printf("  %-22s %9.1f MB/s encrypt %9.1f MB/s decrypt\n", "OpenSSL (software)", mbPerSecond(kAesBytes, sslEnc),
                mbPerSecond(kAesBytes, sslDec));
    std::printf("  ratio QuvAES/OpenSSL    %9.2f encrypt      %9.2f decrypt\n", sslEnc / quvEnc, sslDec / quvDec);
    std::printf("  outputs %s\n\n", same ? "identical" : "DIFFER");
    return same;
}

// Connection's diagnostics on teardown (cancelled reads) would clutter the table.
class QuietStdout
{
public:
    QuietStdout()
    {
        std::fflush(stdout);
        m_saved = dup(1);
        int null = open("/dev/null", O_WRONLY);
        dup2(null, 1);
        close(null);
    }
    ~QuietStdout()
    {
        std::fflush(stdout);
        dup2(m_saved, 1);
        close(m_saved);
    }

private:
    int m_saved;
};

struct Result
{
    double bareFps;
    double quvFps;
};

Result benchReceive(size_t messageSize, bool encrypted)
{
    std::vector<uint8_t> message(messageSize, 0x5A);
    uint32_t s = static_cast<uint32_t>(messageSize);
    std::memcpy(message.data(), &s, 4);
    message[kQuvEncryptedFlagOffset] = encrypted ? 1 : 0;
    CQuvTransmitData* frame = BuildTransmitData(message.data());
    const size_t frameSize = static_cast<size_t>(frame->Size());
    const size_t frames = std::max<size_t>((64u << 20) / frameSize, 4000);
    // About 1 MiB of whole frames per write.
    const size_t perChunk = std::max<size_t>(1, (1u << 20) / frameSize);
    std::vector<uint8_t> chunk;
    for (size_t i = 0; i < perChunk; ++i)
        chunk.insert(chunk.end(), frame->Data(), frame->Data() + frameSize);
    frame->Release();

    boost::asio::io_context io;
    tcp::acceptor acceptor(io, tcp::endpoint(boost::asio::ip::address_v4::loopback(), 0));
    tcp::socket client(io);
    client.connect(acceptor.local_endpoint());
    tcp::socket server(io);
    acceptor.accept(server);

    // The sender waits for a go byte before each run: two bare runs (the
    // first warms the connection up), then the Quv run.
    constexpr int kBareRuns = 2;
    std::thread sender([&] {
        for (int run = 0; run < kBareRuns + 1; ++run) {
            uint8_t go;
            boost::asio::read(client, boost::asio::buffer(&go, 1));
            size_t left = frames;
            while (left > 0) {
                size_t n = std::min(left, perChunk);
                boost::asio::write(client, boost::asio::buffer(chunk.data(), n * frameSize));
                left -= n;
            }
        }
    });
    const uint8_t go = 1;

    // Bare Asio: read blocks of the same size and count bytes.
    const size_t totalBytes = frames * frameSize;
    std::vector<uint8_t> block(kQuvReadBlockSize);
    size_t got;
    std::function<void(const boost::system::error_code&, size_t)> onRead = [&](const boost::system::error_code& e,
                                                                               size_t n) {
        got += n;
        if (!e && got < totalBytes)
            server.async_read_some(boost::asio::buffer(block), onRead);
    };
    double bare = 1e30;
    Clock::time_point start;
    for (int run = 0; run < kBareRuns; ++run) {
        got = 0;
        io.restart();
        start = Clock::now();
        boost::asio::write(server, boost::asio::buffer(&go, 1));
        server.async_read_some(boost::asio::buffer(block), onRead);
        io.run();
        bare = std::min(bare, seconds(start, Clock::now()));
    }

    // The Quv receive path on the same socket.
    io.restart();
    size_t delivered = 0;
    QuvSocketConnection* conn = new QuvSocketConnection;
    conn->SetMessageCallback([&](const uint8_t* m) {
        if (QuvMessageLength(m) == s && ++delivered == frames)
            io.stop();
    });
    start = Clock::now();
    boost::asio::write(server, boost::asio::buffer(&go, 1));
    conn->Attach(std::move(server));
    conn->StartRecv();
    io.run();
    double quv = seconds(start, Clock::now());
    sender.join();
    {
        QuietStdout quiet;
        conn->Close();
        io.restart();
        io.run();
    }
    conn->Release();
    if (delivered != frames)
        std::printf("  delivered %zu of %zu frames\n", delivered, frames);
    return {frames / bare, frames / quv};
}

bool benchReceivePath()
{
    std::printf("Receive path, loopback TCP, frames per second (higher is better)\n");
    std::printf("  %8s %6s %14s %14s %8s %12s\n", "message", "mode", "bare Asio", "Quv", "Quv/bare", "Quv MB/s");
    const size_t sizes[] = {64, 256, 1024, 4096, 16384, 65536};
    for (size_t size : sizes) {
        for (bool encrypted : {false, true}) {
            Result r = benchReceive(size, encrypted);
            std::printf("  %8zu %6s %14.0f %14.0f %8.2f %12.1f\n", size, encrypted ? "aes" : "plain", r.bareFps,
                        r.quvFps, r.quvFps / r.bareFps, r.quvFps * size / 1e6);
        }
    }
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    (void)argc;
    if (!std::getenv("OPENSSL_ia32cap")) {
        setenv("OPENSSL_ia32cap", "~0x200000200000000", 1);
        execv("/proc/self/exe", argv);
        std::perror("quv_bench: re-exec");
        return 1;
    }
    std::printf("OPENSSL_ia32cap=%s\n\n", std::getenv("OPENSSL_ia32cap"));
    bool ok = benchAes();
    benchReceivePath();
    return ok ? 0 : 1;
}
