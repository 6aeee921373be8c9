#pragma once
// Every folder and file location Olvane reads or writes. Stateless: each call
// recomputes its path, and folder accessors create the folder when missing.

#include <QString>

QString getAppDir();
QString getDataLocationDir();
QString getTempAppDir();
QString getLocalAppDataRoot();
QString getRoamingAppDataRoot();

QString getDeaultDataPath();
QString getZvToolDir();
QString getZvShowToolDir();
QString getObsStudioDir();
QString getObsDefaultDir();
QString getModuleDir();
QString getLiveCodeModuleDir();
QString getLiveCodeModuleExePath();
QString getSystemSettingPath();
QString getUserInfoPath();
QString getModuleListPath();
QString getTempDataDir();
QString getDownloadDir();
QString getRepairDir();
QString getImageDir();
QString getDesktopDir();

namespace pathlayout {
// `path` with "/" appended unless it already ends in "/" or a backslash.
QString withTrailingSeparator(const QString& path);
// The text up to and including its last "/" (or, without one, its last
// backslash), with a trailing separator guaranteed.
QString parentRootOf(const QString& path);
} // namespace pathlayout
