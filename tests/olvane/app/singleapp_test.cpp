// The single-instance application with real processes: the later copy hands
// its message to the first, which brings its window forward; a killed first
// copy leaves nothing that stops the next start.
#include "app/qtlocalpeer.h"

#include <QFile>
#include <QProcess>
#include <gtest/gtest.h>

#include <signal.h>

namespace {

constexpr int kWaitMs = 10000;

struct Peer
{
    std::unique_ptr<QProcess> process = std::make_unique<QProcess>();

    explicit Peer(const QStringList& args)
    {
        process->setProgram(QStringLiteral(PEER_PROGRAM));
        process->setArguments(args);
        process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process->start();
    }
    ~Peer()
    {
        if (process->state() != QProcess::NotRunning) {
            ::kill(static_cast<pid_t>(process->processId()), SIGCONT);
            process->kill();
            process->waitForFinished(kWaitMs);
        }
    }
    // The next line of output, "" when none came in time.
    QString line()
    {
        while (!process->canReadLine())
            if (!process->waitForReadyRead(kWaitMs))
                return {};
        return QString::fromUtf8(process->readLine()).trimmed();
    }
    int exitCode()
    {
        EXPECT_TRUE(process->waitForFinished(kWaitMs));
        return process->exitStatus() == QProcess::NormalExit ? process->exitCode() : -1;
    }
};

TEST(SingleInstance, LaterCopyDeliversItsMessageAndTheFirstShowsItsWindow)
{
    Peer first({"Olvane_exe"});
    ASSERT_EQ(first.line(), "first");
    Peer second({"Olvane_exe"});
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_EQ(first.line(), "received:Olvane_exe visible:1 minimized:0");
    EXPECT_EQ(first.exitCode(), 0);
}

TEST(SingleInstance, MessagesKeepTheirTextAndIdentifiersAreApart)
{
    Peer first({"zavmo-a"});
    ASSERT_EQ(first.line(), "first");
    // Another identifier is a first copy of its own.
    Peer other({"zavmo-b"});
    EXPECT_EQ(other.line(), "first");
    Peer second({"zavmo-a", "打开 窗口"});
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_EQ(first.line(), "received:打开 窗口 visible:1 minimized:0");
}

TEST(SingleInstance, FirstCopyThatDoesNotAnswerMakesTheSecondExitWithOne)
{
    Peer first({"zavmo-stopped"});
    ASSERT_EQ(first.line(), "first");
    ::kill(static_cast<pid_t>(first.process->processId()), SIGSTOP);
    Peer second({"zavmo-stopped", "Olvane_exe", "300"});
    EXPECT_EQ(second.exitCode(), 1);
}

TEST(SingleInstance, KilledFirstCopyLeavesNoStaleLock)
{
    {
        Peer first({"zavmo-killed"});
        ASSERT_EQ(first.line(), "first");
        first.process->kill();
        ASSERT_TRUE(first.process->waitForFinished(kWaitMs));
    }
    EXPECT_TRUE(QFile::exists(QtLocalPeer::lockFilePath("zavmo-killed")));
    EXPECT_TRUE(QFile::exists(QtLocalPeer::socketPath("zavmo-killed")));

    Peer next({"zavmo-killed"});
    EXPECT_EQ(next.line(), "first");
    Peer later({"zavmo-killed"});
    EXPECT_EQ(later.exitCode(), 0);
    EXPECT_EQ(next.line(), "received:Olvane_exe visible:1 minimized:0");
}

TEST(SingleInstance, PeersInOneProcess)
{
    QtLocalPeer first("zavmo-local");
    EXPECT_FALSE(first.isClient());
    // The first copy has nobody to send to.
    EXPECT_FALSE(first.sendMessage("x", 100));
    QtLocalPeer second("zavmo-local");
    EXPECT_TRUE(second.isClient());
    EXPECT_EQ(second.applicationId(), "zavmo-local");
    EXPECT_TRUE(QtLocalPeer::lockFilePath("a/b c").endsWith(QStringLiteral("/a_b_c-%1.lock").arg(::getuid())));
}

TEST(SingleInstance, LockIsFreedWithTheFirstCopy)
{
    {
        QtLocalPeer first("zavmo-freed");
        ASSERT_FALSE(first.isClient());
    }
    QtLocalPeer next("zavmo-freed");
    EXPECT_FALSE(next.isClient());
}

} // namespace
