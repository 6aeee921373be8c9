#pragma once
// The user interface's listener of the logic layer: each of the 22 listener
// operations is re-emitted, arguments unchanged, as the signal of the same
// name with "sgl" in place of "on", so that windows subscribe with ordinary
// connections of their own choosing. It owns no state and decides nothing.
//
// The signals are declared in the interface's order: signal k-1 of the
// meta-object belongs to operation k. The main window owns the one instance;
// the hub holds its IZvLogicListener part, and deleting through that
// interface pointer destroys the whole object.

#include "logic/izvlogiclistener.h"

#include <QObject>

class UILogicListener : public QObject, public IZvLogicListener
{
    Q_OBJECT

public:
    UILogicListener() = default;
    ~UILogicListener() override = default;

    void onUpdateAppStatus(QString name, int status) override;
    void onUpdateDownloadProgress(QString name, int progress) override;
    void onDownloadFinished(QString name, QString downloadedFile) override;
    void onDownloadFailed(QString name) override;
    void onLiveToolInstallProgress(QString name, int progress) override;
    void onLiveToolInstallFinished(QString name) override;
    void onLiveToolUnInstallFinished(QString name) override;
    void onBroadcastInfoMsg(QString url, QString code) override;
    void onOpenLiveRoomResult(int res, QString msg) override;
    void onLiveCodeModuleClose() override;
    void onRepairFinished(QString name) override;
    void onLoginSuccessed() override;
    void onBeginLogin() override;
    void onLoginFinished(int errorCode, QString errorMsg) override;
    void onQRCodeChanged() override;
    void onGetRtmpSuccessed(QString rtmpUrl, QString liveCode) override;
    void onGetRtmpFailed(int errorNo, QString msg) override;
    void onLogout() override;
    void onGetQRCodeFailed(int errorCode, QString errorMsg) override;
    void onCloseLiveRoomSuccess() override;
    void onCloseLiveRommFailed(int errorNo, QString msg) override;
    void onCheckInGuildResult(int errorNo, QString msg, bool check) override;

signals:
    void sglUpdateAppStatus(QString name, int status);
    void sglUpdateDownloadProgress(QString name, int progress);
    void sglDownloadFinished(QString name, QString downloadedFile);
    void sglDownloadFailed(QString name);
    void sglLiveToolInstallProgress(QString name, int progress);
    void sglLiveToolInstallFinished(QString name);
    void sglLiveToolUnInstallFinished(QString name);
    void sglBroadcastInfoMsg(QString url, QString code);
    void sglOpenLiveRoomResult(int res, QString msg);
    void sglLiveCodeModuleClose();
    void sglRepairFinished(QString name);
    void sglLoginSuccessed();
    void sglBeginLogin();
    void sglLoginFinished(int errorCode, QString errorMsg);
    void sglQRCodeChanged();
    void sglGetRtmpSuccessed(QString rtmpUrl, QString liveCode);
    void sglGetRtmpFailed(int errorNo, QString msg);
    void sglLogout();
    void sglGetQRCodeFailed(int errorCode, QString errorMsg);
    void sglCloseLiveRoomSuccess();
    void sglCloseLiveRommFailed(int errorNo, QString msg);
    void sglCheckInGuildResult(int errorNo, QString msg, bool check);
};
