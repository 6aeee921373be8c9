#include "ui/mainwindow/widgets/uilogiclistener.h"

void UILogicListener::onUpdateAppStatus(QString name, int status)
{
    emit sglUpdateAppStatus(name, status);
}

void UILogicListener::onUpdateDownloadProgress(QString name, int progress)
{
    emit sglUpdateDownloadProgress(name, progress);
}

void UILogicListener::onDownloadFinished(QString name, QString downloadedFile)
{
    emit sglDownloadFinished(name, downloadedFile);
}

void UILogicListener::onDownloadFailed(QString name)
{
    emit sglDownloadFailed(name);
}

void UILogicListener::onLiveToolInstallProgress(QString name, int progress)
{
    emit sglLiveToolInstallProgress(name, progress);
}

void UILogicListener::onLiveToolInstallFinished(QString name)
{
    emit sglLiveToolInstallFinished(name);
}

void UILogicListener::onLiveToolUnInstallFinished(QString name)
{
    emit sglLiveToolUnInstallFinished(name);
}

void UILogicListener::onBroadcastInfoMsg(QString url, QString code)
{
    emit sglBroadcastInfoMsg(url, code);
}

void UILogicListener::onOpenLiveRoomResult(int res, QString msg)
{
    emit sglOpenLiveRoomResult(res, msg);
}

void UILogicListener::onLiveCodeModuleClose()
{
    emit sglLiveCodeModuleClose();
}

void UILogicListener::onRepairFinished(QString name)
{
    emit sglRepairFinished(name);
}

void UILogicListener::onLoginSuccessed()
{
    emit sglLoginSuccessed();
}

void UILogicListener::onBeginLogin()
{
    emit sglBeginLogin();
}

void UILogicListener::onLoginFinished(int errorCode, QString errorMsg)
{
    emit sglLoginFinished(errorCode, errorMsg);
}

void UILogicListener::onQRCodeChanged()
{
    emit sglQRCodeChanged();
}

void UILogicListener::onGetRtmpSuccessed(QString rtmpUrl, QString liveCode)
{
    emit sglGetRtmpSuccessed(rtmpUrl, liveCode);
}

void UILogicListener::onGetRtmpFailed(int errorNo, QString msg)
{
    emit sglGetRtmpFailed(errorNo, msg);
}

void UILogicListener::onLogout()
{
    emit sglLogout();
}

void UILogicListener::onGetQRCodeFailed(int errorCode, QString errorMsg)
{
    emit sglGetQRCodeFailed(errorCode, errorMsg);
}

void UILogicListener::onCloseLiveRoomSuccess()
{
    emit sglCloseLiveRoomSuccess();
}

void UILogicListener::onCloseLiveRommFailed(int errorNo, QString msg)
{
    emit sglCloseLiveRommFailed(errorNo, msg);
}

void UILogicListener::onCheckInGuildResult(int errorNo, QString msg, bool check)
{
    emit sglCheckInGuildResult(errorNo, msg, check);
}
