#pragma once
// Olvane's crash handling: on a fatal fault, a dump file next to the program,
// the crash reporter "Faultmail" started to upload it, a hint about the
// graphics driver or a general crash message on standard error, and exit
// code 0. Everything is prepared when the filter is installed; the handler
// itself (platform/crash) only fills in the crash time.

#include <QDateTime>
#include <QString>
#include <QStringList>

#include "platform/hosts.h"

// Installs the crash filter; call once from main after the application object
// exists. False when it could not be installed (or already was).
bool installCrashFilter();

// ---- The pieces installCrashFilter() puts together, exposed for tests.

// "<base>_YYYY-MMDD-HHMM-SS_<version>.dmp" for the given local time.
QString crashDumpFileName(const QString& baseName, const QString& version, const QDateTime& localTime);

// The reporter's command line: four quoted fields separated by 3, 4 and 3
// blanks: the FTP folder URL, the dump path, the FTP credential and the port.
QString crashReporterCommandLine(const QString& ftpHost, const QString& dumpPath,
                                 int ftpPort = platform::hosts::kDefaultCrashFtpPort);

// The reporter's argument vector: argv[0] = reporterPath, then the command
// line split by the Windows rules.
QStringList crashReporterArguments(const QString& reporterPath, const QString& commandLine);

// The text shown on standard error for a crash whose faulting module is
// faultModule, called through callerModules (innermost first): the graphics
// or encoder hint, or the general crash message.
QString crashMessage(const QString& faultModule, const QStringList& callerModules);
