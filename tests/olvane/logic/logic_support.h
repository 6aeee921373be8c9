#pragma once
// Shared helpers of the logic tests: a per-test folder, Uninstall entries,
// waiting with the event loop running, and captured log lines.

#include <QString>
#include <QStringList>

#include <functional>

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

// Runs the event loop until done() or the time-out; returns done().
bool waitFor(const std::function<bool()>& done, int timeoutMs = 10000);

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
