#include "core/pathlayout.h"

#include <QCoreApplication>
#include <QDir>
#include <QStandardPaths>

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
    return ensureDir(pathlayout::withTrailingSeparator(QDir::tempPath()) + QStringLiteral("Olvane/"));
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
    return ensureDir(join(getTempAppDir(), "data/"));
}

QString getDownloadDir()
{
    return ensureDir(join(getTempDataDir(), "download"));
}

QString getRepairDir()
{
    return ensureDir(join(getTempDataDir(), "repair"));
}

QString getImageDir()
{
    return ensureDir(join(getTempDataDir(), "image"));
}

QString getDesktopDir()
{
    return QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
}
