#pragma once
// Usage events sent to the platform's analytics collector: one form POST per
// event, fire-and-forget on the GUI thread; the reply is only logged.

#include <QJsonValue>
#include <QList>
#include <QMetaType>
#include <QObject>
#include <QPair>
#include <QString>
#include <QVariant>

#include <functional>

class QNetworkAccessManager;
class QNetworkReply;

enum PointEventId {
    PointStartupLoading = 0,
    PointEndupQuit = 1,
    PointClickTopnaviMemRset = 2,
    PointClickTopnaviMystudio = 3,
    PointInitPageHome = 4,
    PointClickInstall = 5,
    PointClickInstallSucc = 6,
    PointClickLivetoolOpen = 7,
    PointClickIntroduce = 8,
    PointClickCust = 9,
    PointClickStreamGet = 10,
    PointClickStreamFillin = 11,
    PointClickLivesetGet = 12,
    PointShowLivesetGetSucc = 13,
    PointClickRemindClose = 14,
    PointClickGuildbanner = 15,
};

struct PointEvent
{
    int rid = 0;
    int i = 0;
    QString ac;
    QString ct;
    QString pro;
    QString pc;
    QString url;
    QList<QPair<QString, QJsonValue>> extension;
};

// What the tools manager reports when a live tool starts (event 7).
struct AppLaunchPointInfo
{
    int type = 0;
    int pa_type = 0;
    int OBS_type = 0;
};
Q_DECLARE_METATYPE(AppLaunchPointInfo)

// The logged-in user for the events. The logic layer installs a provider
// that answers from its account client; it returns false when there is none.
using PointingUserProvider = std::function<bool(int& uid, int& roomId)>;
void setPointingUserProvider(PointingUserProvider provider);

QString pointEventName(int id);
QString pointPageCode(int id);

// The number a live tool carries as "type" in the install and launch
// events: 1 ZVTool, 2 ZVShow, 3 OBS classic, 4 OBS Studio; 0 for any other.
int pointToolType(const QString& toolName);

void pointEvent(int id);
void pointEventWithInt(int id, const QString& key, int value);
void pointEventWithString(int id, const QString& key, const QString& value);
void pointEventWithLaunchInfo(int id, const QVariant& info);
void sendPointEvent(int id, PointEvent event);

class ZavmoPointing : public QObject
{
    Q_OBJECT
public:
    static ZavmoPointing* instance();

    // Dropped, with a log line, once the network is released.
    void sendPoint(const PointEvent& event);
    // Ends the network manager and its thread (the hub's shutdown).
    void releaseNetwork();

    // The request body for an event: "multi=" + Base64 of the compact JSON
    // envelope + "&v=1.0". Also logs the JSON text.
    QByteArray buildBody(const PointEvent& event) const;

    QString deviceId() const { return m_deviceId; }

    // How long a request may take before it is given up.
    void setRequestTimeout(int ms) { m_timeoutMs = ms; }

public slots:
    void handlePointingResult(QNetworkReply* reply);

private:
    ZavmoPointing();

    QString m_appVersion;
    QString m_deviceId;
    QNetworkAccessManager* m_manager = nullptr;
    int m_timeoutMs = 15000;
};
