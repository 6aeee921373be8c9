#include "core/pathlayout.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QStandardPaths>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <initializer_list>

namespace {

// The user's own replacement for a shared temporary folder that fails the check.
QString fallbackTempRoot()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) + QStringLiteral("/Olvane/temp/");
}

} // namespace

namespace pathlayout {

QString withTrailingSeparator(const QString& path)
{
    if (path.endsWith(QLatin1Char('/')) || path.endsWith(QLatin1Char('\\')))
        return path;
    return path + QLatin1Char('/');
}

QString parentRootOf(const QString& path)
{
    QString text = path;
    int cut = text.lastIndexOf(QLatin1Char('/'));
    if (cut < 0)
        cut = text.lastIndexOf(QLatin1Char('\\'));
    if (cut >= 0)
        text.truncate(cut + 1);
    return withTrailingSeparator(text);
}

bool makePrivateFolder(const QString& path)
{
    // "dir/" would be resolved through a link: look at the entry itself.
    QString entry = path;
    while (entry.size() > 1 && entry.endsWith(QLatin1Char('/')))
        entry.chop(1);
    if (entry.isEmpty())
        return false;
    const QByteArray native = QFile::encodeName(entry);
    struct stat st
    {
    };
    if (::lstat(native.constData(), &st) != 0) {
        if (errno != ENOENT)
            return false;
        const int cut = entry.lastIndexOf(QLatin1Char('/'));
        if (cut > 0)
            QDir().mkpath(entry.left(cut));
        if (::mkdir(native.constData(), 0700) != 0 && errno != EEXIST)
            return false;
    }
    const int fd = ::open(native.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return false;
    bool ok = ::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::geteuid() &&
              (st.st_mode & (S_IWGRP | S_IWOTH)) == 0;
    if (ok && (st.st_mode & 07777) != 0700)
        ok = ::fchmod(fd, 0700) == 0; // older versions made it world-readable
    ::close(fd);
    return ok;
}

QString privateTempFolder(const QString& shared, bool* fellBack)
{
    const bool usable = makePrivateFolder(shared);
    if (fellBack)
        *fellBack = !usable;
    if (usable)
        return shared;
    const QString fallback = fallbackTempRoot();
    makePrivateFolder(fallback);
    return fallback;
}

void noteFallback(const QString& used)
{
    static std::atomic<bool> noted{false};
    if (!noted.exchange(true))
        qWarning() << "by kx {shared temporary folder is not private, using}" << used;
}

} // namespace pathlayout

namespace {

QString ensureDir(const QString& path)
{
    QDir dir;
    if (!dir.exists(path))
        dir.mkpath(path);
    return path;
}

QString dataLocation()
{
    return QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation);
}

QString join(const QString& base, const char* name)
{
    return QStringLiteral("%1/%2").arg(base, QLatin1String(name));
}

// `names` joined in turn below the checked temporary folder ("<temp>/Olvane//data//download"),
// each level created and checked; a level failing the check sends the whole
// path below the private fallback.
QString tempFolder(std::initializer_list<const char*> names)
{
    const QString shared = pathlayout::withTrailingSeparator(QDir::tempPath()) + QStringLiteral("Olvane/");
    bool fellBack = false;
    const QString root = pathlayout::privateTempFolder(shared, &fellBack);
    QString path = root;
    bool usable = !fellBack;
    for (const char* name : names) {
        path = join(path, name);
        usable = usable && pathlayout::makePrivateFolder(path);
    }
    if (usable)
        return path;
    QString fallback = fallbackTempRoot();
    pathlayout::makePrivateFolder(fallback);
    for (const char* name : names) {
        fallback = join(fallback, name);
        pathlayout::makePrivateFolder(fallback);
    }
    pathlayout::noteFallback(fallback);
    return fallback;
}

} // namespace

QString getAppDir()
{
    return QCoreApplication::applicationDirPath();
}

QString getDataLocationDir()
{
    return ensureDir(pathlayout::withTrailingSeparator(dataLocation()));
}

QString getTempAppDir()
{
    return tempFolder({});
}

// The roots other programs keep their own folders under. On Linux these are
// the XDG folders themselves, where OBS Studio (Debian's package) keeps
// "obs-studio/", not the parent of Olvane's own data folder.
QString getLocalAppDataRoot()
{
    return pathlayout::withTrailingSeparator(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation));
}

QString getRoamingAppDataRoot()
{
    return pathlayout::withTrailingSeparator(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation));
}

QString getDeaultDataPath()
{
    return join(getAppDir(), "deault.data");
}

QString getZvToolDir()
{
    return ensureDir(join(getAppDir(), "tools/ZVTool"));
}

QString getZvShowToolDir()
{
    return ensureDir(join(getAppDir(), "tools/ZVShowTool"));
}

QString getObsStudioDir()
{
    return ensureDir(join(getAppDir(), "tools/obs-studio"));
}

QString getObsDefaultDir()
{
    return QStringLiteral("C:/Program Files(x86)/OBS");
}

QString getModuleDir()
{
    return ensureDir(join(getAppDir(), "module"));
}

QString getLiveCodeModuleDir()
{
    return QStringLiteral("%1/%2/%3").arg(getAppDir(), QStringLiteral("module"), QStringLiteral("LiveCodeModule"));
}

QString getLiveCodeModuleExePath()
{
    return join(getLiveCodeModuleDir(), "LiveCodeModule.exe");
}

QString getSystemSettingPath()
{
    return join(getDataLocationDir(), "systemSetting");
}

QString getUserInfoPath()
{
    return join(getDataLocationDir(), "userInfo");
}

QString getModuleListPath()
{
    return join(getDataLocationDir(), "moduleList");
}

QString getTempDataDir()
{
    return tempFolder({"data/"});
}

QString getDownloadDir()
{
    return tempFolder({"data/", "download"});
}

QString getRepairDir()
{
    return tempFolder({"data/", "repair"});
}

QString getImageDir()
{
    return tempFolder({"data/", "image"});
}

QString getDesktopDir()
{
    return QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
}
