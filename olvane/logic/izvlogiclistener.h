#pragma once
// The one way the logic layer reports to the user interface. The hub calls
// exactly one operation per logic event, always on the GUI thread; the user
// interface registers one implementation (UILogicListener) and owns it.
//
// The order of the operations is part of the contract between the hub's
// slots and the implementation: keep new ones out of the middle. Spellings
// such as onLoginSuccessed and onCloseLiveRommFailed are the system's own.
//
// Header only, no Qt meta-object: it can be included without linking the
// logic library.

#include <QString>

class IZvLogicListener
{
public:
    virtual ~IZvLogicListener() = default;

    // 1-7: tools and downloads. name is a tool name, or for downloads the key
    // chosen by whoever started the download.
    virtual void onUpdateAppStatus(QString name, int status) = 0;
    virtual void onUpdateDownloadProgress(QString name, int progress) = 0;
    virtual void onDownloadFinished(QString name, QString downloadedFile) = 0;
    virtual void onDownloadFailed(QString name) = 0;
    virtual void onLiveToolInstallProgress(QString name, int progress) = 0;
    virtual void onLiveToolInstallFinished(QString name) = 0;
    virtual void onLiveToolUnInstallFinished(QString name) = 0;

    // 8-10: companion module service (no source in the program as built).
    virtual void onBroadcastInfoMsg(QString url, QString code) = 0;
    virtual void onOpenLiveRoomResult(int res, QString msg) = 0;
    virtual void onLiveCodeModuleClose() = 0;

    // 11: a runtime repair's installer ended; name is the repair name.
    virtual void onRepairFinished(QString name) = 0;

    // 12-22: account, push address and live room.
    virtual void onLoginSuccessed() = 0;
    virtual void onBeginLogin() = 0;
    virtual void onLoginFinished(int errorCode, QString errorMsg) = 0;
    virtual void onQRCodeChanged() = 0;
    virtual void onGetRtmpSuccessed(QString rtmpUrl, QString liveCode) = 0;
    virtual void onGetRtmpFailed(int errorNo, QString msg) = 0;
    virtual void onLogout() = 0;
    virtual void onGetQRCodeFailed(int errorCode, QString errorMsg) = 0;
    virtual void onCloseLiveRoomSuccess() = 0;
    virtual void onCloseLiveRommFailed(int errorNo, QString msg) = 0;
    virtual void onCheckInGuildResult(int errorNo, QString msg, bool check) = 0;
};
