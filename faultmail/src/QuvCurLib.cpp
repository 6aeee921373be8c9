#include "faultmail/QuvCurLib.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>

#include <curl/curl.h>

namespace {

CQuvCurLib* g_instance = nullptr;
std::mutex g_instanceMutex;

const long kLowSpeedLimit = 1024; // bytes per second

struct EasyDeleter
{
    void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};
struct FileCloser
{
    void operator()(FILE* file) const { std::fclose(file); }
};

// An option libcurl refused: the transfer cannot be set up.
struct OptionRefused
{
    CURLcode code;
};

bool startsWith(const char* data, size_t size, const char* prefix)
{
    const size_t n = std::strlen(prefix);
    return size >= n && std::memcmp(data, prefix, n) == 0;
}

// One upload: the handle, the local file and what the server told us.
class Upload
{
public:
    Upload(CURL* handle, FILE* file, int64_t localSize) : m_handle(handle), m_file(file), m_localSize(localSize) {}

    template <typename T> void set(CURLoption option, T value)
    {
        const CURLcode r = curl_easy_setopt(m_handle, option, value);
        if (r != CURLE_OK)
            throw OptionRefused{r};
    }

    void setOptions(const char* url, const char* credential, int port, int timeoutSeconds)
    {
        set(CURLOPT_URL, url);
        set(CURLOPT_USERPWD, credential);
        set(CURLOPT_PORT, long(port));
        if (timeoutSeconds != 0) {
            set(CURLOPT_FTP_RESPONSE_TIMEOUT, long(timeoutSeconds));
            set(CURLOPT_LOW_SPEED_LIMIT, kLowSpeedLimit);
            set(CURLOPT_LOW_SPEED_TIME, long(timeoutSeconds));
        }
        // The URL comes from a command line: nothing but FTP, no signals.
        set(CURLOPT_PROTOCOLS_STR, "ftp");
        set(CURLOPT_NOSIGNAL, 1L);
        set(CURLOPT_VERBOSE, 1L);
        set(CURLOPT_DEBUGFUNCTION, &Upload::onDebug);
        set(CURLOPT_DEBUGDATA, this);
        set(CURLOPT_HEADERFUNCTION, &CQuvCurLib::OnFtpHeader);
        set(CURLOPT_HEADERDATA, &m_remote);
        // Headers and anything a server might send back are not ours to print.
        set(CURLOPT_WRITEFUNCTION, &Upload::onWrite);
        set(CURLOPT_READFUNCTION, &CQuvCurLib::OnFtpRead);
        set(CURLOPT_READDATA, m_file);
        set(CURLOPT_SEEKFUNCTION, &Upload::onSeek);
        set(CURLOPT_SEEKDATA, this);
        set(CURLOPT_UPLOAD, 1L);
        set(CURLOPT_INFILESIZE_LARGE, curl_off_t(m_localSize));
        set(CURLOPT_FTP_CREATE_MISSING_DIRS, long(CURLFTP_CREATE_DIR));
    }

    CURLcode run(int tries)
    {
        if (tries <= 0)
            return m_localSize == 0 ? CURLE_OK : CURLE_GOT_NOTHING;
        CURLcode result = CURLE_GOT_NOTHING;
        for (int attempt = 0; result != CURLE_OK && attempt < tries; ++attempt) {
            int64_t from = 0;
            // Only a file this run began to send may be continued; anything
            // else of that name on the server is replaced.
            if (attempt > 0 && m_storSent) {
                result = probe();
                if (result != CURLE_OK)
                    continue;
                if (m_remote.known && m_remote.value == m_localSize)
                    break;
                if (m_remote.known && m_remote.value < m_localSize)
                    from = m_remote.value;
            }
            result = send(from);
            if (result == CURLE_OK)
                result = verify();
        }
        return result;
    }

private:
    // Asks the server for the remote file's size (SIZE); no size is not a
    // failure, a missing file ("550") included.
    CURLcode probe()
    {
        m_remote = CQuvCurLib::RemoteSize();
        set(CURLOPT_NOBODY, 1L);
        set(CURLOPT_HEADER, 1L);
        const CURLcode r = curl_easy_perform(m_handle);
        return r == CURLE_REMOTE_FILE_NOT_FOUND ? CURLE_OK : r;
    }

    // Sends the local file from `from` on: STOR from the start, APPE else.
    CURLcode send(int64_t from)
    {
        if (fseeko(m_file, off_t(from), SEEK_SET) != 0)
            return CURLE_READ_ERROR;
        m_base = from;
        set(CURLOPT_NOBODY, 0L);
        set(CURLOPT_HEADER, 0L);
        // libcurl 7.88 forgets the upload when NOBODY is switched off again:
        // without this the append would become a download reported as success.
        set(CURLOPT_UPLOAD, 1L);
        set(CURLOPT_APPEND, from > 0 ? 1L : 0L);
        set(CURLOPT_INFILESIZE_LARGE, curl_off_t(m_localSize - from));
        return curl_easy_perform(m_handle);
    }

    // A transfer reported success: the remote size decides, when known.
    CURLcode verify()
    {
        const CURLcode r = probe();
        if (r != CURLE_OK)
            return r;
        if (m_remote.known && m_remote.value != m_localSize)
            return CURLE_PARTIAL_FILE;
        return CURLE_OK;
    }

    static int onSeek(void* user, curl_off_t offset, int origin)
    {
        auto* self = static_cast<Upload*>(user);
        if (origin != SEEK_SET)
            return CURL_SEEKFUNC_CANTSEEK;
        return fseeko(self->m_file, off_t(self->m_base + offset), SEEK_SET) == 0 ? CURL_SEEKFUNC_OK
                                                                                 : CURL_SEEKFUNC_FAIL;
    }

    static size_t onWrite(char*, size_t size, size_t count, void*) { return size * count; }

    // libcurl's verbose lines go to standard error as curl prints them, with
    // the password masked. A STOR or APPE that the server accepted (125 or
    // 150: the data transfer begins) marks the remote file as ours; a refused
    // one leaves whatever lies there a stranger's.
    static int onDebug(CURL*, curl_infotype type, char* data, size_t size, void* user)
    {
        auto* self = static_cast<Upload*>(user);
        switch (type) {
        case CURLINFO_TEXT:
            std::fprintf(stderr, "* %.*s", int(size), data);
            break;
        case CURLINFO_HEADER_IN:
            if (self->m_storPending && (startsWith(data, size, "125") || startsWith(data, size, "150")))
                self->m_storSent = true;
            self->m_storPending = false;
            std::fprintf(stderr, "< %.*s", int(size), data);
            break;
        case CURLINFO_HEADER_OUT:
            self->m_storPending = startsWith(data, size, "STOR ") || startsWith(data, size, "APPE ");
            if (startsWith(data, size, "PASS "))
                std::fprintf(stderr, "> PASS ****\n");
            else
                std::fprintf(stderr, "> %.*s", int(size), data);
            break;
        default:
            break;
        }
        return 0;
    }

    CURL* m_handle;
    FILE* m_file;
    int64_t m_localSize;
    int64_t m_base = 0; // file position of the current transfer's first byte
    CQuvCurLib::RemoteSize m_remote;
    bool m_storPending = false; // STOR or APPE sent, its reply not yet read
    bool m_storSent = false;    // a transfer of this run's file began
};

} // namespace

CQuvCurLib::CQuvCurLib() : m_initResult(curl_global_init(CURL_GLOBAL_ALL)) {}

CQuvCurLib::~CQuvCurLib()
{
    if (m_initResult == CURLE_OK)
        curl_global_cleanup();
}

CQuvCurLib* CQuvCurLib::GetInstance()
{
    std::lock_guard<std::mutex> lock(g_instanceMutex);
    if (!g_instance)
        g_instance = new CQuvCurLib;
    return g_instance;
}

void CQuvCurLib::ReleaseInstance()
{
    std::lock_guard<std::mutex> lock(g_instanceMutex);
    delete g_instance;
    g_instance = nullptr;
}

size_t CQuvCurLib::OnFtpHeader(char* line, size_t size, size_t count, void* remote)
{
    const size_t n = size * count;
    static const char prefix[] = "Content-Length: ";
    if (startsWith(line, n, prefix)) {
        int64_t value = 0;
        size_t i = sizeof prefix - 1, digits = 0;
        for (; i < n && line[i] >= '0' && line[i] <= '9'; ++i, ++digits) {
            const int d = line[i] - '0';
            if (value > (INT64_MAX - d) / 10)
                return n; // not a size we could hold
            value = value * 10 + d;
        }
        if (digits > 0) {
            auto* r = static_cast<RemoteSize*>(remote);
            r->known = true;
            r->value = value;
        }
    }
    return n;
}

size_t CQuvCurLib::OnFtpRead(char* buffer, size_t size, size_t count, void* file)
{
    FILE* f = static_cast<FILE*>(file);
    if (std::ferror(f))
        return CURL_READFUNC_ABORT;
    const size_t items = std::fread(buffer, size, count, f);
    if (items < count && std::ferror(f))
        return CURL_READFUNC_ABORT;
    return items * size;
}

int CQuvCurLib::FtpUpload(const char* url, const char* localPath, const char* credential, int port, int timeoutSeconds,
                          int tries)
{
    if (m_initResult != CURLE_OK)
        return -1;
    std::unique_ptr<CURL, EasyDeleter> handle(curl_easy_init());
    if (!handle)
        return -1;
    std::unique_ptr<FILE, FileCloser> file(std::fopen(localPath ? localPath : "", "rbe"));
    if (!file) {
        std::perror(nullptr);
        return -1;
    }
    struct stat st
    {
    };
    if (::fstat(fileno(file.get()), &st) != 0) {
        std::perror(nullptr);
        return -1;
    }

    Upload upload(handle.get(), file.get(), int64_t(st.st_size));
    CURLcode result;
    try {
        upload.setOptions(url ? url : "", credential ? credential : "", port, timeoutSeconds);
        result = upload.run(tries);
    } catch (const OptionRefused& refused) {
        std::fprintf(stderr, "%s\n", curl_easy_strerror(refused.code));
        return -1;
    }
    if (result == CURLE_OK)
        return 0;
    std::fprintf(stderr, "%s\n", curl_easy_strerror(result));
    return int(result);
}
