#include "faultmail/FaultmailApp.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "faultmail/QuvCurLib.h"
#include "faultmail/ZipArchive.h"
#include "platform/fileio.h"
#include "quv/QuvString.h"

namespace {

const int kZipLevel = 1;
const size_t kZipReadBuffer = 65535;
const int kUploadTries = 3;
const size_t kUrlLimit = 1024; // characters of the upload address before encoding, terminator included

enum class Kind { folder, file, other };

Kind kindOf(const std::string& path)
{
    struct stat st
    {
    };
    if (::lstat(path.c_str(), &st) != 0)
        return Kind::other;
    if (S_ISDIR(st.st_mode))
        return Kind::folder;
    return S_ISREG(st.st_mode) ? Kind::file : Kind::other;
}

// Entry names of a folder other than "." and "..", in listing order. A
// symbolic link, even to a folder, lists nothing.
std::vector<std::string> entries(const std::string& folder)
{
    std::vector<std::string> names;
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return names;
    DIR* dir = ::fdopendir(fd);
    if (!dir) {
        ::close(fd);
        return names;
    }
    while (dirent* e = ::readdir(dir)) {
        if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0)
            names.push_back(e->d_name);
    }
    ::closedir(dir);
    return names;
}

// Says on stderr why `path` stays out of the crash report.
void notGathered(const std::string& path, const char* reason)
{
    std::fprintf(stderr, "Faultmail: %s is not gathered: %s\n", path.c_str(), reason);
}

// Only a folder of the user's own that no one else may write is gathered:
// whoever could put files there would have them sent with the crash report.
// A missing folder has nothing to gather; any other refusal is said on stderr.
bool folderTrusted(const std::string& folder)
{
    struct stat st
    {
    };
    const char* reason = nullptr;
    if (::lstat(folder.c_str(), &st) != 0) {
        if (errno == ENOENT)
            return false;
        reason = std::strerror(errno);
    } else if (!S_ISDIR(st.st_mode)) {
        reason = "not a folder (a link is not followed)";
    } else if (st.st_uid != ::geteuid()) {
        reason = "owned by another user";
    } else if (st.st_mode & (S_IWGRP | S_IWOTH)) {
        reason = "writable by others";
    }
    if (reason)
        notGathered(folder, reason);
    return !reason;
}

// Copies a regular file of the user's own without following links on either
// side; a partial copy is removed.
bool copyFile(const std::string& from, const std::string& to)
{
    using platform::fileio::FileDescriptor;
    const FileDescriptor in(::open(from.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    struct stat st
    {
    };
    if (!in.valid() || ::fstat(in.get(), &st) != 0 || !S_ISREG(st.st_mode))
        return false;
    if (st.st_uid != ::geteuid()) {
        notGathered(from, "owned by another user");
        return false;
    }
    FileDescriptor out(::open(to.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (!out.valid())
        return false;
    char buffer[65536];
    ssize_t n;
    bool ok = true;
    while (ok && (n = platform::fileio::readSome(in.get(), buffer, sizeof buffer)) != 0)
        ok = n > 0 && platform::fileio::writeAll(out.get(), buffer, size_t(n));
    ok = out.close() && ok;
    if (!ok)
        ::unlink(to.c_str());
    return ok;
}

// Archives with the writer's exceptions passed on; an abandoned archive is
// closed without writing more.
template <typename Fill> void writeArchive(const std::string& archive, Fill fill)
{
    CZipArchive zip;
    try {
        zip.OpenArchive(archive, CZipArchive::zipCreate, 0);
        fill(zip);
        zip.CloseArchive();
    } catch (...) {
        zip.CloseArchive(true);
        throw;
    }
}

// Adds one gathered file. A file refused before its entry begins (not a
// readable regular file, 4 GiB or more) is skipped with a line on stderr;
// a failure once the entry has begun throws, abandoning the archive.
bool addGathered(CZipArchive& zip, const std::string& file)
{
    const size_t before = zip.GetCount();
    try {
        if (zip.AddFileFromDisk(file, kZipLevel, false, nullptr, nullptr, kZipReadBuffer))
            return true;
        std::fprintf(stderr, "Faultmail: %s skipped: not a readable regular file\n", file.c_str());
    } catch (const CZipException& e) {
        if (zip.GetCount() != before)
            throw;
        std::fprintf(stderr, "Faultmail: %s skipped: %s\n", file.c_str(), e.what());
    }
    return false;
}

// One archive attempt; whatever ends it early (the writer's CFileException
// and CZipException, memory) is said on stderr and counts as failure.
template <typename Zip> bool attempt(Zip zip)
{
    try {
        return zip();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return false;
    }
}

// The single-instance guard: a non-blocking flock held until the process ends.
enum class Guard { taken, busy, unavailable };

Guard takeInstanceLock()
{
    const int fd = ::open(FaultmailLockPath().c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0)
        return Guard::unavailable;
    while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno == EINTR)
            continue;
        const bool busy = errno == EWOULDBLOCK;
        ::close(fd);
        return busy ? Guard::busy : Guard::unavailable;
    }
    return Guard::taken; // the descriptor stays open: the lock lasts the run
}

// The port argument as _wtoi reads it: leading blanks, a sign, digits; no
// number gives 0. Out-of-range values are clamped (libcurl then refuses them).
int portNumber(const char* text)
{
    const long value = std::strtol(text, nullptr, 10);
    return int(std::clamp<long>(value, INT_MIN, INT_MAX));
}

} // namespace

std::string GetFileNameFromPath(const std::string& path)
{
    const size_t sep = path.find_last_of("/\\");
    return sep == std::string::npos ? path : path.substr(sep + 1);
}

bool CopyFolder(const std::string& source, const std::string& target)
{
    // Every folder entered is checked, not just the top one: a sub-folder
    // others may write would let their files in all the same.
    if (!folderTrusted(source))
        return true;
    if (kindOf(target) == Kind::other)
        ::mkdir(target.c_str(), 0700);
    // Nothing is copied through a link, on either side.
    if (kindOf(target) != Kind::folder)
        return true;
    for (const std::string& name : entries(source)) {
        const std::string from = source + "/" + name, to = target + "/" + name;
        switch (kindOf(from)) {
        case Kind::folder:
            CopyFolder(from, to);
            break;
        case Kind::file:
            copyFile(from, to);
            break;
        case Kind::other:
            break;
        }
    }
    return true;
}

void DeleteFolder(const std::string& path)
{
    if (path.size() <= 2)
        return;
    for (const std::string& name : entries(path)) {
        const std::string entry = path + "/" + name;
        if (kindOf(entry) == Kind::folder)
            DeleteFolder(entry);
        else
            ::unlink(entry.c_str());
    }
    ::rmdir(path.c_str());
}

void ListFolderFiles(const std::string& folder, std::vector<std::string>& files)
{
    for (const std::string& name : entries(folder)) {
        const std::string entry = folder + "/" + name;
        switch (kindOf(entry)) {
        case Kind::folder:
            ListFolderFiles(entry, files);
            break;
        case Kind::file:
            files.push_back(entry);
            break;
        case Kind::other:
            break;
        }
    }
}

std::string FaultmailUploadUrl(const std::string& folderUrl, const std::string& archiveName)
{
    // Cut as text first: the limit is on the address as written, not on its
    // encoded form.
    const std::string text = folderUrl + "/" + archiveName;
    const std::unique_ptr<char, decltype(&std::free)> cut(QuvUtf8SubString(text.c_str(), 0, kUrlLimit - 1), &std::free);
    const std::string kept = cut ? cut.get() : "";
    const size_t nameStart = std::min(kept.size(), folderUrl.size() + 1);
    std::string url = kept.substr(0, nameStart);
    static const char hex[] = "0123456789ABCDEF";
    for (size_t i = nameStart; i < kept.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(kept[i]);
        const bool unreserved = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                                c == '-' || c == '.' || c == '_' || c == '~';
        if (unreserved) {
            url += char(c);
        } else {
            url += '%';
            url += hex[c >> 4];
            url += hex[c & 0x0F];
        }
    }
    return url;
}

std::string FaultmailTempFolder()
{
    const char* tmp = std::getenv("TMPDIR");
    return tmp && *tmp ? tmp : "/tmp";
}

std::string FaultmailLockPath()
{
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime && *runtime)
        return std::string(runtime) + "/LumraeFaultmail.lock";
    return FaultmailTempFolder() + "/LumraeFaultmail-" + std::to_string(::getuid()) + ".lock";
}

bool CFaultmailApp::ZipFile(const std::string& archive, const std::string& file)
{
    bool added = false;
    writeArchive(archive, [&](CZipArchive& zip) {
        added = zip.AddFileFromDisk(file, kZipLevel, false, nullptr, nullptr, kZipReadBuffer);
    });
    return added;
}

bool CFaultmailApp::ZipFolder(const std::string& archive, const std::string& folder, const std::string& required)
{
    bool haveRequired = required.empty();
    writeArchive(archive, [&](CZipArchive& zip) {
        std::vector<std::string> files;
        ListFolderFiles(folder, files);
        for (const std::string& file : files)
            if (addGathered(zip, file) && file == required)
                haveRequired = true;
    });
    return haveRequired;
}

int CFaultmailApp::Run(int argc, char** argv, int timeoutSeconds)
{
    // Without the lock file (no folder to put it in) the run goes on unguarded.
    if (takeInstanceLock() == Guard::busy)
        return faultmailRunning;
    if (argc < 5)
        return faultmailUsage;
    const std::string url = argv[1], dump = argv[2], credential = argv[3];
    const int port = portNumber(argv[4]);

    const std::string dumpName = GetFileNameFromPath(dump);
    const std::string archive = dump + ".zip";
    const std::string gathered = dump + "Dir";
    const std::string gatheredDump = gathered + "/" + dumpName;
    bool moved = false;

    bool zipped = false;
    if (::mkdir(gathered.c_str(), 0700) == 0) {
        CopyFolder(FaultmailTempFolder() + "/ZVTool", gathered);
        // The dump lies beside its gathering folder: a rename moves it.
        moved = ::rename(dump.c_str(), gatheredDump.c_str()) == 0;
        if (moved)
            zipped = attempt([&] { return ZipFolder(archive, gathered, gatheredDump); });
    }
    // Without the gathered files the dump goes alone; when even that fails,
    // nothing is sent and the dump is kept.
    const std::string& dumpNow = moved ? gatheredDump : dump;
    if (!zipped)
        zipped = attempt([&] { return ZipFile(archive, dumpNow); });
    if (!zipped)
        std::fprintf(stderr, "Faultmail: the dump %s cannot be zipped\n", dump.c_str());

    bool uploaded = false;
    if (zipped) {
        const std::string uploadUrl = FaultmailUploadUrl(url, GetFileNameFromPath(archive));
        QuvString userPassword(credential.c_str());
        uploaded = CQuvCurLib::GetInstance()->FtpUpload(uploadUrl.c_str(), archive.c_str(), userPassword.GetUtf8(),
                                                        port, timeoutSeconds, kUploadTries) == 0;
    }

    // The crash data is removed only once it is on the server; otherwise the
    // dump goes back to D (and G stays if that fails, so the dump is kept).
    bool keepGathered = false;
    if (uploaded)
        ::unlink(dump.c_str());
    else if (moved)
        keepGathered = ::rename(gatheredDump.c_str(), dump.c_str()) != 0;
    ::unlink(archive.c_str());
    if (!keepGathered)
        DeleteFolder(gathered);
    return uploaded ? faultmailUploaded : faultmailNotUploaded;
}
