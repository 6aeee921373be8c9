#include "logic/livecodemodulemanager.h"

#include "core/pathlayout.h"
#include "core/serverurltable.h"
#include "core/stringconstants.h"
#include "core/systemutils.h"
#include "logic/livemgrservice.h"
#include "logic/zvfiledownloader.h"

#include <platform/profile.h>

#include <QDebug>
#include <QFile>
#include <QFileInfo>

namespace {

const QString kModuleExeName = QStringLiteral("LiveCodeModule.exe");

int versionOf(const QString& iniPath, const QString& name)
{
    if (iniPath.isEmpty())
        return -1;
    const std::string text = platform::profile::readString(QFile::encodeName(iniPath).toStdString(), "update",
                                                           name.toStdString(), std::string());
    bool ok = false;
    const int version = QString::fromStdString(text).toInt(&ok);
    return ok ? version : -1;
}

} // namespace

LiveCodeModuleManager::LiveCodeModuleManager() : m_service(new LiveMgrService)
{
    m_service->startService();
}

LiveCodeModuleManager::~LiveCodeModuleManager() = default;

void LiveCodeModuleManager::downloadVersionInfo(ZvFileDownloaderMgr* pool)
{
    const QString url = QString::fromUtf8(moduleVersionIniUrl());
    const QString fileName = url.mid(url.lastIndexOf(QLatin1Char('/')) + 1);
    m_downloadedVersionPath = getTempAppDir() + fileName;
    m_localVersionPath = getModuleDir() + QLatin1Char('/') + fileName;
    if (pool)
        pool->startDownload(kModuleUpdateDownloadKey, url, getTempAppDir(), true, QString());
}

bool LiveCodeModuleManager::isInstalled() const
{
    return QFileInfo::exists(getLiveCodeModuleExePath());
}

bool LiveCodeModuleManager::needsUpdate(const QString& name) const
{
    return versionOf(m_localVersionPath, name) < versionOf(m_downloadedVersionPath, name);
}

int LiveCodeModuleManager::launchLiveCodeModule()
{
    if (!isInstalled())
        return kNotInstalled;
    const QStringList arguments{QStringLiteral("-Olvane")};
    if (needsUpdate(kLiveCodeModuleKey))
        return kUpdateNeeded;
    if (!startDetachedProcess(getLiveCodeModuleExePath(), arguments)) {
        qWarning() << "by kx launch liveCodeModule failed";
        return kLaunchFailed;
    }
    return kLaunched;
}

bool LiveCodeModuleManager::isRunning() const
{
    return isProcessRunning(kModuleExeName);
}

bool LiveCodeModuleManager::installModuleZip(const QString& name, const QString& zipPath)
{
    killProcessByName(kModuleExeName);
    deleteDirectory(getLiveCodeModuleDir());
    // unzipToDir refuses archives with absolute or ".." entries.
    const bool unpacked = unzipToDir(zipPath, getModuleDir());
    if (unpacked) {
        copyFileOverwrite(m_downloadedVersionPath, m_localVersionPath, true);
        // Zip archives made on Windows carry no execute permission.
        QFile exe(getLiveCodeModuleExePath());
        if (exe.exists())
            exe.setPermissions(exe.permissions() | QFile::ExeOwner | QFile::ExeUser | QFile::ExeGroup |
                               QFile::ExeOther);
    } else {
        qWarning().noquote() << "by kx uncompress " + name + " zip failed";
    }
    QFile::remove(zipPath);
    return unpacked;
}
