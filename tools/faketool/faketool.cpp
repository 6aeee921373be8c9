// zavmo-fake-tool: one program that plays every program the suite installs,
// starts or removes, acting by the file name it was started under (the name
// the process list shows). Tests copy it under those names.
//
//   tool installers   "OBS_installer.exe", "OBS_Studio_installer.exe",
//                     "ZVTool_installer.exe", "ZVShow-installer.exe":
//                     /S /D=FOLDER (everything after "/D=" is the folder, as
//                     the installers' own rule has it); copy this program in
//                     under the tool's file names and its uninstaller's, and
//                     write the tool's Uninstall key
//   uninstallers      "Au_.exe", "Un_A.exe": remove what the installer of the
//                     Uninstall entry that names them made, and the entry
//   tools             "OBS.exe", "obs32.exe", "obs64.exe", "obs" (OBS Studio
//                     as Debian installs it), "ZVTool.exe", "ZVShow.exe",
//                     "LiveCodeModule.exe": run until killed
//   "LiveCodeModule.exe -Olvane"  first calls the three procedures of
//                     Olvane's RPC service "OlvaneService" (and once with
//                     unusable arguments), writes each outcome to
//                     "rpc-client.log" beside itself, one line each:
//                     "PROCEDURE ok" or "PROCEDURE error: TEXT"; then runs
//   "Tresk.exe"       starts "ZVTool.exe" of its own folder with its own
//                     arguments, then ends
//   "Update.exe"      the launcher's updater: its start is logged like any
//                     other; it writes "updater-started" (holding its working
//                     folder) into its working folder and ends
//   runtime installers "NET_Framework4.exe", "vcredist_x86.exe", "DirectX.exe"
//                     (-y -oFOLDER: unpacks "DirectX Repair V3.3/"), and the
//                     DirectX repair tools "DirectX Repair.exe" and
//                     "DirectX_Repair_win8.exe" (fill the mapped system folders)
//
// Drive paths resolve below ZAVMO_WINDOWS_ROOT (platform/runtime.h); without
// a root such a path fails (exit 1). Environment:
//   ZAVMO_FAKE_TOOL_LOG       file that receives "PID<TAB>NAME<TAB>ARG..." for
//                             every start, so tests can end leftovers by pid
//   ZAVMO_FAKE_TOOL_DELAY_MS  how long installers and uninstallers work (300)
//   ZAVMO_FAKE_TOOL_HOLD      a file: while it exists, installers and
//                             uninstallers that reach their work keep working
//                             instead of the delay (checked every 20 ms), and
//                             once it is gone they finish at once; so a test
//                             sees them running for as long as it needs
//   ZAVMO_FAKE_TOOL_MAX_MS    how long a tool runs, or a hold lasts, at most
//                             (60000)
// Exit status: 0 done, 1 failed, 2 unknown name.

#include "platform/process.h"
#include "platform/registry.h"
#include "platform/rpc.h"
#include "platform/runtime.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;
using platform::registry::Root;

namespace {

const char kUninstallKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";

struct Invocation
{
    std::string self; // this program's file
    std::string name; // its file name
    std::vector<std::string> args;
};

struct Role
{
    const char* name;
    int (*run)(const Invocation&);
};

// What a tool installer puts where.
struct ToolPackage
{
    const char* installer;
    const char* uninstallKey;
    const char* defaultFolder;
    std::vector<const char*> files;
    const char* uninstaller;
};

const std::vector<ToolPackage>& packages()
{
    static const std::vector<ToolPackage> list = {
        {"OBS_installer.exe", "Open Broadcaster Software", "C:\\Program Files (x86)\\OBS", {"OBS.exe"}, "Au_.exe"},
        {"OBS_Studio_installer.exe",
         "OBS Studio",
         "C:\\Program Files (x86)\\obs-studio",
         {"bin/32bit/obs32.exe", "bin/64bit/obs64.exe"},
         "Un_A.exe"},
        {"ZVTool_installer.exe",
         "Zavmo\xE7\x9B\xB4\xE6\x92\xAD\xE4\xBC\xB4\xE4\xBE\xA3",
         "C:\\Program Files (x86)\\ZVTool",
         {"Tresk.exe", "ZVTool.exe"},
         "Au_.exe"},
        {"ZVShow-installer.exe",
         "Zavmo\xE7\xA7\x80\xE5\x9C\xBA\xE7\x9B\xB4\xE6\x92\xAD\xE4\xBC\xB4\xE4\xBE\xA3",
         "C:\\Program Files (x86)\\ZVShow",
         {"ZVShow.exe"},
         "Au_.exe"},
    };
    return list;
}

long envNumber(const char* name, long fallback)
{
    const char* text = std::getenv(name);
    if (!text || !*text)
        return fallback;
    char* end = nullptr;
    const long value = std::strtol(text, &end, 10);
    return (*end == '\0' && value >= 0) ? value : fallback;
}

void sleepMs(long ms)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

void work()
{
    const char* hold = std::getenv("ZAVMO_FAKE_TOOL_HOLD");
    std::error_code ec;
    if (!hold || !*hold || !fs::exists(hold, ec)) {
        sleepMs(envNumber("ZAVMO_FAKE_TOOL_DELAY_MS", 300));
        return;
    }
    // Bounded, so that a test that never releases leaves nothing hanging.
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(envNumber("ZAVMO_FAKE_TOOL_MAX_MS", 60000));
    while (fs::exists(hold, ec) && std::chrono::steady_clock::now() < deadline)
        sleepMs(20);
}

void logStart(const Invocation& inv)
{
    const char* file = std::getenv("ZAVMO_FAKE_TOOL_LOG");
    if (!file || !*file)
        return;
    std::string line = std::to_string(::getpid()) + "\t" + inv.name;
    for (const std::string& arg : inv.args)
        line += "\t" + arg;
    line += "\n";
    // One write on an O_APPEND descriptor keeps parallel starts' lines whole.
    const int fd = ::open(file, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0)
        return;
    ssize_t n;
    do {
        n = ::write(fd, line.data(), line.size());
    } while (n < 0 && errno == EINTR);
    ::close(fd);
}

std::string baseName(const std::string& path)
{
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string selfPath(const char* argv0)
{
    std::error_code ec;
    std::string path = fs::read_symlink("/proc/self/exe", ec).string();
    const std::string deleted = " (deleted)";
    if (path.size() > deleted.size() && path.compare(path.size() - deleted.size(), deleted.size(), deleted) == 0)
        path.erase(path.size() - deleted.size());
    return (ec || path.empty()) ? std::string(argv0) : path;
}

// The text after `prefix` in the first argument that starts with it, joined
// with every later argument by one blank: the installers take the rest of
// their command line, which arrives split where the folder had blanks.
bool restAfter(const std::vector<std::string>& args, const std::string& prefix, std::string& out)
{
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i].compare(0, prefix.size(), prefix) != 0)
            continue;
        out = args[i].substr(prefix.size());
        for (size_t j = i + 1; j < args.size(); ++j)
            out += " " + args[j];
        return true;
    }
    return false;
}

// A folder given on a command line, as a Linux path; "" when unusable.
std::string localFolder(const std::string& folder)
{
    if (platform::runtime::isDrivePath(folder) && platform::runtime::windowsRoot().empty()) {
        std::fprintf(stderr, "zavmo-fake-tool: no ZAVMO_WINDOWS_ROOT for %s\n", folder.c_str());
        return std::string();
    }
    const std::string local = platform::runtime::toLocalPath(folder);
    if (local.empty() || local[0] != '/') {
        std::fprintf(stderr, "zavmo-fake-tool: unusable folder \"%s\"\n", folder.c_str());
        return std::string();
    }
    return local;
}

// Copies this program to target through a temporary file, so that a running
// copy of the same name is replaced, not written into.
bool copySelf(const Invocation& inv, const fs::path& target)
{
    std::error_code ec;
    fs::create_directories(target.parent_path(), ec);
    const fs::path temp = target.string() + ".part";
    if (!fs::copy_file(inv.self, temp, fs::copy_options::overwrite_existing, ec)) {
        std::fprintf(stderr, "zavmo-fake-tool: cannot copy to %s: %s\n", temp.c_str(), ec.message().c_str());
        return false;
    }
    fs::permissions(temp, fs::perms(0755), ec);
    fs::rename(temp, target, ec);
    if (ec) {
        std::fprintf(stderr, "zavmo-fake-tool: cannot place %s: %s\n", target.c_str(), ec.message().c_str());
        fs::remove(temp, ec);
        return false;
    }
    return true;
}

const ToolPackage* packageByInstaller(const std::string& name)
{
    for (const ToolPackage& p : packages())
        if (name == p.installer)
            return &p;
    return nullptr;
}

int runToolInstaller(const Invocation& inv)
{
    const ToolPackage* package = packageByInstaller(inv.name);
    std::string folder;
    if (!restAfter(inv.args, "/D=", folder))
        folder = package->defaultFolder;
    const std::string local = localFolder(folder);
    if (local.empty())
        return 1;
    work();
    for (const char* file : package->files)
        if (!copySelf(inv, fs::path(local) / file))
            return 1;
    const fs::path uninstaller = fs::path(local) / package->uninstaller;
    if (!copySelf(inv, uninstaller))
        return 1;
    const std::string key = std::string(kUninstallKey) + package->uninstallKey;
    const bool written =
        platform::registry::writeString(Root::LocalMachine, key, "UninstallString",
                                        "\"" + uninstaller.string() + "\"") &&
        platform::registry::writeString(Root::LocalMachine, key, "DisplayName", package->uninstallKey) &&
        platform::registry::writeString(Root::LocalMachine, key, "InstallLocation", local);
    return written ? 0 : 1;
}

// The program an "UninstallString" names: the quoted part, or all of it.
std::string commandProgram(const std::string& command)
{
    if (command.empty() || command[0] != '"')
        return command;
    const size_t close = command.find('"', 1);
    return close == std::string::npos ? command.substr(1) : command.substr(1, close - 1);
}

int runUninstaller(const Invocation& inv)
{
    std::vector<std::string> keys;
    platform::registry::enumSubKeys(Root::LocalMachine, kUninstallKey, keys);
    for (const ToolPackage& package : packages()) {
        bool listed = false;
        for (const std::string& k : keys)
            listed = listed || k == package.uninstallKey;
        const std::string key = std::string(kUninstallKey) + package.uninstallKey;
        std::string command;
        if (!listed || !platform::registry::readString(Root::LocalMachine, key, "UninstallString", command))
            continue;
        std::error_code ec;
        if (!fs::equivalent(commandProgram(command), inv.self, ec))
            continue;

        work();
        const fs::path folder = fs::path(inv.self).parent_path();
        for (const char* file : package.files) {
            fs::path path = folder / file;
            fs::remove(path, ec);
            // Folders the installer made for the file, once empty.
            for (path = path.parent_path(); path != folder && fs::is_empty(path, ec); path = path.parent_path())
                fs::remove(path, ec);
        }
        fs::remove(inv.self, ec);
        if (fs::is_empty(folder, ec))
            fs::remove(folder, ec);
        return platform::registry::deleteKey(Root::LocalMachine, key) ? 0 : 1;
    }
    std::fprintf(stderr, "zavmo-fake-tool: no Uninstall entry names %s\n", inv.self.c_str());
    return 1;
}

int runTool(const Invocation&)
{
    sleepMs(envNumber("ZAVMO_FAKE_TOOL_MAX_MS", 60000));
    return 0;
}

Json::Value list(std::initializer_list<Json::Value> items)
{
    Json::Value value(Json::arrayValue);
    for (const Json::Value& item : items)
        value.append(item);
    return value;
}

// The companion module as Olvane starts it: reports to Olvane's service.
int runLiveCodeModule(const Invocation& inv)
{
    if (inv.args != std::vector<std::string>{"-Olvane"})
        return runTool(inv);
    std::string log;
    platform::rpc::Client client;
    if (!client.connect("OlvaneService", 5000)) {
        log += "connect failed\n";
    } else {
        const std::pair<const char*, Json::Value> calls[] = {
            {"broadcast_info", list({list({"rtmp://127.0.0.1/live/room", "code-\xE7\x9B\xB4\xE6\x92\xAD"})})},
            {"open_room_msg", list({list({"not a number", 1})})},
            {"open_room_msg", list({list({0, "\xE5\xBC\x80\xE6\x92\xAD\xE6\x88\x90\xE5\x8A\x9F"})})},
            {"liveCodeModuleClose", Json::Value(Json::arrayValue)},
        };
        for (const auto& [procedure, args] : calls) {
            std::string error;
            const bool ok = client.call(procedure, args, nullptr, &error, 5000);
            log += std::string(procedure) + (ok ? " ok" : " error: " + error) + "\n";
        }
    }
    // Whole or not at all: a test waits for this file.
    const fs::path file = fs::path(inv.self).parent_path() / "rpc-client.log";
    const fs::path temp = file.string() + ".part";
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        out << log;
    }
    std::error_code ec;
    fs::rename(temp, file, ec);
    return runTool(inv);
}

int runTresk(const Invocation& inv)
{
    const std::string target = (fs::path(inv.self).parent_path() / "ZVTool.exe").string();
    const std::string folder = fs::path(inv.self).parent_path().string();
    return platform::process::startDetached(target, inv.args, folder) ? 0 : 1;
}

int runUpdater(const Invocation&)
{
    std::error_code ec;
    const fs::path folder = fs::current_path(ec);
    if (ec)
        return 1;
    std::ofstream marker(folder / "updater-started", std::ios::binary | std::ios::trunc);
    marker << folder.string() << "\n";
    marker.close();
    return marker ? 0 : 1;
}

int runNetFramework(const Invocation&)
{
    work();
    return platform::registry::writeNumber(Root::LocalMachine, "SOFTWARE\\Microsoft\\.NETFramework\\v4.0.30319",
                                           "Install", 1)
               ? 0
               : 1;
}

int runVcRedist(const Invocation&)
{
    work();
    const std::string key = std::string(kUninstallKey) + platform::runtime::kVcRedistProducts[0].productCode;
    bool ok = platform::registry::writeString(Root::LocalMachine, key, "DisplayName",
                                              std::string(platform::runtime::kVcRedistDisplayName) + " - 12.0.30501");
    for (const auto& product : platform::runtime::kVcRedistProducts)
        ok = platform::runtime::setMsiProductState(product.productCode, platform::runtime::kMsiStateDefault) && ok;
    return ok ? 0 : 1;
}

int runDirectXPackage(const Invocation& inv)
{
    std::string folder;
    if (!restAfter(inv.args, "-o", folder)) {
        std::fputs("zavmo-fake-tool: DirectX.exe needs -oFOLDER\n", stderr);
        return 1;
    }
    const std::string local = localFolder(folder);
    if (local.empty())
        return 1;
    work();
    const fs::path tool = fs::path(local) / "DirectX Repair V3.3";
    if (!copySelf(inv, tool / "DirectX Repair.exe") || !copySelf(inv, tool / "DirectX_Repair_win8.exe"))
        return 1;
    std::ofstream settings(tool / "Settings.ini", std::ios::binary | std::ios::trunc);
    settings << "[DirectX Repair]\r\nFormStyle=Normal\r\nLanguage=zh-CN\r\n";
    settings.close();
    return settings ? 0 : 1;
}

int runDirectXRepair(const Invocation&)
{
    if (platform::runtime::windowsRoot().empty()) {
        std::fputs("zavmo-fake-tool: no ZAVMO_WINDOWS_ROOT to repair\n", stderr);
        return 1;
    }
    work();
    bool ok = true;
    for (const char* system : {"C:/Windows/Sysnative", "C:/Windows/SysWOW64"}) {
        const fs::path folder = platform::runtime::toLocalPath(system);
        std::error_code ec;
        if (!fs::is_directory(folder, ec))
            continue;
        for (size_t i = 0; i < platform::runtime::kDirectXRuntimeDllCount; ++i) {
            std::ofstream dll(folder / platform::runtime::kDirectXRuntimeDlls[i], std::ios::binary | std::ios::app);
            ok = static_cast<bool>(dll) && ok;
        }
    }
    return ok ? 0 : 1;
}

const std::vector<Role>& roles()
{
    static const std::vector<Role> list = {
        {"OBS_installer.exe", runToolInstaller},
        {"OBS_Studio_installer.exe", runToolInstaller},
        {"ZVTool_installer.exe", runToolInstaller},
        {"ZVShow-installer.exe", runToolInstaller},
        {"Au_.exe", runUninstaller},
        {"Un_A.exe", runUninstaller},
        {"OBS.exe", runTool},
        {"obs32.exe", runTool},
        {"obs64.exe", runTool},
        {"obs", runTool},
        {"ZVTool.exe", runTool},
        {"ZVShow.exe", runTool},
        {"LiveCodeModule.exe", runLiveCodeModule},
        {"Tresk.exe", runTresk},
        {"Update.exe", runUpdater},
        {"NET_Framework4.exe", runNetFramework},
        {"vcredist_x86.exe", runVcRedist},
        {"DirectX.exe", runDirectXPackage},
        {"DirectX Repair.exe", runDirectXRepair},
        {"DirectX_Repair_win8.exe", runDirectXRepair},
    };
    return list;
}

} // namespace

int main(int argc, char** argv)
{
    Invocation inv;
    inv.self = selfPath(argv[0]);
    inv.name = baseName(inv.self);
    inv.args.assign(argv + 1, argv + argc);
    logStart(inv);
    for (const Role& role : roles())
        if (inv.name == role.name)
            return role.run(inv);
    std::fprintf(stderr, "zavmo-fake-tool: no role for the name \"%s\"\n", inv.name.c_str());
    return 2;
}
