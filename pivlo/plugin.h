// The plug-in's core: what the exports Init, RecordPoint and Destory do, over
// the installer's call context.
//
// The installer calls one export at a time on its own thread. RecordPoint
// starts one event thread per call, with its own copy of the event values;
// Destory waits for every event thread still running (each bounded by the
// POST limits), then shuts the logger down. Nothing is ever reported back to
// the installer and no exception leaves these calls' callers (the exports).
#pragma once

#include "pointevent.h"

#include <platform/nsis.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace pivlo {

// Size of the buffers the installer's strings are popped into.
constexpr size_t kPopBufferSize = 260;

// Pops the top item into buffer (at most size - 1 chars, always terminated)
// and frees it; 1 with nothing changed when there is no stack or it is empty,
// else 0.
int PopNsisString(const platform::nsis::CallContext& context, char* buffer, size_t size);

// TMPDIR when that is an absolute path short enough for the install-log
// folder's path to fit 255 chars, else "/tmp".
std::string TemporaryFolder();
// "<temporary folder>/ZavmoToolNew/InstallLog".
std::string InstallLogFolder();
// Creates the install-log folder's two levels under temporaryFolder, and the
// missing folders of temporaryFolder itself, as needed: each new one 0700 and
// owned by this user (an existing level of ours is narrowed to 0700). False
// when a level is a link, belongs to someone else or cannot be made.
bool MakePrivateLogFolder(const std::string& temporaryFolder);

class Plugin
{
public:
    explicit Plugin(std::u16string collectorUrl = CollectorUrl(), PostLimits limits = PostLimits());
    // As Destory: no event thread outlives the plug-in.
    ~Plugin();
    Plugin(const Plugin&) = delete;
    Plugin& operator=(const Plugin&) = delete;

    void Init(const platform::nsis::CallContext& context);
    void RecordPoint(const platform::nsis::CallContext& context);
    void Destory(const platform::nsis::CallContext& context);

    const EventParameters& parameters() const { return parameters_; }
    // Event threads started and not yet joined.
    size_t eventThreads() const { return threads_.size(); }

private:
    struct EventThread
    {
        std::thread thread;
        std::shared_ptr<std::atomic<bool>> done;
    };

    void joinFinished();
    void shutdown();

    platform::nsis::CallContext context_;
    EventParameters parameters_;
    std::u16string collectorUrl_;
    PostLimits limits_;
    std::vector<EventThread> threads_;
};

// The process's plug-in, created on the first export call. ZAVMO_PIVLO_TIMEOUT_MS
// (tests) replaces each of the POST limits by that many milliseconds.
Plugin& processPlugin();

} // namespace pivlo
