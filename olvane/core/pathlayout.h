#pragma once
// Every folder and file location Olvane reads or writes. Stateless: each call
// recomputes its path, and folder accessors create the folder when missing.
//
// The temporary folder ("<temp>/Olvane/" and its data/download, data/repair,
// data/image) lies in the shared /tmp, where other users may plant links or
// folders of their own: each is created 0700 and checked before use (see
// pathlayout::makePrivateFolder). One that fails the check is replaced by the
// same folder below the user's private "<cache>/Olvane/temp/", and that is
// logged once.

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

// Creates `path` 0700 when missing (its parents as needed) and checks, without
// following a link, that it is a folder owned by this user that no one else
// may write to; a folder that passes is narrowed to 0700. False when it fails.
bool makePrivateFolder(const QString& path);
// `shared` when makePrivateFolder accepts it, else the private fallback
// folder; *fellBack says which. Logs nothing (the logger calls it).
QString privateTempFolder(const QString& shared, bool* fellBack);
// Logs, only the first time in the run, that the shared folder was replaced
// by `used`. It logs through Qt: the logger calls it outside its own lock.
void noteFallback(const QString& used);
} // namespace pathlayout
