#pragma once
// Stateless wrappers of the operating system for the rest of Olvane. None
// throws; an empty text, an empty list or false stands for failure.

#include <QString>
#include <QStringList>

#include <string>

// Files and folders.
QString readFileText(const QString& path);
QString readFileText2(const QString& path);
bool isDirExists(const QString& path);
// Validates and creates an install folder: only an absolute path with at
// least two components ("/opt/obs-studio") is accepted.
bool makePath(const QString& path);
bool copyFileOverwrite(const QString& source, const QString& target, bool overwrite);
// Removes the folder with everything in it (hidden entries too; symbolic
// links are unlinked, never followed). True when the folder is gone.
bool deleteDirectory(const QString& path);
// Unpacks a zip archive; refuses archives with entries that would land
// outside the target folder: by their names, by being symbolic links, or by
// passing through a link already below the target. True when files were
// extracted.
bool unzipToDir(const QString& zipFile, const QString& targetDir);

// Processes and the shell. `ok`, when given, receives whether the process
// scan itself succeeded, so that a failed scan is not taken for "nothing runs".
// Only processes of the user running Olvane (effective uid) are listed and
// killed.
QStringList getProcessNameList(bool* ok = nullptr);
bool isProcessRunning(const QString& exeName, bool* ok = nullptr);
bool killProcessByName(const QString& exeName);
bool startDetachedProcess(const QString& program, const QStringList& arguments);
bool shellExecuteOpen(const std::wstring& file, const std::wstring& parameters);
void openUrl(const QString& url);
// Opens a folder in the desktop's file manager: xdg-open with the folder as
// its one argument, never through a shell. Only an absolute path naming an
// existing folder is opened; false otherwise, or when xdg-open cannot start.
bool openFolder(const QString& path);
// The folder a program is started in: its path up to the last separator.
QString programWorkingDir(const QString& program);

// Registry and network.
int isNetFrameworkInstalled();
QString getUninstallString(const QString& keyName);
// The program an Uninstall entry's "UninstallString" names: the text inside a
// leading pair of double quotes (arguments may follow); unquoted, the text
// before the first blank followed by "/" or "-" and a letter, else the whole
// text.
QString uninstallCommandProgram(const QString& command);
// That program's folder, up to and including its last "/" or backslash; ""
// when it has no separator.
QString uninstallCommandFolder(const QString& command);
QString getLocalMacAddress();

// String conversions. The wide standard string is the native one.
QString qstringFromWString(const std::wstring& text);
std::wstring qstringToWString(const QString& text);
// Wide text <-> the Chinese Simplified multibyte code page (CP936).
std::string ws2s(const std::wstring& text);
std::wstring s2ws(const std::string& text);
