#include "core/systemutils.h"

#include "platform/codepage.h"
#include "platform/process.h"
#include "platform/registry.h"
#include "platform/shell.h"

#include <QDebug>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QHostAddress>
#include <QNetworkInterface>
#include <QTemporaryFile>
#include <QUrl>

#include <quazip/JlCompress.h>
#include <quazip/quazip.h>
#include <quazip/quazipfileinfo.h>

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

const char kUninstallKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";

// The user's own processes only: another user's cannot be ended (EPERM), and
// its name may be nothing but an argv[0] it chose, as its exe link is not
// readable to us.
bool scanProcesses(std::vector<platform::process::ProcessInfo>& list)
{
    if (!platform::process::listProcesses(list)) {
        qDebug() << "by kx CreateToolhelp32Snapshot调用失败!";
        return false;
    }
    const uid_t self = ::geteuid();
    list.erase(std::remove_if(list.begin(), list.end(),
                              [self](const platform::process::ProcessInfo& info) { return info.owner != self; }),
               list.end());
    return true;
}

// An entry name that would leave the target folder: absolute, a drive
// letter, or a ".." component.
bool isUnsafeEntry(const QString& name)
{
    if (name.startsWith(QLatin1Char('/')) || name.startsWith(QLatin1Char('\\')))
        return true;
    if (name.size() >= 2 && name.at(1) == QLatin1Char(':'))
        return true;
    const QStringList parts = QString(name).replace(QLatin1Char('\\'), QLatin1Char('/')).split(QLatin1Char('/'));
    return parts.contains(QStringLiteral(".."));
}

// True when an entry's path below `targetDir` passes through, or ends on, a
// symbolic link already there (left by an earlier archive, say): extracting
// it would write wherever the link points.
bool passesThroughLink(const QString& targetDir, const QString& name)
{
    QString path = targetDir;
    const QStringList parts =
        QString(name).replace(QLatin1Char('\\'), QLatin1Char('/')).split(QLatin1Char('/'), Qt::SkipEmptyParts);
    for (const QString& part : parts) {
        path += QLatin1Char('/') + part;
        if (QFileInfo(path).isSymLink())
            return true;
    }
    return false;
}

int lastSeparator(const QString& path)
{
    return qMax(path.lastIndexOf(QLatin1Char('/')), path.lastIndexOf(QLatin1Char('\\')));
}

} // namespace

QString readFileText(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return QString();
    return QString::fromUtf8(file.readAll());
}

QString readFileText2(const QString& path)
{
    return readFileText(path);
}

bool isDirExists(const QString& path)
{
    return QDir(path).exists();
}

bool makePath(const QString& path)
{
    // An empty install field, a relative path, "//..." and a single
    // component under "/" are all refused: the install dialogs rely on it.
    if (!path.startsWith(QLatin1Char('/')) || path.startsWith(QStringLiteral("//")))
        return false;
    if (path.split(QLatin1Char('/'), Qt::SkipEmptyParts).size() < 2)
        return false;
    QDir dir(path);
    if (dir.exists())
        return true;
    return QDir().mkpath(path);
}

bool copyFileOverwrite(const QString& source, const QString& target, bool overwrite)
{
    const auto fail = [&](const char* reason, const QString& detail) {
        qWarning().noquote() << QStringLiteral("by kx copyFileOverwrite {%1}").arg(QLatin1String(reason)) << source
                             << "->" << target << detail;
        return false;
    };
    if (!QFile::exists(source))
        return fail("source missing", QString());
    if (QFileInfo::exists(target) && !overwrite)
        return fail("target exists", QString());

    // Copy beside the target first, then replace it in one step, so a failed
    // copy never costs the old file.
    QString temporary;
    {
        QTemporaryFile placeholder(target + QStringLiteral(".XXXXXX"));
        if (!placeholder.open())
            return fail("cannot create a temporary file", placeholder.errorString());
        temporary = placeholder.fileName();
    }
    QFile from(source);
    if (!from.copy(temporary)) {
        QFile::remove(temporary);
        return fail("copy failed", from.errorString());
    }
    if (std::rename(QFile::encodeName(temporary).constData(), QFile::encodeName(target).constData()) != 0) {
        const QString reason = QString::fromLocal8Bit(std::strerror(errno));
        QFile::remove(temporary);
        return fail("cannot replace the target", reason);
    }
    return true;
}

bool deleteDirectory(const QString& path)
{
    if (path.isEmpty())
        return false;
    // "link/" would name the link's target: look at the link itself.
    QString self = path;
    while (self.size() > 1 && self.endsWith(QLatin1Char('/')))
        self.chop(1);
    const QFileInfo top(self);
    if (top.isSymLink())
        return QFile::remove(self);
    if (!top.isDir())
        return true;

    QDirIterator it(path, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
    while (it.hasNext()) {
        it.next();
        const QFileInfo entry = it.fileInfo();
        if (entry.isDir() && !entry.isSymLink())
            deleteDirectory(entry.absoluteFilePath());
        else
            QFile::remove(entry.absoluteFilePath());
    }
    QDir().rmdir(path);
    const QFileInfo after(path);
    return !after.exists() && !after.isSymLink();
}

bool unzipToDir(const QString& zipFile, const QString& targetDir)
{
    // The extractor creates the links an archive holds: an archive with one
    // is refused whole, as is one that would write through an existing link.
    QuaZip zip(zipFile);
    if (!zip.open(QuaZip::mdUnzip))
        return false;
    QuaZipFileInfo64 info;
    for (bool more = zip.goToFirstFile(); more; more = zip.goToNextFile()) {
        if (!zip.getCurrentFileInfo(&info))
            return false;
        if (isUnsafeEntry(info.name) || info.isSymbolicLink() || passesThroughLink(targetDir, info.name)) {
            qWarning() << "by kx unzipToDir {refused unsafe entry}" << info.name;
            return false;
        }
    }
    if (zip.getZipError() != UNZ_OK)
        return false;
    zip.close();
    return !JlCompress::extractDir(zipFile, targetDir).isEmpty();
}

QStringList getProcessNameList(bool* ok)
{
    std::vector<platform::process::ProcessInfo> list;
    const bool scanned = scanProcesses(list);
    if (ok)
        *ok = scanned;
    QStringList names;
    for (const auto& info : list)
        names.append(QString::fromStdString(info.exeName));
    return names;
}

bool isProcessRunning(const QString& exeName, bool* ok)
{
    return getProcessNameList(ok).contains(exeName, Qt::CaseSensitive);
}

bool killProcessByName(const QString& exeName)
{
    std::vector<platform::process::ProcessInfo> list;
    if (!scanProcesses(list))
        return false;
    const std::string name = exeName.toStdString();
    bool allKilled = true;
    for (const auto& info : list) {
        if (info.exeName == name && !platform::process::killProcess(info.pid))
            allKilled = false;
    }
    return allKilled;
}

QString programWorkingDir(const QString& program)
{
    const int cut = lastSeparator(program);
    if (cut < 0)
        return QStringLiteral("./");
    return program.left(cut + 1);
}

bool startDetachedProcess(const QString& program, const QStringList& arguments)
{
    if (program.isEmpty())
        return false;
    std::vector<std::string> args;
    for (const QString& arg : arguments)
        args.push_back(arg.toStdString());
    return platform::process::startDetached(program.toStdString(), args, programWorkingDir(program).toStdString());
}

bool shellExecuteOpen(const std::wstring& file, const std::wstring& parameters)
{
    if (file.empty())
        return false;
    const QString program = QString::fromStdWString(file);
    return platform::shell::shellExecute(program.toStdString(), QString::fromStdWString(parameters).toStdString(),
                                         programWorkingDir(program).toStdString());
}

void openUrl(const QString& url)
{
    platform::shell::openExternal(QUrl(url, QUrl::TolerantMode).toString(QUrl::FullyEncoded).toStdString());
}

bool openFolder(const QString& path)
{
    // Only "/" makes a path absolute here: Qt would also take ":/" resources.
    if (!path.startsWith(QLatin1Char('/')) || !QFileInfo(path).isDir())
        return false;
    return platform::shell::openExternal(QDir::cleanPath(path).toStdString());
}

int isNetFrameworkInstalled()
{
    using platform::registry::Root;
    int result = 0;
    if (platform::registry::keyExists(Root::LocalMachine, "SOFTWARE\\Microsoft\\.NETFramework\\v2.0.50727"))
        result |= 1;
    if (platform::registry::keyExists(Root::LocalMachine, "SOFTWARE\\Microsoft\\.NETFramework\\v4.0.30319"))
        result |= 2;
    return result;
}

QString getUninstallString(const QString& keyName)
{
    using platform::registry::Root;
    std::vector<std::string> subKeys;
    if (!platform::registry::enumSubKeys(Root::LocalMachine, kUninstallKey, subKeys))
        return QString();
    const std::string wanted = keyName.toStdString();
    for (const std::string& subKey : subKeys) {
        if (subKey != wanted)
            continue;
        std::string value;
        if (!platform::registry::readString(Root::LocalMachine, std::string(kUninstallKey) + "\\" + subKey,
                                            "UninstallString", value))
            return QString();
        return uninstallCommandFolder(QString::fromStdString(value));
    }
    return QString();
}

QString uninstallCommandProgram(const QString& command)
{
    if (!command.startsWith(QLatin1Char('"'))) {
        // Unquoted, the program ends before the first switch ("/S", "-x"):
        // blanks inside a folder name are kept.
        for (int i = 0; i + 2 < command.size(); ++i) {
            const QChar lead = command.at(i + 1);
            if (command.at(i) == QLatin1Char(' ') && (lead == QLatin1Char('/') || lead == QLatin1Char('-')) &&
                command.at(i + 2).isLetter())
                return command.left(i);
        }
        return command;
    }
    const int close = command.indexOf(QLatin1Char('"'), 1);
    return close < 0 ? command.mid(1) : command.mid(1, close - 1);
}

QString uninstallCommandFolder(const QString& command)
{
    const QString program = uninstallCommandProgram(command);
    const int cut = lastSeparator(program);
    return cut < 0 ? QString() : program.left(cut + 1);
}

QString getLocalMacAddress()
{
    const auto interfaces = QNetworkInterface::allInterfaces();
    for (const QNetworkInterface& iface : interfaces) {
        if (iface.flags() & QNetworkInterface::IsLoopBack)
            continue;
        const auto entries = iface.addressEntries();
        for (const QNetworkAddressEntry& entry : entries) {
            const QHostAddress address = entry.ip();
            if (address.protocol() == QAbstractSocket::IPv4Protocol && address != QHostAddress(QHostAddress::LocalHost))
                return iface.hardwareAddress();
        }
    }
    return QString();
}

QString qstringFromWString(const std::wstring& text)
{
    return QString::fromStdWString(text);
}

std::wstring qstringToWString(const QString& text)
{
    return text.toStdWString();
}

std::string ws2s(const std::wstring& text)
{
    return platform::codepage::wideToAnsi(text);
}

std::wstring s2ws(const std::string& text)
{
    return platform::codepage::ansiToWide(text);
}
