// A CDN-like tree of files under a folder that the test fills. Bodies stream
// from the file in blocks (never read whole), ranges are handled here rather
// than by httplib (whose 416 carries a malformed Content-Range), and the
// endpoint's own modes break a transfer the ways a real network does.

#include "endpoint.h"
#include "mode.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <memory>
#include <optional>

namespace zavmo::sim {

namespace {

constexpr size_t kBlock = 256 * 1024;

struct FileMode
{
    enum Kind { Normal, Throttle, CutAt, StallAt, NoLength, Full, Redirect, RangeFrom, ChunkedCut };
    Kind kind = Normal;
    long long value = 0; // bytes per second, or a file offset
    std::string location;
};

std::optional<long long> parseCount(const std::string& text, long long min)
{
    if (text.empty() || text.size() > 18 || text.find_first_not_of("0123456789") != std::string::npos)
        return std::nullopt;
    const long long v = std::strtoll(text.c_str(), nullptr, 10);
    if (v < min)
        return std::nullopt;
    return v;
}

std::optional<FileMode> parseFileMode(const std::string& text)
{
    const size_t colon = text.find(':');
    const std::string word = text.substr(0, colon);
    const std::string arg = colon == std::string::npos ? std::string() : text.substr(colon + 1);
    const bool hasArg = colon != std::string::npos;
    FileMode m;
    if (word == "success" && !hasArg)
        return m;
    if ((word == "nolength" || word == "full") && !hasArg) {
        m.kind = word == "nolength" ? FileMode::NoLength : FileMode::Full;
        return m;
    }
    if (word == "redirect" && !arg.empty()) {
        m.kind = FileMode::Redirect;
        m.location = arg;
        return m;
    }
    const auto n = parseCount(arg, word == "throttle" ? 1 : 0);
    if (!n)
        return std::nullopt;
    m.value = *n;
    if (word == "throttle")
        m.kind = FileMode::Throttle;
    else if (word == "cutat")
        m.kind = FileMode::CutAt;
    else if (word == "stallat")
        m.kind = FileMode::StallAt;
    else if (word == "rangefrom")
        m.kind = FileMode::RangeFrom;
    else if (word == "chunkedcut")
        m.kind = FileMode::ChunkedCut;
    else
        return std::nullopt;
    return m;
}

// The file a request path names below the prefix; nullopt for paths that
// would leave the root ("..", empty or "." segments, NUL).
std::optional<std::string> relativePath(const std::string& path, const std::string& prefix)
{
    const std::string rest = path.substr(prefix.size());
    if (rest.empty() || rest.find('\0') != std::string::npos)
        return std::nullopt;
    size_t start = 0;
    for (;;) {
        const size_t slash = rest.find('/', start);
        const std::string segment = rest.substr(start, slash - start);
        if (segment.empty() || segment == "." || segment == "..")
            return std::nullopt;
        if (slash == std::string::npos)
            return rest;
        start = slash + 1;
    }
}

struct ByteRange
{
    long long first = 0;
    long long last = 0; // inclusive
};

enum class RangeResult { None, Satisfiable, Unsatisfiable };

// One range of "bytes=A-", "bytes=A-B" or "bytes=-N". Lists of ranges and
// texts that do not parse are ignored (the whole file is sent), as servers do.
RangeResult parseRange(const std::string& header, long long size, ByteRange& out)
{
    const std::string unit = "bytes=";
    if (header.compare(0, unit.size(), unit) != 0)
        return RangeResult::None;
    const std::string range = header.substr(unit.size());
    const size_t dash = range.find('-');
    if (dash == std::string::npos || range.find(',') != std::string::npos)
        return RangeResult::None;
    const std::string a = range.substr(0, dash);
    const std::string b = range.substr(dash + 1);
    if (a.empty()) {
        const auto suffix = parseCount(b, 0);
        if (!suffix)
            return RangeResult::None;
        if (*suffix == 0 || size == 0)
            return RangeResult::Unsatisfiable;
        out.first = *suffix >= size ? 0 : size - *suffix;
        out.last = size - 1;
        return RangeResult::Satisfiable;
    }
    const auto first = parseCount(a, 0);
    const auto last = b.empty() ? std::optional<long long>(LLONG_MAX) : parseCount(b, 0);
    if (!first || !last || *last < *first)
        return RangeResult::None;
    if (*first >= size)
        return RangeResult::Unsatisfiable;
    out.first = *first;
    out.last = *last >= size ? size - 1 : *last;
    return RangeResult::Satisfiable;
}

class OpenFile
{
public:
    explicit OpenFile(int fd) : fd_(fd) {}
    ~OpenFile() { ::close(fd_); }
    OpenFile(const OpenFile&) = delete;
    OpenFile& operator=(const OpenFile&) = delete;

    // Reads up to n bytes at offset; false on a read error or an early end.
    bool read(long long offset, size_t n, std::string& out)
    {
        out.resize(n);
        size_t done = 0;
        while (done < n) {
            const ssize_t got = ::pread(fd_, &out[done], n - done, static_cast<off_t>(offset + done));
            if (got < 0 && errno == EINTR)
                continue;
            if (got <= 0)
                return false;
            done += static_cast<size_t>(got);
        }
        return true;
    }

private:
    int fd_;
};

// Writes the file's bytes [from, to) a block at a time, applying the mode;
// false ends the connection without the rest of the body.
class BodyWriter
{
public:
    BodyWriter(std::shared_ptr<OpenFile> file, long long from, long long to, FileMode mode)
        : file_(std::move(file)), from_(from), to_(to), mode_(std::move(mode)), start_(std::chrono::steady_clock::now())
    {
    }

    // position: bytes of this body already written.
    bool write(long long position, httplib::DataSink& sink)
    {
        const long long offset = from_ + position;
        if (offset >= to_) {
            // Only a body without a length gets here: the closed connection
            // is its end (httplib would keep it open for the next request).
            return false;
        }
        long long end = std::min<long long>(to_, offset + static_cast<long long>(kBlock));
        // A body that starts before the offset (or any body, for offset 0)
        // breaks there; one resuming at or after it goes through.
        if ((mode_.kind == FileMode::CutAt || mode_.kind == FileMode::StallAt || mode_.kind == FileMode::ChunkedCut) &&
            (from_ < mode_.value || mode_.value == 0)) {
            if (offset >= mode_.value) {
                // A stall holds the connection open until the test is done
                // with it; either way the rest of the body never comes.
                if (mode_.kind == FileMode::StallAt)
                    holdReply(kStallMs);
                return false;
            }
            end = std::min(end, mode_.value);
        }
        if (mode_.kind == FileMode::Throttle) {
            end = std::min(end, offset + std::max<long long>(1024, mode_.value / 20));
            // Sends no faster than the rate averaged since the start.
            const long long dueMs = position * 1000 / mode_.value;
            const long long elapsedMs =
                std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start_)
                    .count();
            if (dueMs > elapsedMs && !holdReply(static_cast<int>(std::min<long long>(dueMs - elapsedMs, 1000))))
                return false;
        }
        if (!file_->read(offset, static_cast<size_t>(end - offset), buffer_))
            return false;
        return sink.write(buffer_.data(), buffer_.size());
    }

private:
    std::shared_ptr<OpenFile> file_;
    long long from_;
    long long to_;
    FileMode mode_;
    std::chrono::steady_clock::time_point start_;
    std::string buffer_;
};

void replyFile(const std::string& prefix, const std::string& root, const httplib::Request& req,
               const Json::Value& record, httplib::Response& res)
{
    // httplib would cut the reply to a requested range by itself (after the
    // endpoint, and wrongly for the failure modes); ranges are ours.
    const_cast<httplib::Request&>(req).ranges.clear();

    const auto mode = parseFileMode(record["mode"].asString());
    const FileMode fileMode = mode ? *mode : FileMode{};
    if (fileMode.kind == FileMode::Redirect) {
        res.status = 302;
        res.set_header("Location", fileMode.location);
        return;
    }

    const auto relative = relativePath(req.path, prefix);
    int fd = -1;
    struct stat st
    {
    };
    if (relative) {
        fd = ::open((root + "/" + *relative).c_str(), O_RDONLY | O_CLOEXEC);
        if (fd >= 0 && (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))) {
            ::close(fd);
            fd = -1;
        }
    }
    if (fd < 0) {
        res.status = 404;
        res.set_content("not found\n", "text/plain");
        return;
    }
    auto file = std::make_shared<OpenFile>(fd);
    const long long size = st.st_size;

    long long from = 0, to = size;
    res.status = 200;
    res.set_header("Accept-Ranges", "bytes");
    ByteRange range;
    const RangeResult ranged =
        fileMode.kind == FileMode::Full ? RangeResult::None : parseRange(req.get_header_value("Range"), size, range);
    if (ranged == RangeResult::Unsatisfiable) {
        res.status = 416;
        res.set_header("Content-Range", "bytes */" + std::to_string(size));
        res.set_content("range not satisfiable\n", "text/plain");
        return;
    }
    if (ranged == RangeResult::Satisfiable) {
        res.status = 206;
        if (fileMode.kind == FileMode::RangeFrom && fileMode.value < size)
            range.first = fileMode.value;
        from = range.first;
        to = range.last + 1;
        res.set_header("Content-Range", "bytes " + std::to_string(range.first) + "-" + std::to_string(range.last) +
                                            "/" + std::to_string(size));
    }

    auto writer = std::make_shared<BodyWriter>(file, from, to, fileMode);
    const char* type = "application/octet-stream";
    if (fileMode.kind == FileMode::NoLength) {
        res.set_header("Connection", "close");
        res.set_content_provider(type, [writer](size_t offset, httplib::DataSink& sink) {
            return writer->write(static_cast<long long>(offset), sink);
        });
        return;
    }
    if (to == from) {
        res.set_content("", type);
        return;
    }
    if (fileMode.kind == FileMode::ChunkedCut) {
        // Both framings: the length announces the whole body, the chunks end
        // it early (the chunks decide, as HTTP/1.1 says).
        res.set_header("Content-Length", std::to_string(to - from));
        const long long end = std::max(from, std::min(to, fileMode.value));
        res.set_chunked_content_provider(type, [writer, from, end](size_t offset, httplib::DataSink& sink) {
            if (from + static_cast<long long>(offset) >= end) {
                sink.done();
                return true;
            }
            return writer->write(static_cast<long long>(offset), sink);
        });
        return;
    }
    res.set_content_provider(static_cast<size_t>(to - from), type,
                             [writer](size_t offset, size_t, httplib::DataSink& sink) {
                                 return writer->write(static_cast<long long>(offset), sink);
                             });
}

} // namespace

Endpoint fileTree(std::string name, std::string prefix, std::string root)
{
    Endpoint e;
    e.name = std::move(name);
    e.path = prefix;
    e.pathIsPrefix = true;
    e.methods = {"GET"};
    e.acceptsMode = [](const std::string& mode) { return parseFileMode(mode).has_value(); };
    e.decode = [prefix](const httplib::Request& req, Json::Value& record) {
        const auto relative = relativePath(req.path, prefix);
        record["file"] = relative ? *relative : std::string();
    };
    e.reply = [prefix, root](const httplib::Request& req, const Json::Value& record, httplib::Response& res) {
        replyFile(prefix, root, req, record, res);
    };
    return e;
}

} // namespace zavmo::sim
