// quv_bench: QuvAES on the AES instructions and on its tables against
// OpenSSL with its default settings (AES-256-ECB, 64 MiB), and frames per
// second through QuvSocketConnection's receive path, plain and encrypted,
// against a bare Asio read loop on the same loopback socket pair.

#include "quv/QuvAES.h"
#include "quv/QuvConnection.h"
#include "quv/QuvPacket.h"

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/read.hpp>
#include <boost/asio/write.hpp>
#include <openssl/crypto.h>
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

struct Rates
{
    double encrypt;
    double decrypt;
};

void printRates(const char* name, Rates r)
{
    std::printf("  %-24s %9.1f MB/s encrypt %9.1f MB/s decrypt\n", name, r.encrypt, r.decrypt);
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
    std::vector<uint8_t> sslOut(kAesBytes), sslBack(kAesBytes);

    EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
    int outLen = 0;
    EVP_EncryptInit_ex(ctx, EVP_aes_256_ecb(), nullptr, key, nullptr);
    EVP_CIPHER_CTX_set_padding(ctx, 0);
    double sslEnc = bestOf(kAesRepeats, [&] {
        EVP_EncryptUpdate(ctx, sslOut.data(), &outLen, plain.data(), static_cast<int>(kAesBytes));
    });
    EVP_DecryptInit_ex(ctx, EVP_aes_256_ecb(), nullptr, key, nullptr);
    EVP_CIPHER_CTX_set_padding(ctx, 0);
    double sslDec = bestOf(kAesRepeats, [&] {
        EVP_DecryptUpdate(ctx, sslBack.data(), &outLen, sslOut.data(), static_cast<int>(kAesBytes));
    });
    EVP_CIPHER_CTX_free(ctx);
    const Rates ssl{mbPerSecond(kAesBytes, sslEnc), mbPerSecond(kAesBytes, sslDec)};

    // Each path encrypts and decrypts the same data; both must match OpenSSL.
    QuvAES aes(key, sizeof key);
    std::vector<uint8_t> out(kAesBytes), back(kAesBytes);
    auto run = [&](bool hardware, bool& same) {
        QuvAES::SetHardwareAllowed(hardware);
        double enc = bestOf(kAesRepeats, [&] { aes.Encrypt(out.data(), plain.data(), kAesBytes); });
        double dec = bestOf(kAesRepeats, [&] { aes.Decrypt(back.data(), out.data(), kAesBytes); });
        same = out == sslOut && back == plain;
        return Rates{mbPerSecond(kAesBytes, enc), mbPerSecond(kAesBytes, dec)};
    };
    bool hardwareSame = true;
    bool tablesSame = true;
    Rates hardware{0, 0};
    if (QuvAES::HardwareAvailable())
        hardware = run(true, hardwareSame);
    const Rates tables = run(false, tablesSame);
    QuvAES::SetHardwareAllowed(true);

    std::printf("AES-256-ECB, %zu MiB, best of %d\n", kAesBytes >> 20, kAesRepeats);
    if (QuvAES::HardwareAvailable())
        printRates("QuvAES (AES-NI)", hardware);
    else
        std::printf("  %-24s not available on this processor\n", "QuvAES (AES-NI)");
    printRates("QuvAES (tables)", tables);
    printRates("OpenSSL (default)", ssl);
    if (QuvAES::HardwareAvailable())
        std::printf("  ratio AES-NI/OpenSSL     %9.2f encrypt      %9.2f decrypt\n", hardware.encrypt / ssl.encrypt,
                    hardware.decrypt / ssl.decrypt);
    std::printf("  ratio tables/OpenSSL     %9.2f encrypt      %9.2f decrypt\n", tables.encrypt / ssl.encrypt,
                tables.decrypt / ssl.decrypt);
    const bool same = hardwareSame && tablesSame && sslBack == plain;
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

// Loopback figures vary from run to run: the better of two.
Result bestReceive(size_t messageSize, bool encrypted)
{
    Result a = benchReceive(messageSize, encrypted);
    Result b = benchReceive(messageSize, encrypted);
    return {std::max(a.bareFps, b.bareFps), std::max(a.quvFps, b.quvFps)};
}

bool benchReceivePath()
{
    std::printf("Receive path, loopback TCP, frames per second (higher is better), best of 2\n");
    std::printf("  %8s %12s %12s %12s %12s %9s %9s %10s\n", "message", "bare Asio", "Quv plain", "Quv AES-NI",
                "Quv tables", "NI/plain", "tbl/plain", "NI MB/s");
    const size_t sizes[] = {64, 256, 1024, 4096, 16384, 65536};
    for (size_t size : sizes) {
        Result plain = bestReceive(size, false);
        Result hardware{0, 0};
        if (QuvAES::HardwareAvailable())
            hardware = bestReceive(size, true);
        QuvAES::SetHardwareAllowed(false);
        Result tables = bestReceive(size, true);
        QuvAES::SetHardwareAllowed(true);
        std::printf("  %8zu %12.0f %12.0f %12.0f %12.0f %9.2f %9.2f %10.1f\n", size, plain.bareFps, plain.quvFps,
                    hardware.quvFps, tables.quvFps, hardware.quvFps / plain.quvFps, tables.quvFps / plain.quvFps,
                    hardware.quvFps * size / 1e6);
    }
    return true;
}

} // namespace

int main()
{
    std::printf("AES-NI %s; OpenSSL %s\n\n", QuvAES::HardwareAvailable() ? "available" : "not available",
                OpenSSL_version(OPENSSL_VERSION));
    bool ok = benchAes();
    benchReceivePath();
    return ok ? 0 : 1;
}
