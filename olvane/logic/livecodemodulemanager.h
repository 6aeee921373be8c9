#pragma once
// Keeps the optional companion module (module/LiveCodeModule/LiveCodeModule.exe
// beside the program) up to date and starts it; owns the RPC service the
// module calls back on. Nothing in Olvane creates one yet.
//
// GUI thread only (it uses the download pool).

#include <QString>

#include <memory>

class LiveMgrService;
class ZvFileDownloaderMgr;

class LiveCodeModuleManager
{
public:
    // Results of launchLiveCodeModule.
    enum LaunchResult {
        kLaunched = 0,
        kLaunchFailed = -1001,
        kNotInstalled = -1002,
        kUpdateNeeded = -1003,
    };

    // Creates and starts the service.
    LiveCodeModuleManager();
    // Stops the service.
    ~LiveCodeModuleManager();

    // The service whose signals report the module's calls (emitted on the
    // service's thread: connect queued).
    LiveMgrService* getService() const { return m_service.get(); }

    // Starts fetching the server's version file into the temporary folder
    // under the key "组件更新信息下载"; its end comes through the pool.
    void downloadVersionInfo(ZvFileDownloaderMgr* pool);
    bool isInstalled() const;
    // Not installed is checked before an update being needed.
    int launchLiveCodeModule();
    bool isRunning() const;
    // Ends the running module, replaces its folder by what the archive holds
    // and, when anything was unpacked, takes the downloaded version file as
    // the installed one. The archive is deleted either way. True when the
    // module was unpacked.
    bool installModuleZip(const QString& name, const QString& zipPath);
    // True when the downloaded version file has a higher number for name than
    // the installed one (a missing file or key counts as -1).
    bool needsUpdate(const QString& name) const;

private:
    std::unique_ptr<LiveMgrService> m_service;
    QString m_downloadedVersionPath;
    QString m_localVersionPath;
};
