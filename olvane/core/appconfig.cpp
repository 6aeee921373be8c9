#include "core/appconfig.h"

#include "core/pathlayout.h"
#include "core/stringconstants.h"

#include <QSettings>

AppConfig::AppConfig()
{
    loadConfig();
}

AppConfig::~AppConfig()
{
    saveConfig();
}

void AppConfig::loadConfig()
{
    QSettings settings(getSystemSettingPath(), QSettings::IniFormat);
    m_closeMode = settings.value(QStringLiteral("Basic/closeMode"), CLOSE_TO_TRAY).toInt();
    m_showCloseTipEnable = settings.value(QStringLiteral("Basic/showCloseTipEnable"), true).toBool();
    m_zvToolInstallPath = settings.value(QStringLiteral("ZVTool/installPath"), getZvToolDir()).toString();
    m_zvShowInstallPath = settings.value(QStringLiteral("ZVShow/installPath"), getZvShowToolDir()).toString();
    m_obsInstallPath = settings.value(QStringLiteral("OBS/installPath"), getObsDefaultDir()).toString();
    m_obsLaunchPath = settings.value(QStringLiteral("OBS/launchPath"), QString()).toString();
    m_obsStudioInstallPath = settings.value(QStringLiteral("obs-studio/installPath"), getObsStudioDir()).toString();
    m_obsStudioLaunchPath = settings.value(QStringLiteral("obs-studio/launchPath"), QString()).toString();
    m_environmentRepairIgnore = settings.value(QStringLiteral("EnvironmentRepair/ignore"), false).toBool();
}

bool AppConfig::saveConfig()
{
    QSettings settings(getSystemSettingPath(), QSettings::IniFormat);
    settings.beginGroup(QStringLiteral("Basic"));
    settings.setValue(QStringLiteral("closeMode"), m_closeMode);
    settings.setValue(QStringLiteral("showCloseTipEnable"), m_showCloseTipEnable);
    settings.endGroup();
    settings.beginGroup(QStringLiteral("ZVTool"));
    settings.setValue(QStringLiteral("installPath"), m_zvToolInstallPath);
    settings.endGroup();
    settings.beginGroup(QStringLiteral("ZVShow"));
    settings.setValue(QStringLiteral("installPath"), m_zvShowInstallPath);
    settings.endGroup();
    // OBS classic's install path is never written: it is read or defaulted.
    settings.beginGroup(QStringLiteral("OBS"));
    settings.setValue(QStringLiteral("launchPath"), m_obsLaunchPath);
    settings.endGroup();
    settings.beginGroup(QStringLiteral("obs-studio"));
    settings.setValue(QStringLiteral("installPath"), m_obsStudioInstallPath);
    settings.setValue(QStringLiteral("launchPath"), m_obsStudioLaunchPath);
    settings.endGroup();
    settings.beginGroup(QStringLiteral("EnvironmentRepair"));
    settings.setValue(QStringLiteral("ignore"), m_environmentRepairIgnore);
    settings.endGroup();
    settings.sync();
    return settings.status() == QSettings::NoError;
}

QString AppConfig::getToolInstallPath(const QString& toolName) const
{
    if (toolName == kZvToolName)
        return getZvToolInstallPath();
    if (toolName == kZvShowToolName)
        return getZvShowInstallPath();
    if (toolName == kObsClassicToolName)
        return getObsInstallPath();
    if (toolName == kObsStudioToolName)
        return getObsStudioInstallPath();
    return QString();
}

void AppConfig::setToolInstallPath(const QString& toolName, const QString& path)
{
    if (toolName == kZvToolName)
        setZvToolInstallPath(path);
    else if (toolName == kZvShowToolName)
        setZvShowInstallPath(path);
    else if (toolName == kObsClassicToolName)
        setObsInstallPath(path);
    else if (toolName == kObsStudioToolName)
        setObsStudioInstallPath(path);
}

QString AppConfig::getToolLaunchPath(const QString& toolName) const
{
    if (toolName == kObsClassicToolName)
        return m_obsLaunchPath;
    if (toolName == kObsStudioToolName)
        return m_obsStudioLaunchPath;
    return QString();
}

void AppConfig::setToolLaunchPath(const QString& toolName, const QString& path)
{
    if (toolName == kObsClassicToolName)
        m_obsLaunchPath = path;
    else if (toolName == kObsStudioToolName)
        m_obsStudioLaunchPath = path;
}

namespace {

QVariant readDeaultData(const QString& key, const QVariant& fallback)
{
    QSettings settings(getDeaultDataPath(), QSettings::IniFormat);
    return settings.value(key, fallback);
}

} // namespace

QString getAppVersion()
{
    return readDeaultData(QStringLiteral("Version/version"), QStringLiteral("V1.0.0")).toString();
}

int getAppEnvironment()
{
    return readDeaultData(QStringLiteral("AppEnvironment/env"), 0).toInt();
}

int getLiveToolDownloadSrcType()
{
    return readDeaultData(QStringLiteral("LiveTool/liveToolDownloadSrcType"), 0).toInt();
}
