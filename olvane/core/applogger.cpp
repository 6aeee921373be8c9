#include "core/applogger.h"

#include "core/pathlayout.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QMutex>
#include <QMutexLocker>
#include <QStandardPaths>

#include <fcntl.h>
#include <unistd.h>

namespace {

const char* prefixFor(QtMsgType type)
{
    switch (type) {
    case QtDebugMsg:
        return "Debug:";
    case QtWarningMsg:
        return "Warning:";
    case QtCriticalMsg:
        return "Critical:";
    case QtFatalMsg:
        return "Fatal:";
    case QtInfoMsg:
        return "Info:";
    }
    return "Debug:";
}

} // namespace

AppLogger& AppLogger::instance()
{
    static AppLogger logger;
    return logger;
}

AppLogger::~AppLogger()
{
    uninstall();
}

void AppLogger::install()
{
    qInstallMessageHandler(&AppLogger::messageHandler);
}

void AppLogger::uninstall()
{
    qInstallMessageHandler(nullptr);
}

namespace {

// The log file of `type` in the checked temporary folder; *fellBack tells
// whether that folder had to be replaced by the private one.
QString logFileIn(QtMsgType type, bool* fellBack)
{
    QString fileName = QStringLiteral("error.log");
    if (type == QtDebugMsg)
        fileName = QStringLiteral("debug.log");
    else if (type == QtInfoMsg)
        fileName = QStringLiteral("info.log");

    QString temp = QStandardPaths::writableLocation(QStandardPaths::TempLocation);
    if (temp.isEmpty())
        temp = QStringLiteral("/tmp");
    const QString folder = pathlayout::privateTempFolder(temp + QStringLiteral("/Olvane/"), fellBack);
    return folder + QDate::currentDate().toString(QStringLiteral("MMdd_")) + fileName;
}

} // namespace

QString AppLogger::logFilePath(QtMsgType type)
{
    return logFileIn(type, nullptr);
}

void AppLogger::messageHandler(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    Q_UNUSED(context);
    static QMutex mutex;
    bool fellBack = false;
    {
        QMutexLocker locker(&mutex);

        const QString path = logFileIn(type, &fellBack);
        QByteArray bytes;
        if (!message.isEmpty()) {
            const QDateTime now = QDateTime::currentDateTime();
            const QString stamp = now.toString(QStringLiteral("MM-dd hh:mm:ss.")) + now.toString(QStringLiteral("zzz"));
            const QString line = QStringLiteral("%1 %2 %3")
                                     .arg(QStringLiteral("[%1]: ").arg(stamp), QLatin1String(prefixFor(type)), message);
            bytes = line.toUtf8(); // the locale code page of a Linux desktop
        }
        bytes += "\r\n";

        // Never through a link. A file that cannot be opened drops the
        // message: writing to it anyway would make Qt warn, re-entering this
        // handler under its own lock.
        const int fd = ::open(QFile::encodeName(path).constData(),
                              O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
        QFile file;
        if (fd >= 0 && file.open(fd, QIODevice::WriteOnly | QIODevice::Append, QFileDevice::AutoCloseHandle)) {
            file.write(bytes);
            file.flush();
            file.close();
        } else if (fd >= 0) {
            ::close(fd);
        }
    }
    // Outside the lock: this message comes back through the handler.
    if (fellBack)
        pathlayout::noteFallback(pathlayout::parentRootOf(logFileIn(type, nullptr)));
}
