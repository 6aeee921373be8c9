#include "packageunzip.h"

#include <platform/codepage.h>

#include <unzip.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <memory>
#include <new>
#include <string>
#include <vector>

namespace tresk {

namespace {

constexpr unsigned long kDirectoryAttribute = 16;
constexpr uInt kReadStep = 1u << 20;

bool madeOnUnix(unsigned long madeBy)
{
    return ((madeBy >> 8) & 0xff) == kZipHostUnix;
}

// The Unix mode stored in the attributes; 0 when none is.
unsigned long unixMode(unsigned long attributes, unsigned long madeBy)
{
    return madeOnUnix(madeBy) ? (attributes >> 16) & 0xffff : 0;
}

bool isFolderEntry(unsigned long attributes, unsigned long madeBy)
{
    return (madeOnUnix(madeBy) ? attributes & 0xffff : attributes) == kDirectoryAttribute;
}

// The name's components ("/" and "\" both separate), empty ones dropped; the
// reason text when the name is refused. trailingSeparator tells a name that
// ends in a separator.
const char* splitEntryName(const std::string& name, std::vector<std::string>& parts, bool& trailingSeparator)
{
    parts.clear();
    if (name.empty())
        return "empty name";
    if (name[0] == '/' || name[0] == '\\')
        return "absolute name";
    if (name.size() >= 2 && name[1] == ':' && std::isalpha(static_cast<unsigned char>(name[0])))
        return "name with a drive letter";
    size_t start = 0;
    for (size_t i = 0; i <= name.size(); ++i) {
        if (i < name.size() && name[i] != '/' && name[i] != '\\')
            continue;
        const std::string part = name.substr(start, i - start);
        if (part == "..")
            return "name with \"..\"";
        if (!part.empty() && part != ".")
            parts.push_back(part);
        start = i + 1;
    }
    trailingSeparator = name.back() == '/' || name.back() == '\\';
    if (parts.empty())
        return "empty name";
    return nullptr;
}

// Why an entry may not be stored; null when it may.
const char* refusal(const std::string& utf8Name, unsigned long attributes, unsigned long madeBy,
                    std::vector<std::string>& parts, bool& trailingSeparator)
{
    if (S_ISLNK(unixMode(attributes, madeBy)))
        return "symbolic link";
    return splitEntryName(utf8Name, parts, trailingSeparator);
}

void report(const char* name, const char* reason)
{
    std::printf("%s refused: %s\n", name, reason);
}

// Opens the folder of the entry's last component, below the destination,
// without following a link on the way; -1 when one of them is missing or a
// link (as on Windows, a file whose folder was not made is skipped).
int openParent(const std::string& destination, const std::vector<std::string>& parts)
{
    int dir = ::open(destination.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    for (size_t i = 0; dir >= 0 && i + 1 < parts.size(); ++i) {
        const int next = ::openat(dir, parts[i].c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        ::close(dir);
        dir = next;
    }
    return dir;
}

bool makeFolder(int parent, const std::string& name, mode_t mode)
{
    if (::mkdirat(parent, name.c_str(), mode) == 0)
        return true;
    struct stat st
    {
    };
    // An existing folder is fine; a link to one is not.
    return errno == EEXIST && ::fstatat(parent, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode);
}

EntryWrite writeFile(int parent, const std::string& name, mode_t mode, const char* data, uint64_t size)
{
    const int fd = ::openat(parent, name.c_str(), O_WRONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK, mode);
    if (fd < 0)
        return EntryWrite::skipped;
    struct stat st
    {
    };
    // Only a plain file of its own: never into a device, a pipe or through a
    // hard link to a file elsewhere.
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_nlink != 1) {
        ::close(fd);
        return EntryWrite::skipped;
    }
    FILE* file = nullptr;
    bool written = ::ftruncate(fd, 0) == 0 && ::fchmod(fd, mode) == 0 && (file = ::fdopen(fd, "wb"));
    written = written && (size == 0 || std::fwrite(data, 1, size, file) == size);
    written = (file ? std::fclose(file) == 0 : ::close(fd) == 0) && written;
    if (written)
        return EntryWrite::stored;
    // A cut file (a full disk) must never pass for the whole one: the
    // updater would start truncated.
    ::unlinkat(parent, name.c_str(), 0);
    return EntryWrite::writeFailed;
}

// Reads the current entry whole into a buffer of size + 1 zeroed bytes. False
// when it is shorter or longer than declared or fails its CRC.
bool readEntry(unzFile zip, uint64_t size, std::unique_ptr<char[]>& buffer)
{
    buffer.reset(new (std::nothrow) char[size + 1]());
    if (!buffer || unzOpenCurrentFile(zip) != UNZ_OK)
        return false;
    uint64_t done = 0;
    while (done < size) {
        const uInt step = static_cast<uInt>(std::min<uint64_t>(kReadStep, size - done));
        const int n = unzReadCurrentFile(zip, buffer.get() + done, step);
        if (n <= 0)
            break;
        done += static_cast<uint64_t>(n);
    }
    char extra = 0;
    const bool whole = done == size && unzReadCurrentFile(zip, &extra, 1) == 0;
    // The CRC is checked at the close once everything was read.
    return unzCloseCurrentFile(zip) == UNZ_OK && whole;
}

} // namespace

EntryWrite writeZipEntry(const char* name, unsigned long attributes, unsigned long madeBy, const char* data,
                         uint64_t size, const char* destination)
{
    if (!name || !destination)
        return EntryWrite::skipped;
    std::printf("%s size %llu\n", name, static_cast<unsigned long long>(size));
    const std::string utf8Name = platform::codepage::ansiToUtf8(name);
    std::vector<std::string> parts;
    bool trailing = false;
    if (const char* reason = refusal(utf8Name, attributes, madeBy, parts, trailing)) {
        report(name, reason);
        return EntryWrite::skipped;
    }
    const unsigned long storedMode = unixMode(attributes, madeBy) & 0777;
    const mode_t mode = storedMode ? static_cast<mode_t>(storedMode) : 0755;

    const int parent = openParent(destination, parts);
    if (parent < 0)
        return EntryWrite::skipped;
    EntryWrite result = EntryWrite::skipped;
    if (isFolderEntry(attributes, madeBy))
        result = makeFolder(parent, parts.back(), mode) ? EntryWrite::stored : EntryWrite::skipped;
    else if (!trailing && (size == 0 || data)) // a file entry named like a folder ("a/") has nowhere to go
        result = writeFile(parent, parts.back(), mode, data, size);
    ::close(parent);
    return result;
}

bool unzipAll(const char* destination, const char* archive, uint64_t limit)
{
    if (!destination || !archive)
        return false;
    unzFile zip = unzOpen64(archive);
    if (!zip)
        return false;
    unz_global_info64 global{};
    if (unzGetGlobalInfo64(zip, &global) != UNZ_OK)
        global.number_entry = 0;

    bool whole = true;
    uint64_t written = 0;
    for (ZPOS64_T i = 0; whole && i < global.number_entry; ++i) {
        if ((i == 0 ? unzGoToFirstFile(zip) : unzGoToNextFile(zip)) != UNZ_OK)
            break;
        unz_file_info64 info{};
        if (unzGetCurrentFileInfo64(zip, &info, nullptr, 0, nullptr, 0, nullptr, 0) != UNZ_OK)
            continue;
        // The whole name: a cut one could name another file.
        std::vector<char> nameBuffer(info.size_filename + 1, '\0');
        if (unzGetCurrentFileInfo64(zip, &info, nameBuffer.data(), static_cast<uLong>(nameBuffer.size()), nullptr, 0,
                                    nullptr, 0) != UNZ_OK)
            continue;
        std::string name(nameBuffer.data(), info.size_filename);
        if (name.find('\0') != std::string::npos) {
            report(nameBuffer.data(), "name with a NUL byte");
            continue;
        }
        // Bit 11: the name is UTF-8; the rest of the launcher speaks ANSI.
        const std::string utf8Name = (info.flag & 0x800) ? name : platform::codepage::ansiToUtf8(name);
        if (info.flag & 0x800)
            name = platform::codepage::utf8ToAnsi(name);
        std::vector<std::string> parts;
        bool trailing = false;
        if (const char* reason = refusal(utf8Name, info.external_fa, info.version, parts, trailing)) {
            report(name.c_str(), reason);
            continue;
        }
        const uint64_t size = info.uncompressed_size;
        if (size > kMaxEntrySize) {
            report(name.c_str(), "declared size too large");
            continue;
        }
        if (size > limit - written) {
            report(name.c_str(), "the package would unpack past its size cap");
            whole = false;
            break;
        }
        std::unique_ptr<char[]> buffer;
        if (size > 0 && !readEntry(zip, size, buffer)) {
            report(name.c_str(), "entry cannot be read whole");
            continue;
        }
        switch (writeZipEntry(name.c_str(), info.external_fa, info.version, buffer.get(), size, destination)) {
        case EntryWrite::stored:
            written += size;
            break;
        case EntryWrite::skipped:
            break;
        case EntryWrite::writeFailed:
            report(name.c_str(), "cannot be written whole");
            whole = false;
            break;
        }
    }
    unzClose(zip);
    return whole;
}

} // namespace tresk
