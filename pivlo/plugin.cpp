#include "plugin.h"

#include "textlogmanager.h"

#include <platform/fileio.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <system_error>

namespace pivlo {

namespace {

// "ZavmoToolNew\InstallLog" under the temporary folder.
constexpr const char* kLogFolderLevels[] = {"ZavmoToolNew", "InstallLog"};
constexpr size_t kLogFolderNameSize = sizeof "ZavmoToolNew/InstallLog" - 1;
// The path buffer of the Windows call, NUL included.
constexpr size_t kTempPathSize = 255;

// Sends one event; runs on its own thread with its own copies.
void SendPoint(const EventParameters& parameters, const std::u16string& url, const PostLimits& limits)
{
    Json::Value event;
    BuildPointEvent(parameters, event);
    std::string body;
    EncodePointBody(event, body);
    PostForm(url, body.c_str(), limits);
}

PostLimits limitsFromEnvironment()
{
    PostLimits limits;
    if (const char* text = std::getenv("ZAVMO_PIVLO_TIMEOUT_MS")) {
        const long ms = std::atol(text);
        if (ms > 0)
            limits.connectMs = limits.idleMs = limits.totalMs = ms;
    }
    return limits;
}

} // namespace

int PopNsisString(const platform::nsis::CallContext& context, char* buffer, size_t size)
{
    if (!context.stackTop || !*context.stackTop || !buffer || size == 0)
        return 1;
    platform::nsis::StackItem* item = *context.stackTop;
    size_t limit = size - 1;
    if (context.stringSize > 0)
        limit = std::min(limit, static_cast<size_t>(context.stringSize));
    const size_t n = strnlen(item->text, limit);
    std::memcpy(buffer, item->text, n);
    buffer[n] = '\0';
    *context.stackTop = item->next;
    platform::nsis::freeItem(item);
    return 0;
}

std::string TemporaryFolder()
{
    const char* env = std::getenv("TMPDIR");
    // Room for "/" + the folder name + NUL.
    if (!env || env[0] != '/' || std::strlen(env) + 1 + kLogFolderNameSize >= kTempPathSize)
        return "/tmp";
    std::string temp = env;
    while (temp.size() > 1 && temp.back() == '/')
        temp.pop_back();
    return temp;
}

std::string InstallLogFolder()
{
    std::string folder = TemporaryFolder();
    if (folder == "/")
        folder.clear();
    for (const char* level : kLogFolderLevels)
        folder += std::string("/") + level;
    return folder;
}

bool MakePrivateLogFolder(const std::string& temporaryFolder)
{
    // A temporary folder that does not exist yet is made too, so that the
    // install log is not lost.
    platform::fileio::makeFolders(temporaryFolder);
    int dir = ::open(temporaryFolder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    for (const char* level : kLogFolderLevels) {
        if (dir < 0)
            return false;
        int next = -1;
        if (::mkdirat(dir, level, 0700) == 0 || errno == EEXIST) {
            // O_NOFOLLOW: a link planted at the name is refused, not followed.
            next = ::openat(dir, level, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            struct stat st
            {
            };
            const bool ours = next >= 0 && ::fstat(next, &st) == 0 && st.st_uid == ::geteuid();
            if (!ours || ((st.st_mode & 077) != 0 && ::fchmod(next, 0700) != 0)) {
                if (next >= 0)
                    ::close(next);
                next = -1;
            }
        }
        ::close(dir);
        dir = next;
    }
    if (dir < 0)
        return false;
    ::close(dir);
    return true;
}

Plugin::Plugin(std::u16string collectorUrl, PostLimits limits) : collectorUrl_(std::move(collectorUrl)), limits_(limits)
{
}

namespace {
// The process's plug-in once made, until it is destroyed.
std::atomic<Plugin*> g_processPlugin{nullptr};
} // namespace

Plugin::~Plugin()
{
    // At process exit the statics go before the library's destructor
    // function runs: it must not find this object then.
    Plugin* self = this;
    g_processPlugin.compare_exchange_strong(self, nullptr);
    shutdown();
}

void Plugin::Init(const platform::nsis::CallContext& context)
{
    context_ = context;
    // A folder that is not safely ours takes no log: "" drops the text.
    SetTextLogDirectory(MakePrivateLogFolder(TemporaryFolder()) ? InstallLogFolder() : std::string());
}

void Plugin::RecordPoint(const platform::nsis::CallContext& context)
{
    context_ = context;
    std::string* targets[] = {&parameters_.action, &parameters_.version, &parameters_.channel};
    for (std::string* target : targets) {
        char buffer[kPopBufferSize] = {};
        if (PopNsisString(context_, buffer, sizeof buffer) == 0)
            *target = buffer;
    }
    joinFinished();
    EventThread t;
    t.done = std::make_shared<std::atomic<bool>>(false);
    try {
        t.thread = std::thread([parameters = parameters_, url = collectorUrl_, limits = limits_, done = t.done] {
            try {
                SendPoint(parameters, url, limits);
            } catch (...) {
                // Nothing reaches the installer.
            }
            done->store(true);
        });
    } catch (const std::system_error&) {
        return; // no thread: no event
    }
    threads_.push_back(std::move(t));
}

void Plugin::Destory(const platform::nsis::CallContext& context)
{
    context_ = context;
    shutdown();
}

void Plugin::joinFinished()
{
    for (auto it = threads_.begin(); it != threads_.end();) {
        if (it->done->load()) {
            it->thread.join();
            it = threads_.erase(it);
        } else {
            ++it;
        }
    }
}

void Plugin::shutdown()
{
    // Every event thread ends before the logger they write to goes.
    for (EventThread& t : threads_)
        if (t.thread.joinable())
            t.thread.join();
    threads_.clear();
    DestroyTextLog();
    ReleaseMessagePool();
}

Plugin& processPlugin()
{
    static Plugin plugin(CollectorUrl(), limitsFromEnvironment());
    g_processPlugin.store(&plugin);
    return plugin;
}

// Unloaded without Destory: the event threads end here, before the static
// destructors run. Statics they made on first use (the PCI name list) were
// created after the plug-in and so would be destroyed under them.
__attribute__((destructor)) static void EndEventsAtUnload()
{
    if (Plugin* plugin = g_processPlugin.load())
        plugin->Destory({});
}

} // namespace pivlo
