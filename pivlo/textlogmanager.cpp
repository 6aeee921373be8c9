#include "textlogmanager.h"

#include <boost/pool/singleton_pool.hpp>

#include <fcntl.h>
#include <strings.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <list>
#include <mutex>

namespace pivlo {

namespace {

constexpr size_t kBlockSize = 4096;
constexpr int kCycleMs = 2000;
constexpr int kReleaseEveryCycles = 30;

struct MessageBufferTag
{
};
struct TextBlockTag
{
};
// Both grow in batches of 32, each later batch twice the one before.
using MessagePool = boost::singleton_pool<MessageBufferTag, kMessageBufferSize>;
using BlockPool = boost::singleton_pool<TextBlockTag, kBlockSize>;

// The bytes queued for one dated file, front to back in pooled blocks.
struct PendingChain
{
    size_t held = 0;
    std::list<char*> blocks;

    PendingChain() = default;
    PendingChain(const PendingChain&) = delete;
    PendingChain& operator=(const PendingChain&) = delete;
    ~PendingChain()
    {
        for (char* block : blocks)
            BlockPool::free(block);
    }
};
using ChainMap = boost::unordered_map<std::string, std::unique_ptr<PendingChain>, boost::hash<std::string>>;

struct PendingTable
{
    boost::mutex mutex;
    ChainMap chains;
};

// The manager and the pending table of the process. managerGuard is held for
// a whole write and a whole destruction, so a manager never goes away under a
// writer; pendingGuard only guards the table's creation and removal.
std::mutex managerGuard;
TextLogManager* manager = nullptr;
std::mutex pendingGuard;
PendingTable* pendingTable = nullptr;

PendingTable* pending()
{
    std::lock_guard<std::mutex> lock(pendingGuard);
    if (!pendingTable)
        pendingTable = new PendingTable;
    return pendingTable;
}

// False when a block was needed and none could be had (the rest is dropped).
bool AppendToBlockChain(PendingChain& chain, const char* bytes, size_t length)
{
    while (length > 0) {
        if (kBlockSize * chain.blocks.size() <= chain.held) {
            char* block = static_cast<char*>(BlockPool::malloc());
            if (!block)
                return false;
            try {
                chain.blocks.push_back(block);
            } catch (...) {
                BlockPool::free(block);
                throw;
            }
        }
        const size_t used = chain.held % kBlockSize;
        const size_t n = std::min(length, kBlockSize - used);
        std::memcpy(chain.blocks.back() + used, bytes, n);
        chain.held += n;
        bytes += n;
        length -= n;
    }
    return true;
}

void AppendPendingText(const std::string& datedPath, PendingTable& table, const char* prefix, const char* text)
{
    boost::lock_guard<boost::mutex> lock(table.mutex);
    std::unique_ptr<PendingChain>& chain = table.chains[datedPath];
    if (!chain)
        chain = std::make_unique<PendingChain>();
    if (AppendToBlockChain(*chain, prefix, std::strlen(prefix)))
        AppendToBlockChain(*chain, text, std::strlen(text));
}

void FlushPendingFile(const std::string& path, PendingChain& chain)
{
    // Never through a link planted at the file's name.
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0)
        return;
    FILE* file = ::fdopen(fd, "ab");
    if (!file) {
        ::close(fd);
        return;
    }
    size_t due = chain.held;
    while (!chain.blocks.empty()) {
        char* block = chain.blocks.front();
        const size_t n = std::min(due, kBlockSize);
        std::fwrite(block, 1, n, file);
        due -= n;
        chain.blocks.pop_front();
        BlockPool::free(block);
    }
    chain.held = 0;
    std::fclose(file);
}

void FlushAllPending(PendingTable& table)
{
    ChainMap local;
    {
        boost::lock_guard<boost::mutex> lock(table.mutex);
        local.swap(table.chains);
    }
    for (auto& [path, chain] : local)
        FlushPendingFile(path, *chain);
}

struct LocalTime
{
    std::tm tm{};
    int milliseconds = 0;
};

LocalTime now()
{
    timeval tv{};
    ::gettimeofday(&tv, nullptr);
    LocalTime t;
    const time_t seconds = tv.tv_sec;
    ::localtime_r(&seconds, &t.tm);
    t.milliseconds = static_cast<int>(tv.tv_usec / 1000);
    return t;
}

// A 1 MiB buffer from its pool, given back at the end of the scope.
class MessageBuffer
{
public:
    MessageBuffer() : data_(static_cast<char*>(MessagePool::malloc())) {}
    ~MessageBuffer()
    {
        if (data_)
            MessagePool::free(data_);
    }
    MessageBuffer(const MessageBuffer&) = delete;
    MessageBuffer& operator=(const MessageBuffer&) = delete;
    char* data() const { return data_; }

private:
    char* data_;
};

TextLogManager* managerLocked()
{
    if (!manager) {
        try {
            manager = new TextLogManager;
        } catch (...) {
            manager = nullptr; // no memory or no thread: the caller drops its text
        }
    }
    return manager;
}

} // namespace

std::string MakeDatedFileName(int pattern, const std::string& path, const std::tm& local)
{
    if (pattern == 0)
        return path;
    const int year = local.tm_year + 1900, month = local.tm_mon + 1;
    char stamp[64];
    switch (pattern) {
    case 1:
        std::snprintf(stamp, sizeof stamp, "%04d", year);
        break;
    case 2:
        std::snprintf(stamp, sizeof stamp, "%04d%02d", year, month);
        break;
    case 4:
        std::snprintf(stamp, sizeof stamp, "%02d-%02d_%02d", month, local.tm_mday, local.tm_hour);
        break;
    case 5:
        std::snprintf(stamp, sizeof stamp, "%02d-%02d_%02d%02d", month, local.tm_mday, local.tm_hour, local.tm_min);
        break;
    case 6:
        std::snprintf(stamp, sizeof stamp, "%02d-%02d_%02d%02d%02d", month, local.tm_mday, local.tm_hour, local.tm_min,
                      local.tm_sec);
        break;
    default:
        std::snprintf(stamp, sizeof stamp, "%02d-%02d", month, local.tm_mday);
        break;
    }
    const size_t separator = path.find_last_of("\\/");
    if (separator == std::string::npos)
        return stamp + path;
    return path.substr(0, separator + 1) + stamp + path.substr(separator + 1);
}

TextLogManager::TextLogManager()
{
    AddDefaultSlot();
    writer_ = boost::thread(&TextLogManager::WriterLoop, this);
}

TextLogManager::~TextLogManager()
{
    {
        boost::lock_guard<boost::mutex> lock(stopLock_);
        stop_ = true;
    }
    stopWake_.notify_all();
    writer_.join();
    {
        boost::lock_guard<boost::mutex> lock(slotsLock_);
        for (Slot& slot : slots_) {
            slot.settings.reset();
            slot.name.clear();
        }
    }
    {
        boost::lock_guard<boost::mutex> lock(recordsLock_);
        records_.clear();
        directory_.clear();
    }
    // The last flush on the calling thread: nothing queued is lost.
    std::unique_ptr<PendingTable> table;
    {
        std::lock_guard<std::mutex> lock(pendingGuard);
        table.reset(pendingTable);
        pendingTable = nullptr;
    }
    if (table)
        FlushAllPending(*table);
}

void TextLogManager::setDirectory(const std::string& directory)
{
    boost::lock_guard<boost::mutex> lock(recordsLock_);
    directory_ = directory;
}

std::string TextLogManager::directory()
{
    boost::lock_guard<boost::mutex> lock(recordsLock_);
    return directory_;
}

void TextLogManager::write(const char* fileName, int pattern, const char* format, va_list args)
{
    boost::lock_guard<boost::mutex> lock(recordsLock_);
    if (directory_.empty() || !fileName || !format)
        return;
    const std::string path = directory_ + "/" + fileName;
    if (path.size() >= kMaxLogPath)
        return; // cutting it would write to another file
    FileRecord& record = GetFileRecord(path);
    MessageBuffer buffer;
    if (!buffer.data())
        return;
    // vsnprintf always ends the buffer with a NUL, cutting what does not fit.
    std::vsnprintf(buffer.data(), kMessageBufferSize, format, args);
    record.pattern = pattern;
    AppendLogRecord(record, buffer.data());
}

TextLogManager::FileRecord& TextLogManager::GetFileRecord(const std::string& path)
{
    std::unique_ptr<FileRecord>& record = records_[path];
    if (!record) {
        record = std::make_unique<FileRecord>();
        record->path = path;
    }
    return *record;
}

void TextLogManager::AppendLogRecord(FileRecord& record, const char* text)
{
    const LocalTime t = now();
    char prefix[64];
    std::snprintf(prefix, sizeof prefix, "\r\n[%02d-%02d %02d:%02d:%02d.%03d]:  ", t.tm.tm_mon + 1, t.tm.tm_mday,
                  t.tm.tm_hour, t.tm.tm_min, t.tm.tm_sec, t.milliseconds);
    boost::lock_guard<boost::mutex> lock(record.mutex);
    // One dated name for prefix and text, so that midnight cannot split them.
    AppendPendingText(MakeDatedFileName(record.pattern, record.path, t.tm), *pending(), prefix, text);
}

int TextLogManager::AddDefaultSlot()
{
    {
        boost::lock_guard<boost::mutex> lock(slotsLock_);
        for (int i = 0; i < kSlotCount; ++i)
            if (slots_[i].settings && strcasecmp(slots_[i].name.c_str(), "Default") == 0)
                return i;
    }
    const int index = AllocSlot();
    if (index < 0)
        return -1;
    boost::lock_guard<boost::mutex> lock(slotsLock_);
    Slot& slot = slots_[index];
    slot.name = "Default";
    slot.settings->logFileName = "Text.log";
    slot.settings->value = 40;
    slot.settings->settingsPath.clear();
    return index;
}

int TextLogManager::AllocSlot()
{
    boost::lock_guard<boost::mutex> lock(slotsLock_);
    for (int i = 0; i < kSlotCount; ++i) {
        if (!slots_[i].settings) {
            auto settings = std::make_unique<SlotSettings>();
            settings->logFileName = "TextLog.txt";
            settings->found = true;
            settings->value = 50;
            slots_[i].settings = std::move(settings);
            return i;
        }
    }
    return -1;
}

const SlotSettings* TextLogManager::slotSettings(int index) const
{
    boost::lock_guard<boost::mutex> lock(slotsLock_);
    return index >= 0 && index < kSlotCount ? slots_[index].settings.get() : nullptr;
}

std::string TextLogManager::slotName(int index) const
{
    boost::lock_guard<boost::mutex> lock(slotsLock_);
    return index >= 0 && index < kSlotCount ? slots_[index].name : std::string();
}

void TextLogManager::ReloadSlotSettings(SlotSettings& settings)
{
    FILE* file = std::fopen(settings.settingsPath.c_str(), "rb");
    if (!file) {
        settings.found = false;
        return;
    }
    settings.found = true;
    char block[257] = {};
    if (std::fread(block, 1, 256, file) == 256)
        settings.value = std::atoi(block);
    std::fclose(file);
}

void TextLogManager::WriterLoop()
{
    unsigned cycle = 0;
    boost::unique_lock<boost::mutex> stopLock(stopLock_);
    while (!stop_) {
        stopLock.unlock();
        {
            boost::lock_guard<boost::mutex> lock(slotsLock_);
            for (Slot& slot : slots_)
                if (slot.settings && !slot.settings->settingsPath.empty())
                    ReloadSlotSettings(*slot.settings);
        }
        {
            boost::lock_guard<boost::mutex> lock(recordsLock_);
            records_.clear();
        }
        if (++cycle % kReleaseEveryCycles == 0)
            MessagePool::release_memory();
        try {
            FlushAllPending(*pending());
        } catch (...) {
            // No memory for the pending table: the next cycle tries again.
        }
        stopLock.lock();
        // Stopping wakes the wait; the destructor flushes what came since.
        stopWake_.wait_for(stopLock, boost::chrono::milliseconds(kCycleMs), [this] { return stop_; });
    }
}

void WriteTextLog(const char* fileName, int pattern, const char* format, ...)
{
    std::lock_guard<std::mutex> lock(managerGuard);
    TextLogManager* m = managerLocked();
    if (!m)
        return;
    va_list args;
    va_start(args, format);
    try {
        m->write(fileName, pattern, format, args);
    } catch (...) {
        // No memory for the record: it is dropped (writers run inside
        // libcurl callbacks, where nothing may be thrown).
    }
    va_end(args);
}

void SetTextLogDirectory(const std::string& directory)
{
    std::lock_guard<std::mutex> lock(managerGuard);
    if (TextLogManager* m = managerLocked()) {
        try {
            m->setDirectory(directory);
        } catch (...) {
        }
    }
}

void DestroyTextLog()
{
    std::lock_guard<std::mutex> lock(managerGuard);
    delete manager;
    manager = nullptr;
}

void ReleaseMessagePool()
{
    MessagePool::release_memory();
}

} // namespace pivlo
