#include "downloader.h"

#include "widetext.h"

#include <platform/codepage.h>
#include <platform/fileio.h>
#include <platform/hosts.h>
#include <platform/http.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>
#include <filesystem>

namespace tresk {

namespace {

using Clock = std::chrono::steady_clock;

constexpr uint32_t kMaxChunk = 0x200000;
constexpr uint32_t kChunkStep = 4096;

std::string utf8(const std::u16string& text)
{
    std::string bytes;
    for (char16_t c : text) {
        bytes.push_back(static_cast<char>(c & 0xff));
        bytes.push_back(static_cast<char>(c >> 8));
    }
    std::string out;
    platform::codepage::convert("UTF-16LE", "UTF-8", bytes, out, "?");
    return out;
}

// "bytes FIRST-LAST/SIZE"; false when it does not parse.
bool parseContentRange(const std::string& value, long long& first, long long& last)
{
    long long size = 0;
    int used = 0;
    if (std::sscanf(value.c_str(), "bytes %lld-%lld/%lld%n", &first, &last, &size, &used) == 3 &&
        used == static_cast<int>(value.size()))
        return true;
    used = 0;
    return std::sscanf(value.c_str(), "bytes %lld-%lld/*%n", &first, &last, &used) == 2 &&
           used == static_cast<int>(value.size());
}

// The state of one attempt, fed by the HTTP layer's callbacks. The body goes
// to the file as it arrives; WinHTTP's reads survive as blocks of
// the current read size that pace the progress calls and the read size's
// growth.
class Attempt
{
public:
    Attempt(const DownloadParams& params, int fd, long long offset) : params_(params), fd_(fd), offset_(offset)
    {
        chunk_ = params.chunkSize;
    }

    bool onHeaders(long status, const platform::http::Headers& headers)
    {
        if (status != 200 && status != 206)
            return false;
        const std::string length = platform::http::headerValue(headers, "Content-Length");
        if (length.empty() || length.find_first_not_of("0123456789") != std::string::npos || length.size() > 18)
            return false;
        total_ = std::stoll(length);
        if (total_ <= 0)
            return false;
        if (status == 206) {
            long long first = 0, last = 0;
            if (!parseContentRange(platform::http::headerValue(headers, "Content-Range"), first, last) ||
                first != offset_ || last - first + 1 != total_)
                return false;
        } else if (offset_ > 0) {
            // The whole file instead of its rest: start it over rather than
            // append it behind the part already here.
            if (::ftruncate(fd_, 0) != 0 || ::lseek(fd_, 0, SEEK_SET) != 0)
                return false;
            offset_ = 0;
        }
        blockStart_ = Clock::now();
        return true;
    }

    bool onData(const char* data, size_t size)
    {
        if (static_cast<long long>(size) > total_ - written_)
            return false; // more than the announced length
        if (!platform::fileio::writeAll(fd_, data, size))
            return false;
        written_ += static_cast<long long>(size);
        while (written_ - done_ >= std::min<long long>(chunk_, total_ - done_) && done_ < total_)
            completeBlock(std::min<long long>(chunk_, total_ - done_));
        return true;
    }

    bool onPoll()
    {
        if (params_.cancel && params_.cancel(params_.userData) != 0) {
            cancelled_ = true;
            return false;
        }
        return true;
    }

    // Reports what was stored of an unfinished block (a later attempt
    // resumes behind it).
    void finish()
    {
        if (written_ > done_)
            completeBlock(written_ - done_);
    }

    bool complete() const { return total_ > 0 && done_ >= total_; }
    bool cancelled() const { return cancelled_; }

private:
    void completeBlock(long long bytes)
    {
        const auto now = Clock::now();
        const long long elapsedMs =
            std::max<long long>(1, std::chrono::duration_cast<std::chrono::milliseconds>(now - blockStart_).count());
        done_ += bytes;
        if (params_.progress)
            params_.progress(static_cast<uint64_t>(done_ + offset_), static_cast<uint64_t>(total_ + offset_),
                             params_.userData);
        const long long speed = bytes / elapsedMs;
        if (speed > bestSpeed_) {
            bestSpeed_ = speed;
            if (chunk_ < kMaxChunk)
                chunk_ += kChunkStep;
        }
        blockStart_ = now;
    }

    const DownloadParams& params_;
    int fd_;
    long long offset_;
    long long total_ = 0;
    long long written_ = 0; // bytes of the body in the file
    long long done_ = 0;    // bytes of the completed blocks
    long long bestSpeed_ = 0;
    uint32_t chunk_;
    Clock::time_point blockStart_;
    bool cancelled_ = false;
};

// folder + "/" + the address's last segment; false when that segment is no
// plain file name or the path does not fit the callers' buffers.
bool storedPath(const std::u16string& url, const std::u16string& folder, std::u16string& full)
{
    const size_t slash = url.rfind(u'/');
    const std::u16string name = slash == std::u16string::npos ? url : url.substr(slash + 1);
    if (name.empty() || name == u"." || name == u".." || name.find_first_of(u"/\\") != std::u16string::npos ||
        name.find(u'\0') != std::u16string::npos)
        return false;
    full = folder;
    if (!full.empty() && full.back() != u'/' && full.back() != u'\\')
        full += u'/';
    full += name;
    return full.size() < kDownloadPathCapacity;
}

// Creates the missing folders of a path, each 0700: the launcher's folders
// sit in the shared temporary folder.
void makeFolders(const std::string& path)
{
    for (size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
        const std::string part = path.substr(0, slash);
        if (!part.empty() && ::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST)
            return;
        if (slash == std::string::npos)
            return;
    }
}

void fillDefaults(DownloadParams& params)
{
    if (params.timeoutMs == 0)
        params.timeoutMs = 60000;
    if (params.chunkSize == 0)
        params.chunkSize = 65536;
}

void copyPath(const std::u16string& full, char16_t* path)
{
    std::copy(full.begin(), full.end(), path);
    path[full.size()] = 0;
}

} // namespace

int openDownloadTarget(const std::u16string& url, const std::u16string& folder, char16_t* path, bool resume,
                       bool* existed)
{
    if (existed)
        *existed = false;
    std::u16string full;
    if (!storedPath(url, folder, full))
        return -1;
    if (path)
        copyPath(full, path);

    const std::string folderPath = utf8(folder);
    std::error_code ec;
    if (!folderPath.empty() && !std::filesystem::is_directory(folderPath, ec))
        makeFolders(folderPath);
    const std::string filePath = utf8(full);
    struct stat st
    {
    };
    const bool there = ::lstat(filePath.c_str(), &st) == 0;
    if (existed)
        *existed = there;
    int flags = O_WRONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW;
    if (!(resume && there))
        flags |= O_TRUNC;
    return ::open(filePath.c_str(), flags, 0644);
}

bool downloadOnce(const DownloadParams& given, bool resume, bool* cancelled)
{
    DownloadParams params = given;
    fillDefaults(params);
    if (cancelled)
        *cancelled = false;
    // Host and path of the address; its scheme, port and query are not used.
    const std::string url = utf8(params.url);
    const size_t schemeEnd = url.find("://");
    const size_t hostStart = schemeEnd == std::string::npos ? 0 : schemeEnd + 3;
    const size_t pathStart = url.find_first_of("/?#", hostStart);
    std::string host, port;
    platform::hosts::splitHostPort(url.substr(hostStart, pathStart - hostStart), host, port);
    std::string path = pathStart == std::string::npos ? "/" : url.substr(pathStart);
    path = path.substr(0, path.find_first_of("?#"));
    if (host.empty() || host.find_first_of(" @/\\") != std::string::npos || path.empty() || path[0] != '/')
        return false;

    bool existed = false;
    const int fd = openDownloadTarget(params.url, params.folder, nullptr, resume, &existed);
    if (fd < 0)
        return false;
    long long offset = 0;
    platform::http::Request request;
    request.method = "GET";
    request.url = (params.secure ? "https://" : "http://") + host + path;
    if (resume && existed) {
        offset = ::lseek(fd, 0, SEEK_END);
        if (offset < 0) {
            ::close(fd);
            return false;
        }
        request.headers.push_back("Range:bytes=" + std::to_string(offset) + "-");
    }
    request.idleTimeoutMs = params.timeoutMs;
    request.connectTimeoutMs = params.timeoutMs;
    request.receiveBufferSize = 512 * 1024;

    Attempt attempt(params, fd, offset);
    platform::http::Callbacks callbacks;
    callbacks.onHeaders = [&](long status, const platform::http::Headers& headers) {
        return attempt.onHeaders(status, headers);
    };
    callbacks.onData = [&](const char* data, size_t size) { return attempt.onData(data, size); };
    callbacks.onPoll = [&] { return attempt.onPoll(); };
    const platform::http::Result result = platform::http::perform(request, callbacks);
    attempt.finish();
    const bool closed = ::close(fd) == 0;
    if (result.tlsFailure)
        std::printf("Tresk: secure download from %s failed: %s\n", host.c_str(), result.error.c_str());
    if (cancelled)
        *cancelled = attempt.cancelled();
    return result.outcome == platform::http::Outcome::Ok && closed && attempt.complete();
}

bool downloadFile(DownloadParams params)
{
    fillDefaults(params);
    bool ok = false;
    if (!params.retry) {
        ok = downloadOnce(params, false, nullptr);
    } else {
        const int32_t attempts = params.retryCount == 0 ? INT32_MAX : params.retryCount;
        bool cancelled = false;
        for (int32_t n = 0; n < attempts && !ok && !cancelled; ++n)
            ok = downloadOnce(params, n > 0, &cancelled);
    }
    std::u16string full;
    if (params.outPath && storedPath(params.url, params.folder, full))
        copyPath(full, params.outPath);
    return ok;
}

bool downloadPreferSecure(DownloadParams params)
{
    params.secure = true;
    if (downloadFile(params))
        return true;
    params.secure = false;
    return downloadFile(params);
}

} // namespace tresk
