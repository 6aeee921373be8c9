#include "core/applogger.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QMutex>
#include <QMutexLocker>
#include <QStandardPaths>

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

QString AppLogger::logFilePath(QtMsgType type)
{
    QString fileName = QStringLiteral("error.log");
    if (type == QtDebugMsg)
        fileName = QStringLiteral("debug.log");
    else if (type == QtInfoMsg)
        fileName = QStringLiteral("info.log");

    QString temp = QStandardPaths::writableLocation(QStandardPaths::TempLocation);
    if (temp.isEmpty())
        temp = QStringLiteral("/tmp");
    const QString folder = temp + QStringLiteral("/Olvane/");
    QDir dir(folder);
    if (!dir.exists())
        dir.mkdir(folder);
    return folder + QDate::currentDate().toString(QStringLiteral("MMdd_")) + fileName;
}

void AppLogger::messageHandler(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    Q_UNUSED(context);
    static QMutex mutex;
    QMutexLocker locker(&mutex);

    const QString path = logFilePath(type);
    QByteArray bytes;
    if (!message.isEmpty()) {
        const QDateTime now = QDateTime::currentDateTime();
        const QString stamp = now.toString(QStringLiteral("MM-dd hh:mm:ss.")) + now.toString(QStringLiteral("zzz"));
        const QString line = QStringLiteral("%1 %2 %3")
                                 .arg(QStringLiteral("[%1]: ").arg(stamp), QLatin1String(prefixFor(type)), message);
        bytes = line.toUtf8(); // the locale code page of a Linux desktop
    }
    bytes += "\r\n";

    // A file that cannot be opened drops the message: writing to it anyway
    // would make Qt warn, re-entering this handler under its own lock.
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append))
        return;
    file.write(bytes);
    file.flush();
    file.close();
}
