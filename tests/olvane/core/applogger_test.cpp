#include "core/applogger.h"

#include <gtest/gtest.h>

#include <QDate>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>

namespace {

QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

class AppLoggerTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        QDir(QDir::tempPath() + "/Olvane").removeRecursively();
        AppLogger::instance().install();
    }
    void TearDown() override { AppLogger::instance().uninstall(); }
};

} // namespace

TEST_F(AppLoggerTest, RoutesEachTypeToItsDailyFileWithTheLineFormat)
{
    const QString day = QDate::currentDate().toString("MMdd_");
    const QString folder = QDir::tempPath() + "/Olvane/";
    EXPECT_EQ(AppLogger::logFilePath(QtDebugMsg), folder + day + "debug.log");
    EXPECT_EQ(AppLogger::logFilePath(QtInfoMsg), folder + day + "info.log");
    EXPECT_EQ(AppLogger::logFilePath(QtCriticalMsg), folder + day + "error.log");

    qInfo("[UI] by kx 直播 {ok}");
    qWarning("w1");
    qCritical("c1");
    qDebug("d1");

    const QByteArray info = readAll(folder + day + "info.log");
    const QRegularExpression line(
        "^\\[\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d\\d\\d\\]:  Info: \\[UI\\] by kx 直播 \\{ok\\}\r\n$");
    EXPECT_TRUE(line.match(QString::fromUtf8(info)).hasMatch()) << info.constData();

    const QString errors = QString::fromUtf8(readAll(folder + day + "error.log"));
    EXPECT_TRUE(errors.contains("  Warning: w1\r\n"));
    EXPECT_TRUE(errors.contains("  Critical: c1\r\n"));
    EXPECT_TRUE(readAll(folder + day + "debug.log").endsWith("  Debug: d1\r\n"));
}

TEST_F(AppLoggerTest, EmptyMessageWritesOnlyALineBreakAndMissingFolderIsRecreated)
{
    qInfo("first");
    QDir(QDir::tempPath() + "/Olvane").removeRecursively();
    qInfo("%s", "");
    EXPECT_EQ(readAll(AppLogger::logFilePath(QtInfoMsg)), QByteArray("\r\n"));
}

TEST_F(AppLoggerTest, LinesFromTwoThreadsStayWhole)
{
    const int perThread = 300;
    auto work = [](char tag) {
        for (int i = 0; i < perThread; ++i)
            qDebug("%s", QByteArray(120, tag).constData());
    };
    QThread* a = QThread::create(work, 'a');
    QThread* b = QThread::create(work, 'b');
    a->start();
    b->start();
    a->wait();
    b->wait();
    delete a;
    delete b;

    const QList<QByteArray> lines = readAll(AppLogger::logFilePath(QtDebugMsg)).split('\n');
    int count = 0;
    const QRegularExpression whole("^\\[[^]]+\\]:  Debug: (a{120}|b{120})\r$");
    for (const QByteArray& l : lines) {
        if (l.isEmpty())
            continue;
        ++count;
        EXPECT_TRUE(whole.match(QString::fromLatin1(l)).hasMatch()) << l.constData();
    }
    EXPECT_EQ(count, 2 * perThread);
}

// Files holding `text` in every folder the test may write (HOME, the XDG
// folders, TMPDIR), one per line.
std::string filesHolding(const QByteArray& text)
{
    std::string found;
    const QString root = qEnvironmentVariable("ZAVMO_TEST_ROOT");
    for (const char* folder : {"home", "config", "data", "cache", "tmp", "runtime"}) {
        QDirIterator it(root + "/" + folder, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString path = it.next();
            if (readAll(path).contains(text))
                found += path.toStdString() + "\n";
        }
    }
    return found;
}

TEST_F(AppLoggerTest, UnopenableFileDropsTheMessageWithoutHanging)
{
    // A folder in place of the log file: opening it fails.
    ASSERT_TRUE(QDir().mkpath(AppLogger::logFilePath(QtInfoMsg)));
    qInfo("lost");
    qInfo("lost again");
    qWarning("kept");
    // The message went nowhere else: not into another log, not below the folder.
    ASSERT_FALSE(qEnvironmentVariable("ZAVMO_TEST_ROOT").isEmpty());
    EXPECT_EQ(filesHolding("lost"), "");
    EXPECT_EQ(filesHolding("kept"), AppLogger::logFilePath(QtWarningMsg).toStdString() + "\n");
    EXPECT_TRUE(QFileInfo(AppLogger::logFilePath(QtInfoMsg)).isDir());
}

TEST_F(AppLoggerTest, LogFilesAreNeverOpenedThroughALink)
{
    QTemporaryDir elsewhere;
    const QString victim = elsewhere.filePath("victim");
    QFile file(victim);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("victim");
    file.close();
    const QString log = AppLogger::logFilePath(QtInfoMsg);
    ASSERT_TRUE(QFile::link(victim, log));
    QFile::link(elsewhere.filePath("dangling"), AppLogger::logFilePath(QtDebugMsg));
    qInfo("appended?");
    qDebug("created?");
    EXPECT_EQ(readAll(victim), "victim");
    EXPECT_FALSE(QFileInfo::exists(elsewhere.filePath("dangling")));
}
