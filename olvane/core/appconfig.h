#pragma once
// The user's settings ("systemSetting" in the data folder), held in memory
// with typed access and written back on request and at destruction; and the
// installation's read-only defaults ("deault.data" beside the program).

#include <QString>

// The meaning of the close-mode setting; readers test against CLOSE_QUIT
// only, every other value hides to the tray.
enum CloseMode {
    CLOSE_QUIT = 0,
    CLOSE_TO_TRAY = 1,
};

class AppConfig
{
public:
    AppConfig();
    ~AppConfig();

    void loadConfig();
    // Writes the settings file atomically; false when it could not be written.
    bool saveConfig();

    int getCloseMode() const { return m_closeMode; }
    void setCloseMode(int mode) { m_closeMode = mode; }
    bool getShowCloseTipEnable() const { return m_showCloseTipEnable; }
    void setShowCloseTipEnable(bool enable) { m_showCloseTipEnable = enable; }
    bool getEnvironmentRepairIgnore() const { return m_environmentRepairIgnore; }
    void setEnvironmentRepairIgnore(bool ignore) { m_environmentRepairIgnore = ignore; }

    QString getZvToolInstallPath() const { return m_zvToolInstallPath; }
    void setZvToolInstallPath(const QString& path) { m_zvToolInstallPath = path; }
    QString getZvShowInstallPath() const { return m_zvShowInstallPath; }
    void setZvShowInstallPath(const QString& path) { m_zvShowInstallPath = path; }
    QString getObsInstallPath() const { return m_obsInstallPath; }
    // The OBS classic install path keeps the value it was loaded with.
    void setObsInstallPath(const QString& path) { Q_UNUSED(path); }
    QString getObsStudioInstallPath() const { return m_obsStudioInstallPath; }
    void setObsStudioInstallPath(const QString& path) { m_obsStudioInstallPath = path; }

    QString getToolInstallPath(const QString& toolName) const;
    void setToolInstallPath(const QString& toolName, const QString& path);
    QString getToolLaunchPath(const QString& toolName) const;
    void setToolLaunchPath(const QString& toolName, const QString& path);

private:
    QString m_zvToolInstallPath;
    QString m_zvShowInstallPath;
    QString m_obsInstallPath;
    QString m_obsStudioInstallPath;
    bool m_environmentRepairIgnore = false;
    QString m_obsLaunchPath;
    QString m_obsStudioLaunchPath;
    int m_closeMode = CLOSE_TO_TRAY;
    bool m_showCloseTipEnable = true;
};

// Read "deault.data" anew on every call.
QString getAppVersion();
int getAppEnvironment();
int getLiveToolDownloadSrcType();
