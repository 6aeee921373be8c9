#pragma once
// Olvane's end of the RPC service "OlvaneService" through which the companion
// module reports push-address data, the result of opening a live room, and its
// own closing.
//
// The signals are emitted on the RPC service's thread: connect them queued
// (an automatic connection to a receiver on the GUI thread is queued too).

#include <QObject>
#include <QString>

#include <memory>

namespace platform::rpc {
class Service;
}

class LiveMgrService : public QObject
{
    Q_OBJECT

public:
    LiveMgrService();
    // Stops the service.
    ~LiveMgrService() override;

    // Registers the three procedures and starts the service; a second call
    // does nothing. False (logged) when the service could not start.
    bool startService();

signals:
    void sglBroadcastInfoMsg(QString url, QString code);
    void sglOpenLiveRoomResult(int res, QString msg);
    void sglLiveCodeModuleClose();

private:
    std::unique_ptr<platform::rpc::Service> m_service;
};
