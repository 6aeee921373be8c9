// TextLogManager: the plug-in's asynchronous text-file logger.
//
// Writers format a record into a pooled 1 MiB buffer and copy its bytes into
// pooled 4096-byte blocks kept per dated file path; a writer thread appends
// them to their files every 2 seconds, so callers never wait for the disk.
// One manager per process, created by the first write or directory setting
// and destroyed by DestroyTextLog, whose final flush loses nothing queued.
// Text still queued when the process ends without that is lost.
//
// Files are opened for appending without following a link at their own name
// and created 0600; a file that cannot be opened drops the text of that cycle.
#pragma once

#include <boost/thread/condition_variable.hpp>
#include <boost/thread/mutex.hpp>
#include <boost/thread/thread.hpp>
#include <boost/unordered_map.hpp>

#include <cstdarg>
#include <cstdint>
#include <ctime>
#include <memory>
#include <string>

namespace pivlo {

// Size of the message buffers: a longer formatted message is cut.
constexpr size_t kMessageBufferSize = 1048576;
// Full paths of log files must be shorter than this; longer ones are refused.
constexpr size_t kMaxLogPath = 512;

// Formats one record and queues it for the file fileName in the log
// directory. pattern: the date stamp put in front of the file name
// (MakeDatedFileName). Never reports a failure or throws: the text is
// dropped.
void WriteTextLog(const char* fileName, int pattern, const char* format, ...) __attribute__((format(printf, 3, 4)));
// Creates the manager when there is none and sets its directory. An empty
// directory stands for nowhere: writes are dropped until another is set.
void SetTextLogDirectory(const std::string& directory);
// Stops the writer thread, writes out everything queued and frees the
// manager; the next write creates a new one (directory ".").
void DestroyTextLog();
// Hands the free 1 MiB message buffers back to the system.
void ReleaseMessagePool();

// The path with a stamp of the local time `local` put in front of its file
// part (after the last "\" or "/"): pattern 0 none, 1 "%04d" year,
// 2 "%04d%02d" year and month, 4 "%02d-%02d_%02d" up to the hour,
// 5 "%02d-%02d_%02d%02d" up to the minute, 6 "%02d-%02d_%02d%02d%02d" up to
// the second, 3 and any other number "%02d-%02d" month and day.
std::string MakeDatedFileName(int pattern, const std::string& path, const std::tm& local);

// What a slot of the manager's table holds once taken.
struct SlotSettings
{
    std::string logFileName;
    std::string settingsPath; // empty: never re-read
    bool found = false;       // the settings file could be opened
    int32_t value = 0;
    int32_t reserved[3] = {0, 0, 0};
};

class TextLogManager
{
public:
    static constexpr int kSlotCount = 100;

    TextLogManager(); // starts the writer thread; throws when it cannot
    ~TextLogManager();
    TextLogManager(const TextLogManager&) = delete;
    TextLogManager& operator=(const TextLogManager&) = delete;

    void setDirectory(const std::string& directory);
    std::string directory();
    void write(const char* fileName, int pattern, const char* format, va_list args);

    // Makes sure a slot is named "Default" (any case): log file "Text.log",
    // value 40. Returns its index, -1 when no slot was free.
    int AddDefaultSlot();
    // The first free slot, given settings "TextLog.txt", found, value 50;
    // -1 when all are taken.
    int AllocSlot();
    // Null for a free slot or an index out of range.
    const SlotSettings* slotSettings(int index) const;
    std::string slotName(int index) const;

    // Re-reads a slot's value: the leading number of the first 256 bytes of
    // its settings file (kept when the file is shorter); found tells whether
    // the file opened.
    static void ReloadSlotSettings(SlotSettings& settings);

private:
    struct FileRecord
    {
        int pattern = 0;
        std::string path;
        boost::mutex mutex;
    };
    struct Slot
    {
        std::string name;
        std::unique_ptr<SlotSettings> settings;
    };

    FileRecord& GetFileRecord(const std::string& path);
    void AppendLogRecord(FileRecord& record, const char* text);
    void WriterLoop();

    Slot slots_[kSlotCount];
    boost::unordered_map<std::string, std::unique_ptr<FileRecord>, boost::hash<std::string>> records_;
    std::string directory_ = ".";
    boost::mutex recordsLock_;
    mutable boost::mutex slotsLock_;
    boost::mutex stopLock_;
    boost::condition_variable stopWake_;
    bool stop_ = false;
    boost::thread writer_;
};

} // namespace pivlo
