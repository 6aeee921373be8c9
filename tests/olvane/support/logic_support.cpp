#include "logic_support.h"

#include "core/pathlayout.h"

#include "platform/registry.h"

#include <QDir>
#include <QMutex>
#include <QSettings>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdio>

namespace logictest {

namespace {

QMutex g_logMutex;
QStringList g_log;
QtMessageHandler g_previous = nullptr;

// The monitor's thread logs too: the handler chain is read under the lock.
void capture(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    QtMessageHandler previous = nullptr;
    {
        QMutexLocker locker(&g_logMutex);
        g_log.append(message);
        previous = g_previous;
    }
    if (previous && type != QtDebugMsg)
        previous(type, context, message);
}

// Every test starts with an empty registry.
class RegistryReset : public ::testing::EmptyTestEventListener
{
    void OnTestStart(const ::testing::TestInfo&) override
    {
        std::remove(platform::registry::registryFilePath().c_str());
    }
};

const bool g_registryReset = [] {
    ::testing::UnitTest::GetInstance()->listeners().Append(new RegistryReset);
    return true;
}();

} // namespace

TestFolder::TestFolder()
{
    const QString root = qEnvironmentVariable("ZAVMO_TEST_ROOT", QDir::tempPath());
    QTemporaryDir dir(root + QStringLiteral("/logic-XXXXXX"));
    dir.setAutoRemove(false);
    m_path = dir.path();
}

TestFolder::~TestFolder()
{
    QDir(m_path).removeRecursively();
}

void writeUninstallEntry(const QString& key, const QString& uninstallString)
{
    platform::registry::writeString(platform::registry::Root::LocalMachine,
                                    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" + key.toStdString(),
                                    "UninstallString", uninstallString.toStdString());
}

QVariant storedSetting(const QString& key)
{
    return QSettings(getSystemSettingPath(), QSettings::IniFormat).value(key);
}

LogCapture::LogCapture()
{
    QMutexLocker locker(&g_logMutex);
    g_log.clear();
    g_previous = qInstallMessageHandler(capture);
}

LogCapture::~LogCapture()
{
    QMutexLocker locker(&g_logMutex);
    qInstallMessageHandler(g_previous);
    g_previous = nullptr;
}

QStringList LogCapture::lines() const
{
    QMutexLocker locker(&g_logMutex);
    return g_log;
}

bool LogCapture::contains(const QString& text) const
{
    for (const QString& line : lines())
        if (line.contains(text))
            return true;
    return false;
}

} // namespace logictest
