#pragma once
// Writes "deault.data" beside the test program.

#include <QByteArray>
#include <QCoreApplication>
#include <QDateTime>
#include <QFile>

inline bool writeDeaultData(const QByteArray& text)
{
    QFile file(QCoreApplication::applicationDirPath() + "/deault.data");
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(text) != text.size() || !file.flush())
        return false;
    // Qt notices a changed settings file by its size and time stamp: make
    // each rewrite visible even within one millisecond.
    static int step = 0;
    return file.setFileTime(QDateTime::currentDateTime().addSecs(++step), QFileDevice::FileModificationTime);
}

inline void removeDeaultData()
{
    QFile::remove(QCoreApplication::applicationDirPath() + "/deault.data");
}
