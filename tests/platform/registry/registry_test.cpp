#include "platform/registry.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

extern char** environ;

namespace fs = std::filesystem;
using namespace platform::registry;

namespace {

constexpr Root LM = Root::LocalMachine;
constexpr Root CU = Root::CurrentUser;
const std::string kUninstall = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";

std::string readFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::string str(Root root, const std::string& path, const std::string& name)
{
    std::string out = "<missing>";
    readString(root, path, name, out);
    return out;
}

// Runs zavmo-reg in its own process; returns the exit status, stdout in *out.
int runTool(const std::vector<std::string>& args, std::string* out = nullptr)
{
    std::vector<std::string> store{ZAVMO_REG_TOOL};
    store.insert(store.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : store)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0)
        return -1;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
    pid_t pid = 0;
    const int rc = posix_spawn(&pid, store[0].c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    std::string text;
    char buf[256];
    for (ssize_t n; rc == 0 && (n = read(fds[0], buf, sizeof buf)) > 0;)
        text.append(buf, n);
    close(fds[0]);
    if (rc != 0)
        return -1;
    int status = 0;
    waitpid(pid, &status, 0);
    if (out)
        *out = text;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

class RegistryTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        const char* file = std::getenv("ZAVMO_REGISTRY");
        ASSERT_TRUE(file && *file) << "run through run-isolated.sh";
        file_ = file;
        fs::remove(file_);
    }
    void TearDown() override { setenv("ZAVMO_REGISTRY", file_.c_str(), 1); }

    std::string file_;
};

} // namespace

TEST_F(RegistryTest, StringAndNumberRoundTrip)
{
    EXPECT_FALSE(keyExists(LM, kUninstall));
    ASSERT_TRUE(writeString(LM, kUninstall + "\\OBS Studio", "UninstallString", "/opt/obs-studio/uninstall.exe"));
    ASSERT_TRUE(writeNumber(LM, kUninstall + "\\OBS Studio", "EstimatedSize", 0xFFFFFFFFu));
    ASSERT_TRUE(writeString(CU, "Software\\Zavmo", "", "默认值 default"));
    EXPECT_TRUE(keyExists(LM, "SOFTWARE\\Microsoft"));
    EXPECT_EQ(str(LM, kUninstall + "\\OBS Studio", "UninstallString"), "/opt/obs-studio/uninstall.exe");
    EXPECT_EQ(str(CU, "Software\\Zavmo", ""), "默认值 default");
    uint32_t number = 0;
    EXPECT_TRUE(readNumber(LM, kUninstall + "\\OBS Studio", "EstimatedSize", number));
    EXPECT_EQ(number, 0xFFFFFFFFu);

    // Wrong type, missing value, missing key, the other root.
    std::string text = "unchanged";
    EXPECT_FALSE(readString(LM, kUninstall + "\\OBS Studio", "EstimatedSize", text));
    EXPECT_FALSE(readNumber(LM, kUninstall + "\\OBS Studio", "UninstallString", number));
    EXPECT_FALSE(readString(LM, kUninstall + "\\OBS Studio", "DisplayName", text));
    EXPECT_FALSE(readString(LM, kUninstall + "\\Other", "UninstallString", text));
    EXPECT_FALSE(keyExists(CU, kUninstall));
    EXPECT_EQ(text, "unchanged");

    // A rewrite may change the type.
    ASSERT_TRUE(writeString(LM, kUninstall + "\\OBS Studio", "EstimatedSize", "12"));
    EXPECT_FALSE(readNumber(LM, kUninstall + "\\OBS Studio", "EstimatedSize", number));
    EXPECT_EQ(str(LM, kUninstall + "\\OBS Studio", "EstimatedSize"), "12");
}

TEST_F(RegistryTest, NamesIgnoreCaseButKeepIt)
{
    ASSERT_TRUE(writeString(LM, "SOFTWARE\\Zavmo", "InstallPath", "/opt/zavmo"));
    ASSERT_TRUE(writeString(LM, "software\\ZAVMO", "INSTALLPATH", "/opt/zavmo2"));
    ASSERT_TRUE(createKey(LM, "\\Software\\\\zavmo\\")); // stray separators are ignored
    EXPECT_EQ(str(LM, "Software\\zavmo", "installpath"), "/opt/zavmo2");
    std::vector<std::string> keys;
    ASSERT_TRUE(enumSubKeys(LM, "SOFTWARE", keys));
    EXPECT_EQ(keys, std::vector<std::string>{"Zavmo"});
    const std::string json = readFile(file_);
    EXPECT_NE(json.find("\"InstallPath\""), std::string::npos);
    EXPECT_EQ(json.find("INSTALLPATH"), std::string::npos);
}

TEST_F(RegistryTest, EnumerateAndDelete)
{
    std::vector<std::string> keys{"stale"};
    EXPECT_FALSE(enumSubKeys(LM, kUninstall, keys));
    EXPECT_TRUE(keys.empty());
    for (const char* name : {"OBS Studio", "Alpha", "obs32", "Beta"})
        ASSERT_TRUE(createKey(LM, kUninstall + "\\" + name));
    ASSERT_TRUE(writeString(LM, kUninstall + "\\Alpha\\Deep\\Deeper", "v", "x"));
    ASSERT_TRUE(enumSubKeys(LM, kUninstall, keys));
    EXPECT_EQ(keys, (std::vector<std::string>{"OBS Studio", "Alpha", "obs32", "Beta"}));
    ASSERT_TRUE(enumSubKeys(LM, kUninstall + "\\Beta", keys));
    EXPECT_TRUE(keys.empty());

    EXPECT_TRUE(deleteKey(LM, kUninstall + "\\alpha")); // recursive
    EXPECT_FALSE(keyExists(LM, kUninstall + "\\Alpha\\Deep\\Deeper"));
    EXPECT_FALSE(deleteKey(LM, kUninstall + "\\Alpha"));
    EXPECT_FALSE(deleteKey(LM, ""));
    ASSERT_TRUE(enumSubKeys(LM, kUninstall, keys));
    EXPECT_EQ(keys, (std::vector<std::string>{"OBS Studio", "obs32", "Beta"}));

    ASSERT_TRUE(writeNumber(LM, kUninstall + "\\Beta", "Count", 3));
    EXPECT_TRUE(deleteValue(LM, kUninstall + "\\Beta", "COUNT"));
    EXPECT_FALSE(deleteValue(LM, kUninstall + "\\Beta", "Count"));
    EXPECT_FALSE(deleteValue(LM, kUninstall + "\\Gamma", "Count"));
    EXPECT_TRUE(keyExists(LM, kUninstall + "\\Beta"));
}

TEST_F(RegistryTest, DefaultFileUnderConfigFolder)
{
    unsetenv("ZAVMO_REGISTRY");
    const std::string config = std::getenv("XDG_CONFIG_HOME");
    EXPECT_EQ(registryFilePath(), config + "/zavmo/registry.json");
    ASSERT_TRUE(writeNumber(CU, "Software\\Zavmo", "Env", 2)); // creates the folder
    EXPECT_TRUE(fs::is_regular_file(config + "/zavmo/registry.json"));
    fs::remove_all(config + "/zavmo");
}

TEST_F(RegistryTest, CorruptFileIsNeverOverwritten)
{
    for (const std::string bad :
         {"{ \"HKEY_LOCAL_MACHINE\": ", "[1, 2]", "{\"HKEY_CURRENT_USER\": {\"keys\": [{\"values\": []}]}}"}) {
        std::ofstream(file_, std::ios::trunc) << bad;
        EXPECT_FALSE(keyExists(CU, ""));
        EXPECT_FALSE(writeString(LM, "SOFTWARE\\X", "a", "b")) << bad;
        EXPECT_FALSE(createKey(LM, "SOFTWARE"));
        EXPECT_EQ(readFile(file_), bad);
    }
    // An empty file holds nothing to lose.
    std::ofstream(file_, std::ios::trunc) << "\n";
    EXPECT_TRUE(writeString(LM, "SOFTWARE\\X", "a", "b"));
    EXPECT_EQ(str(LM, "SOFTWARE\\X", "a"), "b");
}

TEST_F(RegistryTest, FailedSaveIsReported)
{
    const fs::path plain = fs::path(file_).parent_path() / "plain-file";
    std::ofstream(plain) << "x";
    setenv("ZAVMO_REGISTRY", (plain / "registry.json").c_str(), 1); // ENOTDIR
    EXPECT_FALSE(writeString(LM, "SOFTWARE\\X", "a", "b"));
    EXPECT_FALSE(keyExists(LM, "SOFTWARE\\X"));
    const fs::path folder = fs::path(file_).parent_path() / "folder.json";
    fs::create_directories(folder);
    setenv("ZAVMO_REGISTRY", folder.c_str(), 1); // unreadable as a file
    EXPECT_FALSE(writeNumber(LM, "SOFTWARE\\X", "a", 1));
    EXPECT_TRUE(fs::is_directory(folder));
}

TEST_F(RegistryTest, OtherProcessesSeeEachOthersWrites)
{
    ASSERT_EQ(runTool({"set-string", "HKLM", kUninstall + "\\OBS Studio", "UninstallString",
                       "\"/opt/obs/uninstall.exe\" /S"}),
              0);
    ASSERT_EQ(runTool({"set-number", "HKCU", "Software\\Zavmo", "Port", "0x1F90"}), 0);
    EXPECT_EQ(str(LM, kUninstall + "\\obs studio", "UninstallString"), "\"/opt/obs/uninstall.exe\" /S");
    uint32_t port = 0;
    EXPECT_TRUE(readNumber(CU, "Software\\Zavmo", "Port", port));
    EXPECT_EQ(port, 8080u);

    ASSERT_TRUE(writeString(LM, "SOFTWARE\\Zavmo", "Path", "/opt/zavmo"));
    std::string out;
    EXPECT_EQ(runTool({"get", "HKLM", "software\\zavmo", "path"}, &out), 0);
    EXPECT_EQ(out, "/opt/zavmo\n");
    EXPECT_EQ(runTool({"get", "HKCU", "Software\\Zavmo", "Port"}, &out), 0);
    EXPECT_EQ(out, "8080\n");
    EXPECT_EQ(runTool({"delete-value", "HKCU", "Software\\Zavmo", "Port"}), 0);
    EXPECT_EQ(runTool({"get", "HKCU", "Software\\Zavmo", "Port"}), 1);
    EXPECT_EQ(runTool({"delete-key", "HKLM", kUninstall}), 0);
    EXPECT_FALSE(keyExists(LM, kUninstall + "\\OBS Studio"));
    EXPECT_EQ(runTool({"set-number", "HKLM", "X", "n", "4294967296"}), 2);
    EXPECT_EQ(runTool({"get", "HKXX", "X", "n"}), 2);
}

TEST_F(RegistryTest, ConcurrentWritersLoseNothing)
{
    constexpr int kProcesses = 6, kThreads = 2, kValues = 15;
    std::vector<pid_t> children;
    for (int p = 0; p < kProcesses; ++p) {
        const pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            bool ok = true;
            for (int v = 0; v < kValues; ++v)
                ok = writeNumber(LM, "SOFTWARE\\Race\\P" + std::to_string(p), "v" + std::to_string(v), v) && ok;
            _exit(ok ? 0 : 1);
        }
        children.push_back(pid);
    }
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([t] {
            for (int v = 0; v < kValues; ++v)
                EXPECT_TRUE(writeString(LM, "SOFTWARE\\Race\\T" + std::to_string(t), "v" + std::to_string(v),
                                        std::to_string(v)));
        });
    for (auto& thread : threads)
        thread.join();
    for (pid_t pid : children) {
        int status = -1;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    std::vector<std::string> keys;
    ASSERT_TRUE(enumSubKeys(LM, "SOFTWARE\\Race", keys));
    EXPECT_EQ(keys.size(), static_cast<size_t>(kProcesses + kThreads));
    for (int p = 0; p < kProcesses; ++p)
        for (int v = 0; v < kValues; ++v) {
            uint32_t n = 99;
            EXPECT_TRUE(readNumber(LM, "SOFTWARE\\Race\\P" + std::to_string(p), "v" + std::to_string(v), n));
            EXPECT_EQ(n, static_cast<uint32_t>(v));
        }
    for (int t = 0; t < kThreads; ++t)
        for (int v = 0; v < kValues; ++v)
            EXPECT_EQ(str(LM, "SOFTWARE\\Race\\T" + std::to_string(t), "v" + std::to_string(v)), std::to_string(v));
    // No temporary files are left behind.
    for (const auto& e : fs::directory_iterator(fs::path(file_).parent_path()))
        EXPECT_EQ(e.path().filename().string().find(".tmp."), std::string::npos);
}

TEST_F(RegistryTest, DeepKeysUpToTheWindowsLimitAndNoFurther)
{
    std::string path = "SOFTWARE";
    for (int depth = 2; depth <= 512; ++depth)
        path += "\\k";
    ASSERT_TRUE(writeString(CU, path, "v", "deep"));
    EXPECT_EQ(str(CU, path, "v"), "deep");
    std::string out;
    EXPECT_EQ(runTool({"get", "HKCU", path, "v"}, &out), 0);
    EXPECT_EQ(out, "deep\n");

    // One level more could not be read back: refused, and the file stays usable.
    EXPECT_FALSE(writeString(CU, path + "\\k", "v", "too deep"));
    EXPECT_FALSE(createKey(CU, path + "\\k"));
    EXPECT_FALSE(keyExists(CU, path + "\\k"));
    EXPECT_TRUE(writeNumber(LM, "SOFTWARE\\Zavmo", "n", 1));
    EXPECT_EQ(str(CU, path, "v"), "deep");
}

TEST_F(RegistryTest, FileNestedPastTheParserLimitIsCorruptNotAnAbort)
{
    // jsoncpp throws at its nesting limit; every call must fail cleanly instead.
    std::string bad = "{\"HKEY_CURRENT_USER\": ";
    for (int i = 0; i < 5000; ++i)
        bad += "[";
    std::ofstream(file_, std::ios::trunc) << bad;
    EXPECT_FALSE(keyExists(CU, ""));
    EXPECT_FALSE(writeString(LM, "SOFTWARE\\X", "a", "b"));
    std::vector<std::string> keys;
    EXPECT_FALSE(enumSubKeys(CU, "", keys));
    EXPECT_EQ(runTool({"get", "HKLM", "SOFTWARE\\X", "a"}), 1);
    EXPECT_EQ(runTool({"set-string", "HKLM", "SOFTWARE\\X", "a", "b"}), 1);
    EXPECT_EQ(readFile(file_), bad);
}

TEST_F(RegistryTest, WriteRemovesTemporariesOfKilledSavesAndKeepsPermissions)
{
    ASSERT_TRUE(writeString(LM, "SOFTWARE\\Zavmo", "a", "1"));
    ASSERT_EQ(chmod(file_.c_str(), 0640), 0);
    const fs::path folder = fs::path(file_).parent_path();
    const std::string base = fs::path(file_).filename().string();
    for (const char* suffix : {".tmp.Ab3xYz", ".tmp.000000"})
        std::ofstream(folder / (base + suffix)) << "{}";
    std::ofstream(folder / "other.json.tmp.Ab3xYz") << "{}";
    std::ofstream(folder / (base + ".tmp.keep-me")) << "{}"; // not a name our saves use

    ASSERT_TRUE(writeString(LM, "SOFTWARE\\Zavmo", "a", "2"));
    EXPECT_FALSE(fs::exists(folder / (base + ".tmp.Ab3xYz")));
    EXPECT_FALSE(fs::exists(folder / (base + ".tmp.000000")));
    EXPECT_TRUE(fs::exists(folder / "other.json.tmp.Ab3xYz"));
    EXPECT_TRUE(fs::exists(folder / (base + ".tmp.keep-me")));
    EXPECT_EQ(str(LM, "SOFTWARE\\Zavmo", "a"), "2");

    struct stat st
    {
    };
    ASSERT_EQ(stat(file_.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
}
