#pragma once
// A logic listener for tests: each call is recorded as one line, the
// operation's place in the interface (1-22), ":" and its arguments joined by
// "|", e.g. "14:1003|请检查设备时间". Also notes whether every call came on
// the thread that made the listener.

#include "logic/izvlogiclistener.h"

#include <QStringList>
#include <QThread>

class RecordingListener : public IZvLogicListener
{
public:
    QStringList calls;
    bool offThread = false;

    // The calls of operation `op`, their argument texts only.
    QStringList callsOf(int op) const
    {
        QStringList out;
        const QString prefix = QString::number(op) + QLatin1Char(':');
        for (const QString& call : calls)
            if (call.startsWith(prefix))
                out.append(call.mid(prefix.size()));
        return out;
    }
    // The index of the first call equal to `call` at or after `from`; -1.
    int indexOf(const QString& call, int from = 0) const { return calls.indexOf(call, from); }

    void onUpdateAppStatus(QString name, int status) override { record(1, {name, QString::number(status)}); }
    void onUpdateDownloadProgress(QString name, int progress) override { record(2, {name, QString::number(progress)}); }
    void onDownloadFinished(QString name, QString downloadedFile) override { record(3, {name, downloadedFile}); }
    void onDownloadFailed(QString name) override { record(4, {name}); }
    void onLiveToolInstallProgress(QString name, int progress) override
    {
        record(5, {name, QString::number(progress)});
    }
    void onLiveToolInstallFinished(QString name) override { record(6, {name}); }
    void onLiveToolUnInstallFinished(QString name) override { record(7, {name}); }
    void onBroadcastInfoMsg(QString url, QString code) override { record(8, {url, code}); }
    void onOpenLiveRoomResult(int res, QString msg) override { record(9, {QString::number(res), msg}); }
    void onLiveCodeModuleClose() override { record(10, {}); }
    void onRepairFinished(QString name) override { record(11, {name}); }
    void onLoginSuccessed() override { record(12, {}); }
    void onBeginLogin() override { record(13, {}); }
    void onLoginFinished(int errorCode, QString errorMsg) override
    {
        record(14, {QString::number(errorCode), errorMsg});
    }
    void onQRCodeChanged() override { record(15, {}); }
    void onGetRtmpSuccessed(QString rtmpUrl, QString liveCode) override { record(16, {rtmpUrl, liveCode}); }
    void onGetRtmpFailed(int errorNo, QString msg) override { record(17, {QString::number(errorNo), msg}); }
    void onLogout() override { record(18, {}); }
    void onGetQRCodeFailed(int errorCode, QString errorMsg) override
    {
        record(19, {QString::number(errorCode), errorMsg});
    }
    void onCloseLiveRoomSuccess() override { record(20, {}); }
    void onCloseLiveRommFailed(int errorNo, QString msg) override { record(21, {QString::number(errorNo), msg}); }
    void onCheckInGuildResult(int errorNo, QString msg, bool check) override
    {
        record(22, {QString::number(errorNo), msg, check ? QStringLiteral("true") : QStringLiteral("false")});
    }

private:
    void record(int op, const QStringList& args)
    {
        if (QThread::currentThread() != m_thread)
            offThread = true;
        calls.append(QString::number(op) + QLatin1Char(':') + args.join(QLatin1Char('|')));
    }

    QThread* m_thread = QThread::currentThread();
};
