// The program Olvane as a user starts it (offscreen, against the simulator):
// one copy runs, a later copy hands over its message and exits 0, the first
// shows and raises its window; a killed first copy leaves no lock behind; a
// terminated one quits cleanly.
#include "olvanerun.h"

#include "simulator.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <gtest/gtest.h>

#include <memory>

namespace {

using olvanetest::infoLogCount;
using olvanetest::kPaintedText;
using olvanetest::waitForInfoLog;

constexpr int kWaitMs = 15000;
const char* const kActivated = "message from a later copy: Olvane_exe; window visible:1 minimized:0";

class OlvaneProgramTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        sim.setEnvironment();
        program = olvanetest::placeOlvane(QDir::tempPath() + QStringLiteral("/olvane-app"));
        ASSERT_FALSE(program.isEmpty());
    }

    std::unique_ptr<QProcess> start()
    {
        auto process = std::make_unique<QProcess>();
        process->setProgram(program);
        process->setProcessChannelMode(QProcess::ForwardedChannels);
        process->start();
        EXPECT_TRUE(process->waitForStarted(kWaitMs));
        return process;
    }
    // Exit code of a copy that ends by itself; -1 when it did not.
    static int exitCode(QProcess& process)
    {
        if (!process.waitForFinished(kWaitMs)) {
            process.kill();
            process.waitForFinished(kWaitMs);
            return -1;
        }
        return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    }
    static void stop(QProcess& process)
    {
        process.kill();
        process.waitForFinished(kWaitMs);
    }

    zavmo::test::Simulator sim;
    QString program;
};

TEST_F(OlvaneProgramTest, LaterCopyHandsOverAndAKilledFirstLeavesNoLock)
{
    auto first = start();
    ASSERT_TRUE(waitForInfoLog(kPaintedText, 1, kWaitMs));

    auto second = start();
    EXPECT_EQ(exitCode(*second), 0);
    EXPECT_TRUE(waitForInfoLog(kActivated, 1, kWaitMs));
    // The second copy built no window.
    EXPECT_EQ(infoLogCount(kPaintedText), 1);
    EXPECT_EQ(first->state(), QProcess::Running);

    // Killed, the first copy's lock must not stop the next start.
    stop(*first);
    auto third = start();
    ASSERT_TRUE(waitForInfoLog(kPaintedText, 2, kWaitMs));
    EXPECT_EQ(third->state(), QProcess::Running);
    auto fourth = start();
    EXPECT_EQ(exitCode(*fourth), 0);
    EXPECT_TRUE(waitForInfoLog(kActivated, 2, kWaitMs));
    stop(*third);
}

TEST_F(OlvaneProgramTest, TerminationQuitsThroughTheEventLoopAndSavesTheSettings)
{
    // Nothing writes the settings before the quit does.
    const QString settings =
        QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + "/Olvane/systemSetting";
    QFile::remove(settings);
    const int painted = infoLogCount(kPaintedText);
    auto process = start();
    ASSERT_TRUE(waitForInfoLog(kPaintedText, painted + 1, kWaitMs));
    process->terminate();
    EXPECT_EQ(exitCode(*process), 0);
    EXPECT_TRUE(QFileInfo::exists(settings));
}

} // namespace
