#pragma once
// Writes every Qt log message as one time-stamped line to a daily file in the
// temporary folder's "Olvane" directory, one file per severity class. The
// folder is checked as the other temporary folders are (core/pathlayout.h),
// and log files are never opened through a link.

#include <QString>
#include <QtGlobal>

class AppLogger
{
public:
    static AppLogger& instance();

    void install();
    void uninstall();

    // Full path of the file for messages of `type`; creates the log folder
    // when it is missing (or, when it is not private, names the fallback).
    static QString logFilePath(QtMsgType type);

    static void messageHandler(QtMsgType type, const QMessageLogContext& context, const QString& message);

    ~AppLogger();

private:
    AppLogger() = default;
    AppLogger(const AppLogger&) = delete;
    AppLogger& operator=(const AppLogger&) = delete;
};
