#pragma once
// Shared helpers of the logic tests: a per-test folder, Uninstall entries,
// waiting with the event loop running (logictest.h), captured log lines, and
// the settings file as it is on disk.

#include "logictest.h"

#include <QString>
#include <QStringList>
#include <QVariant>

namespace logictest {

// A fresh folder below the test's own root, removed by the destructor.
class TestFolder
{
public:
    TestFolder();
    ~TestFolder();
    QString path() const { return m_path; }
    // path() + "/" + name
    QString operator/(const QString& name) const { return m_path + QStringLiteral("/") + name; }

private:
    QString m_path;
};

// Writes HKLM ...\Uninstall\<key> "UninstallString".
void writeUninstallEntry(const QString& key, const QString& uninstallString);

// The value of `key` ("Group/name") in the settings file now, whatever a
// settings object holds in memory.
QVariant storedSetting(const QString& key);

// Collects every log line while alive.
class LogCapture
{
public:
    LogCapture();
    ~LogCapture();
    QStringList lines() const;
    bool contains(const QString& text) const;
};

} // namespace logictest
