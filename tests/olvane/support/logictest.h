#pragma once
// Helpers shared by the logic tests.

#include "qtwait.h"

#include <gtest/gtest.h>

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>

#include <functional>

namespace logictest {

using zavmo::test::settle;

// Writes bytes to path, creating its folders.
inline void put(const QString& path, const QByteArray& bytes)
{
    ASSERT_TRUE(QDir().mkpath(QFileInfo(path).path()));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ASSERT_EQ(file.write(bytes), bytes.size());
}

// The file's bytes, or "<missing>".
inline QByteArray bytesOf(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

// Runs the event loop until done() or the time-out; false on the time-out.
// Longer by default than elsewhere: these tests start and end processes.
inline bool waitFor(const std::function<bool()>& done, int timeoutMs = 10000)
{
    return zavmo::test::waitUntil(done, timeoutMs);
}

} // namespace logictest
