#include "platform/fileio.h"

#include <gtest/gtest.h>

#include "filesizelimit.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

namespace fileio = platform::fileio;

namespace {

bool isOpen(int fd)
{
    return ::fcntl(fd, F_GETFD) != -1;
}

std::string pattern(size_t size)
{
    std::string s(size, '\0');
    for (size_t i = 0; i < size; ++i)
        s[i] = char('a' + (i * 7) % 26);
    return s;
}

void onAlarm(int) {}

// A fresh folder below the test's temporary folder.
std::string newFolder()
{
    std::string folder = std::string(std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp") + "/replace.XXXXXX";
    return ::mkdtemp(folder.data()) ? folder : std::string();
}

int mode(const std::string& path)
{
    struct stat st
    {
    };
    return ::stat(path.c_str(), &st) == 0 ? int(st.st_mode & 07777) : -1;
}

bool put(const std::string& path, int perms, const std::string& text = "key")
{
    fileio::FileDescriptor fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, perms));
    return fd.valid() && fileio::writeAll(fd.get(), text.data(), text.size());
}

std::string contentOf(const std::string& path)
{
    fileio::FileDescriptor in(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    std::string text;
    return in.valid() && fileio::readToEnd(in.get(), text) ? text : "<unreadable>";
}

std::vector<std::string> entries(const std::string& folder)
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// A save of `path` killed halfway through writing its temporary (by the file
// size limit, without a core dump). The child's pid; 0 when it was not killed.
pid_t killedSave(const std::string& path)
{
    const pid_t child = ::fork();
    if (child == 0) {
        ::prctl(PR_SET_DUMPABLE, 0);
        ::signal(SIGXFSZ, SIG_DFL);
        const rlimit oneByte{1, 1};
        ::setrlimit(RLIMIT_FSIZE, &oneByte);
        fileio::replaceFile(path, "two bytes or more");
        ::_exit(0);
    }
    int status = 0;
    if (child < 0 || ::waitpid(child, &status, 0) != child)
        return 0;
    return WIFSIGNALED(status) && WTERMSIG(status) == SIGXFSZ ? child : 0;
}

// A timer whose signal interrupts blocking calls (no SA_RESTART) every 5 ms
// while it lives. The empty handler stays afterwards, so that a late signal
// cannot end the test program.
class Interrupter
{
public:
    Interrupter()
    {
        struct sigaction sa
        {
        };
        sa.sa_handler = onAlarm;
        ::sigaction(SIGALRM, &sa, nullptr);
        itimerval every{{0, 5000}, {0, 5000}};
        ::setitimer(ITIMER_REAL, &every, nullptr);
    }
    ~Interrupter()
    {
        itimerval off{};
        ::setitimer(ITIMER_REAL, &off, nullptr);
    }
};

} // namespace

TEST(FileIo, DescriptorOwnership)
{
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    {
        fileio::FileDescriptor a(fds[0]);
        fileio::FileDescriptor b(std::move(a));
        EXPECT_FALSE(a.valid());
        EXPECT_EQ(b.get(), fds[0]);
        fileio::FileDescriptor c(fds[1]);
        c = std::move(b); // closes the write end, takes the read end
        EXPECT_FALSE(isOpen(fds[1]));
        EXPECT_TRUE(isOpen(fds[0]));
        const int raw = c.release();
        EXPECT_FALSE(c.valid());
        EXPECT_TRUE(c.close());
        c = fileio::FileDescriptor(raw);
    }
    EXPECT_FALSE(isOpen(fds[0]));
}

TEST(FileIo, TransfersSurviveSignalsAndShortWrites)
{
    // Larger than a pipe's buffer, written while the reader is interrupted:
    // both sides see short transfers and EINTR.
    const std::string data = pattern(3 * 1024 * 1024 + 17);
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    fileio::FileDescriptor in(fds[0]), out(fds[1]);
    std::string got(data.size(), '\0');
    bool read = false;
    {
        Interrupter interrupter;
        std::thread writer([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(30));
            EXPECT_TRUE(fileio::writeAll(out.get(), data.data(), data.size()));
        });
        read = fileio::readAll(in.get(), got.data(), got.size());
        writer.join();
    }
    EXPECT_TRUE(read);
    EXPECT_TRUE(got == data);

    // The end of the file before the count: false with errno 0; readToEnd
    // takes what there is.
    ASSERT_TRUE(fileio::writeAll(out.get(), "tail", 4));
    ASSERT_TRUE(out.close());
    char buffer[8];
    errno = EINVAL;
    EXPECT_FALSE(fileio::readAll(in.get(), buffer, sizeof buffer)); // 4 of 8 bytes
    EXPECT_EQ(errno, 0);

    ASSERT_EQ(::pipe(fds), 0);
    fileio::FileDescriptor in2(fds[0]), out2(fds[1]);
    ASSERT_TRUE(fileio::writeAll(out2.get(), "line one\nline two\n", 18));
    out2.close();
    std::string text = "kept:";
    EXPECT_TRUE(fileio::readToEnd(in2.get(), text));
    EXPECT_EQ(text, "kept:line one\nline two\n");
}

TEST(FileIo, FailuresCarryErrno)
{
    fileio::FileDescriptor full(::open("/dev/full", O_WRONLY | O_CLOEXEC));
    ASSERT_TRUE(full.valid());
    EXPECT_FALSE(fileio::writeAll(full.get(), "x", 1));
    EXPECT_EQ(errno, ENOSPC);

    fileio::FileDescriptor folder(::open("/", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    std::string text;
    EXPECT_FALSE(fileio::readToEnd(folder.get(), text));
    EXPECT_EQ(errno, EISDIR);
    char c;
    EXPECT_FALSE(fileio::readAll(folder.get(), &c, 1));
    EXPECT_EQ(errno, EISDIR);
    EXPECT_LT(fileio::readSome(-1, &c, 1), 0);
    EXPECT_EQ(errno, EBADF);

    // A close() that fails is reported: a descriptor no longer open.
    const int stale = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    ASSERT_GE(stale, 0);
    ::close(stale);
    fileio::FileDescriptor gone(stale);
    EXPECT_FALSE(gone.close());
    EXPECT_EQ(errno, EBADF);
}

TEST(FileIo, ReplacedFilesAreBornPrivateKeepTheirModeAndSweepKilledTemporaries)
{
    const std::string folder = newFolder();
    ASSERT_FALSE(folder.empty());
    const std::string file = folder + "/service.json";
    // A killed save's temporary, a folder of that shape (beyond any pid), and
    // the temporary of a save still running in another process.
    const pid_t killed = killedSave(file);
    ASSERT_GT(killed, 0);
    const std::string killedTemporary = file + ".tmp." + std::to_string(killed);
    ASSERT_EQ(mode(killedTemporary), 0600);
    ASSERT_EQ(::mkdir((file + ".tmp.99999999").c_str(), 0700), 0);
    ASSERT_TRUE(put(file + ".tmp.old", 0644));
    const std::string runningTemporary = file + ".tmp." + std::to_string(::getppid());
    ASSERT_TRUE(put(runningTemporary, 0600));

    ::umask(022);
    ASSERT_TRUE(fileio::replaceFile(file, "{}"));
    EXPECT_EQ(mode(file), 0600);
    EXPECT_EQ(mode(killedTemporary), -1);
    EXPECT_EQ(mode(file + ".tmp.99999999"), 0700);
    EXPECT_EQ(mode(file + ".tmp.old"), 0644);
    EXPECT_EQ(mode(runningTemporary), 0600);

    ASSERT_EQ(::chmod(file.c_str(), 0640), 0);
    ASSERT_TRUE(fileio::replaceFile(file, "{\"a\": 1}"));
    EXPECT_EQ(mode(file), 0640);
    EXPECT_EQ(contentOf(file), "{\"a\": 1}");

    EXPECT_FALSE(fileio::replaceFile(folder + "/missing/x.ini", "x"));
    EXPECT_EQ(errno, ENOENT);
    std::filesystem::remove_all(folder);
}

TEST(FileIo, ANameTooLongForItsTemporaryIsSavedAndSweptAllTheSame)
{
    const std::string folder = newFolder();
    ASSERT_FALSE(folder.empty());
    // 250 bytes: "<name>.tmp.<pid>" cannot be a file name.
    std::string name;
    for (int i = 0; i < 27; ++i)
        name += "未命名";
    name += "-2.json";
    const std::string file = folder + "/" + name;
    EXPECT_TRUE(fileio::replaceFile(file, "{}"));
    ASSERT_GT(killedSave(file), 0);
    ASSERT_EQ(entries(folder).size(), 2u);
    ASSERT_TRUE(fileio::replaceFile(file, "{\"a\": 1}"));
    EXPECT_EQ(entries(folder), std::vector<std::string>{name});
    EXPECT_EQ(contentOf(file), "{\"a\": 1}");
    std::filesystem::remove_all(folder);
}

TEST(FileIo, ALinkIsWrittenThroughAndStaysALink)
{
    const std::string folder = newFolder();
    ASSERT_FALSE(folder.empty());
    ASSERT_TRUE(put(folder + "/real.json", 0600, "{}"));
    ASSERT_EQ(::symlink("real.json", (folder + "/service.json").c_str()), 0);
    ASSERT_TRUE(fileio::replaceFile(folder + "/service.json", "{\"a\": 1}"));
    struct stat st
    {
    };
    EXPECT_TRUE(::lstat((folder + "/service.json").c_str(), &st) == 0 && S_ISLNK(st.st_mode));
    EXPECT_EQ(contentOf(folder + "/real.json"), "{\"a\": 1}");
    std::filesystem::remove_all(folder);
}

TEST(FileIo, AFailedSaveLeavesTheOldFileAndNoTemporary)
{
    const std::string folder = newFolder();
    ASSERT_FALSE(folder.empty());
    const std::string file = folder + "/service.json";
    ASSERT_TRUE(put(file, 0600, "{}"));
    {
        zavmo::test::FileSizeLimit full(4);
        ASSERT_TRUE(full.set());
        EXPECT_FALSE(fileio::replaceFile(file, "{\"server\": \"rtmp://x\"}"));
    }
    EXPECT_EQ(entries(folder), std::vector<std::string>{"service.json"});
    EXPECT_EQ(contentOf(file), "{}");
    std::filesystem::remove_all(folder);
}
