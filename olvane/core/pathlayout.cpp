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

QString inDataDir(const char* name)
{
    return QStringLiteral("%1/%2").arg(getDataLocationDir(), QLatin1String(name));
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

QString getLocalAppDataRoot()
{
    return pathlayout::parentRootOf(dataLocation());
}

QString getRoamingAppDataRoot()
{
    return pathlayout::parentRootOf(QStandardPaths::writableLocation(QStandardPaths::AppDataLocation));
}

QString getDeaultDataPath()
{
    return QStringLiteral("%1/%2").arg(getAppDir(), QStringLiteral("deault.data"));
}

QString getZvToolDir()
{
    return ensureDir(QStringLiteral("%1/%2").arg(getAppDir(), QStringLiteral("tools/ZVTool")));
}

QString getZvShowToolDir()
{
    return ensureDir(QStringLiteral("%1/%2").arg(getAppDir(), QStringLiteral("tools/ZVShowTool")));
}

QString getObsStudioDir()
{
    return ensureDir(QStringLiteral("%1/%2").arg(getAppDir(), QStringLiteral("tools/obs-studio")));
}

QString getObsDefaultDir()
{
    return QStringLiteral("C:/Program Files(x86)/OBS");
}

QString getModuleDir()
{
    return ensureDir(QStringLiteral("%1/%2").arg(getAppDir(), QStringLiteral("module")));
}

QString getLiveCodeModuleDir()
{
    return QStringLiteral("%1/%2/%3").arg(getAppDir(), QStringLiteral("module"), QStringLiteral("LiveCodeModule"));
}

QString getLiveCodeModuleExePath()
{
    return QStringLiteral("%1/%2").arg(getLiveCodeModuleDir(), QStringLiteral("LiveCodeModule.exe"));
}

QString getSystemSettingPath()
{
    return inDataDir("systemSetting");
}

QString getUserInfoPath()
{
    return inDataDir("userInfo");
}

QString getModuleListPath()
{
    return inDataDir("moduleList");
}

QString getTempDataDir()
{
    return ensureDir(QStringLiteral("%1/%2").arg(getTempAppDir(), QStringLiteral("data/")));
}

QString getDownloadDir()
{
    return ensureDir(QStringLiteral("%1/%2").arg(getTempDataDir(), QStringLiteral("download")));
}

QString getRepairDir()
{
    return ensureDir(QStringLiteral("%1/%2").arg(getTempDataDir(), QStringLiteral("repair")));
}

QString getImageDir()
{
    return ensureDir(QStringLiteral("%1/%2").arg(getTempDataDir(), QStringLiteral("image")));
}

QString getDesktopDir()
{
    return QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
}
