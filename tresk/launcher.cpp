#include "launcher.h"

#include "downloader.h"
#include "jsonpostclient.h"
#include "packageunzip.h"
#include "pointreporter.h"
#include "widetext.h"

#include <platform/hosts.h>
#include <platform/process.h>
#include <platform/profile.h>
#include <platform/sysinfo.h>
#include <quv/QuvString.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <thread>

namespace fs = std::filesystem;

namespace tresk {

namespace {

const char kSection[] = "update";
constexpr uint32_t kDownloadTimeoutMs = 3000;
constexpr int kDeleteTries = 10;

// The launcher has no log: diagnostics of the debugger-output kind go to
// standard error.
void debugOutput(const std::string& text)
{
    std::fprintf(stderr, "%s\n", text.c_str());
}

bool sameWord(const std::string& arg, const char* word)
{
    const std::string w(word);
    return arg.size() == w.size() && std::equal(arg.begin(), arg.end(), w.begin(), [](char a, char b) {
               return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
           });
}

// "\" of a path read from a file counts as a separator.
std::string localPath(std::string path)
{
    std::replace(path.begin(), path.end(), '\\', '/');
    return path;
}

std::string readText(const std::string& ini, const char* key)
{
    return platform::profile::readString(ini, kSection, key, std::string());
}

std::string narrow(const std::u16string& wide)
{
    QuvString text(wide.c_str());
    return text.GetUtf8() ? std::string(text.GetUtf8()) : std::string();
}

// Starts the target of the local ini with a parameter text; what becomes of
// the start is not looked at. ShellExecute splits the text by Windows rules.
void startTarget(const std::string& localIni, const std::string& parameters)
{
    const std::string target = localPath(readText(localIni, "target"));
    if (target.empty())
        return;
    platform::process::startDetached(target, platform::process::splitCommandLine(parameters), std::string());
}

bool download(const std::string& url, const std::string& folder, bool preferSecure, std::string* stored)
{
    char16_t path[kDownloadPathCapacity] = {};
    DownloadParams params;
    params.url = utf8ToWide(url);
    params.folder = utf8ToWide(folder);
    params.outPath = path;
    params.timeoutMs = kDownloadTimeoutMs;
    const bool ok = preferSecure ? downloadPreferSecure(params) : downloadFile(params);
    if (stored)
        *stored = narrow(path);
    return ok;
}

std::string withSlash(const std::string& folder)
{
    return (!folder.empty() && folder.back() == '/') ? folder : folder + "/";
}

std::string defaultUpdateBase()
{
    return "http://" + platform::hosts::host(platform::hosts::Kind::StaticCdn, 0, false) + "/client_download/pcclient/";
}

// Makes the run's temporary folder; false when it exists already (someone
// else's) or cannot be made.
bool makeTempFolder(const std::string& folder)
{
    if (::mkdir(folder.c_str(), 0700) == 0)
        return true;
    std::printf("Tresk: cannot use the temporary folder %s\n", folder.c_str());
    return false;
}

// Starts Update.exe and reports "startup_update"; true when it started.
bool handOverToUpdater(const RunContext& context, const std::string& localIni, const std::string& serverIni,
                       const std::string& serverUrl, int serverVersion)
{
    UpdaterInputs inputs;
    inputs.installFolder = context.installFolder;
    inputs.configUrl = serverUrl + std::to_string(serverVersion) + "/ProgramConfig.zdb.zip";
    inputs.serverIni = serverIni;
    inputs.processId = context.processId;
    inputs.tempFolder = context.tempFolder;
    inputs.exePath = context.exePath;
    inputs.related = readText(localIni, "related");

    setVersionNames(utf8ToWide(readText(localIni, "versionName")), utf8ToWide(readText(serverIni, "versionName")));
    setClientType(utf8ToWide(readText(localIni, "appCode")));
    collectMacAddress();
    collectOsName();
    setProcessId(context.processId);
    collectLocalTime();
    PointReporter event("startup_update", 1);
    event.setParam("c_para", "Tresk.exe");

    const UpdaterStart start = updaterStart(inputs, platform::sysinfo::osVersion().major);
    const bool started = platform::process::startDetached(start.program, start.args, start.workDir);
    event.setParam("para", utf8ToWide(start.text).c_str());
    event.send();
    return started;
}

void removeTempFolder(const std::string& folder)
{
    try {
        fs::remove_all(folder);
    } catch (const std::exception& e) {
        std::printf("%s\n", e.what());
    }
}

int updateAndLaunch(const RunContext& context, const std::string& parameters)
{
    const std::string localIni = context.installFolder + "/version.ini";
    const std::string serverIni = context.tempFolder + "/version.ini";
    const int localVersion = readProfileInt(localIni, kSection, "version", 0);

    char16_t descUrl[256] = {};
    long long stamp = -1;
    if (checkForUpdate(localVersion, utf8ToWide(readText(localIni, "appCode")),
                       utf8ToWide(readText(localIni, "versionName")), descUrl, 255, &stamp,
                       readProfileInt(localIni, kSection, "domain", 0)) != 0) {
        startTarget(localIni, parameters);
        return 0;
    }
    if (!makeTempFolder(context.tempFolder)) {
        startTarget(localIni, parameters);
        return 0;
    }

    bool handedOver = false;
    if (download(narrow(descUrl), context.tempFolder, true, nullptr)) {
        const int serverVersion = readProfileInt(serverIni, kSection, "version", 0);
        const std::string serverUrl = readText(serverIni, "url");
        std::string package;
        if (serverVersion > localVersion &&
            download(serverUrl + std::to_string(stamp) + "/Update.zip", context.tempFolder, true, &package)) {
            // A package not unpacked whole (a full disk) counts as a failed download.
            if (unzipAll(context.tempFolder.c_str(), package.c_str())) {
                setVersionCodes(localVersion, serverVersion);
                handedOver = handOverToUpdater(context, localIni, serverIni, serverUrl, serverVersion);
            }
        }
    }
    // Update.exe owns the folder once it runs.
    if (!handedOver) {
        startTarget(localIni, parameters);
        removeTempFolder(context.tempFolder);
    }
    return 0;
}

int checkServerVersion(const RunContext& context)
{
    const std::string localIni = context.installFolder + "/version.ini";
    if (!makeTempFolder(context.tempFolder))
        return 0;
    const std::string base = withSlash(platform::profile::readString(localIni, kSection, "url", defaultUpdateBase()));
    if (!download(base + "version.ini", context.tempFolder, false, nullptr))
        return 0;
    const int local = readProfileInt(localIni, kSection, "version", 0);
    const int server = readProfileInt(context.tempFolder + "/version.ini", kSection, "version", 0);
    return local < server ? kServerNewer : kServerNotNewer;
}

void deleteFolder(const std::string& folder)
{
    const std::string path = localPath(folder);
    if (!folderMayBeDeleted(path)) {
        debugOutput("Tresk: refusing to delete \"" + folder + "\"");
        return;
    }
    for (int tries = 0; tries < kDeleteTries; ++tries) {
        try {
            fs::remove_all(path);
            return;
        } catch (const std::exception& e) {
            debugOutput(e.what());
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

std::string temporaryPath()
{
    const char* tmp = std::getenv("TMPDIR");
    return withSlash(tmp && *tmp ? tmp : "/tmp");
}

} // namespace

bool folderMayBeDeleted(const std::string& folder)
{
    const std::string path = localPath(folder);
    std::error_code ec;
    return !path.empty() && fs::absolute(path, ec).lexically_normal() != "/" && !fs::equivalent(path, "/", ec);
}

int readProfileInt(const std::string& file, const std::string& section, const std::string& key, int fallback)
{
    const std::string text = platform::profile::readString(file, section, key, std::string());
    if (text.empty())
        return fallback;
    const char* p = text.c_str();
    while (*p == ' ' || *p == '\t')
        ++p;
    const bool negative = *p == '-';
    if (*p == '-' || *p == '+')
        ++p;
    long long value = 0;
    for (; std::isdigit(static_cast<unsigned char>(*p)); ++p)
        value = std::min<long long>(value * 10 + (*p - '0'), static_cast<long long>(INT_MAX) + 1);
    value = negative ? -value : value;
    return static_cast<int>(std::clamp<long long>(value, INT_MIN, INT_MAX));
}

UpdaterStart updaterStart(const UpdaterInputs& in, int osMajorVersion)
{
    const std::string pid = std::to_string(in.processId);
    const auto quoted = [](const std::string& text) { return "\"" + text + "\""; };
    UpdaterStart start;
    if (osMajorVersion < 6) {
        start.text = quoted(in.tempFolder + "/Update.exe") + " " + quoted(in.installFolder) + " " +
                     quoted(in.configUrl) + " " + quoted(in.serverIni) + " " + pid + " " + quoted(in.tempFolder) + " " +
                     quoted(in.exePath);
        // The program is the unpacked updater whatever the split makes of its
        // path: a Linux path may hold a quote, which would end it early.
        start.program = in.tempFolder + "/Update.exe";
        std::vector<std::string> argv = platform::process::splitCommandLine(start.text);
        if (!argv.empty())
            start.args.assign(argv.begin() + 1, argv.end());
        return start;
    }
    start.text = quoted(in.installFolder) + " " + quoted(in.configUrl) + " " + quoted(in.serverIni) + " " + pid + " " +
                 quoted(in.tempFolder) + " " + quoted(in.exePath) + " " + quoted(in.related) + " -Admin";
    start.program = in.tempFolder + "/Update.exe";
    start.args = platform::process::splitCommandLine(start.text);
    start.workDir = in.tempFolder;
    return start;
}

int runCommand(const std::vector<std::string>& args, const RunContext& context)
{
    const std::string localIni = context.installFolder + "/version.ini";
    switch (args.size()) {
    case 0:
        updateAndLaunch(context, std::string());
        return 1;
    case 1:
        if (sameWord(args[0], "-check"))
            return checkServerVersion(context);
        if (sameWord(args[0], "-a")) {
            startTarget(localIni, args[0]);
            return 0;
        }
        return updateAndLaunch(context, args[0]);
    case 2:
        if (!sameWord(args[0], "-d"))
            return 0;
        deleteFolder(args[1]);
        return 1;
    default:
        return 1;
    }
}

int runTresk(const std::vector<std::string>& args)
{
    RunContext context;
    std::error_code ec;
    context.exePath = fs::read_symlink("/proc/self/exe", ec).string();
    const size_t slash = context.exePath.rfind('/');
    context.installFolder = slash == std::string::npos ? std::string(".") : context.exePath.substr(0, slash);
    if (context.installFolder.empty())
        context.installFolder = "/";
    if (::chdir(context.installFolder.c_str()) != 0)
        std::printf("Tresk: cannot enter %s\n", context.installFolder.c_str());
    context.processId = static_cast<long>(::getpid());
    context.tempFolder = temporaryPath() + "SDKUpdate" + std::to_string(context.processId);
    return runCommand(args, context);
}

} // namespace tresk
