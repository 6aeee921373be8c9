#include "olvanerun.h"

#include "core/applogger.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QThread>

namespace olvanetest {

QString placeOlvane(const QString& dir)
{
    const QString target = dir + QStringLiteral("/Olvane");
    if (!QDir().mkpath(dir))
        return {};
    QFile::remove(target);
    return QFile::copy(QStringLiteral(OLVANE_PROGRAM), target) ? target : QString();
}

int infoLogCount(const QString& text)
{
    QFile log(AppLogger::logFilePath(QtInfoMsg));
    if (!log.open(QIODevice::ReadOnly))
        return 0;
    return QString::fromUtf8(log.readAll()).count(text);
}

bool waitForInfoLog(const QString& text, int count, int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    while (infoLogCount(text) < count) {
        if (deadline.hasExpired())
            return false;
        QThread::msleep(1);
    }
    return true;
}

} // namespace olvanetest
