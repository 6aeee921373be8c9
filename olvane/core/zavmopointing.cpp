#include "core/zavmopointing.h"

#include "core/appconfig.h"
#include "core/serverurltable.h"
#include "core/stringconstants.h"
#include "core/systeminfo.h"
#include "core/systemutils.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDebug>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QStringList>
#include <QUrl>

namespace {

PointingUserProvider& userProvider()
{
    static PointingUserProvider provider;
    return provider;
}

} // namespace

void setPointingUserProvider(PointingUserProvider provider)
{
    userProvider() = std::move(provider);
}

QString pointEventName(int id)
{
    static const char* const kNames[] = {
        "startup_loading",        "endup_quit",
        "click_topnavi_mem_rset", "click_topnavi_mystudio",
        "init_page_home",         "click_install",
        "click_install_succ",     "click_livetool_open",
        "click_introduce",        "click_cust",
        "click_stream_get",       "click_stream_fillin",
        "click_liveset_get",      "show_liveset_get_succ",
        "click_remind_close",     "click_guildbanner",
    };
    if (id < 0 || id >= static_cast<int>(sizeof(kNames) / sizeof(kNames[0])))
        return QString();
    return QString::fromLatin1(kNames[id]);
}

QString pointPageCode(int id)
{
    if (id == 0 || id == 1)
        return QStringLiteral("com_module");
    if (id >= 4 && id <= 15)
        return QStringLiteral("page_home");
    return QString();
}

int pointToolType(const QString& toolName)
{
    if (toolName == kZvToolName)
        return 1;
    if (toolName == kZvShowToolName)
        return 2;
    if (toolName == kObsClassicToolName)
        return 3;
    if (toolName == kObsStudioToolName)
        return 4;
    return 0;
}

void pointEvent(int id)
{
    PointEvent event;
    event.ac = pointEventName(id);
    sendPointEvent(id, event);
}

void pointEventWithInt(int id, const QString& key, int value)
{
    PointEvent event;
    event.ac = pointEventName(id);
    event.extension.append(qMakePair(key, QJsonValue(value)));
    sendPointEvent(id, event);
}

void pointEventWithString(int id, const QString& key, const QString& value)
{
    PointEvent event;
    event.ac = pointEventName(id);
    event.extension.append(qMakePair(key, QJsonValue(value)));
    sendPointEvent(id, event);
}

void pointEventWithLaunchInfo(int id, const QVariant& info)
{
    PointEvent event;
    event.ac = pointEventName(id);
    if (id == PointClickLivetoolOpen) {
        const AppLaunchPointInfo launch = info.value<AppLaunchPointInfo>();
        event.extension.append(qMakePair(QStringLiteral("type"), QJsonValue(launch.type)));
        event.extension.append(qMakePair(QStringLiteral("pa_type"), QJsonValue(launch.pa_type)));
        event.extension.append(qMakePair(QStringLiteral("OBS_type"), QJsonValue(launch.OBS_type)));
    }
    sendPointEvent(id, event);
}

void sendPointEvent(int id, PointEvent event)
{
    int uid = 0;
    int roomId = 0;
    if (userProvider() && userProvider()(uid, roomId)) {
        event.rid = roomId;
        event.i = uid;
    }
    event.ct = QStringLiteral("web_olvane");
    event.pro = QStringLiteral("host_site");
    event.pc = pointPageCode(id);
    event.url = QString::fromUtf8(pointingUrl());

    if (id == PointStartupLoading || id == PointEndupQuit) {
        QString os;
        osShortName(os);
        event.extension.append(qMakePair(QStringLiteral("pc_os"), QJsonValue(os)));
    }
    if (id == PointStartupLoading) {
        QString model;
        QString vendor;
        int count = 0;
        int mhz = 0;
        cpuInfo(model, vendor, count, mhz);
        QStringList adapters;
        dxgiAdapterNames(adapters);
        event.extension.append(qMakePair(QStringLiteral("cpu_num"), QJsonValue(count)));
        event.extension.append(qMakePair(QStringLiteral("cpu_mod"), QJsonValue(model)));
        event.extension.append(qMakePair(QStringLiteral("cpu_freq"), QJsonValue(mhz)));
        event.extension.append(qMakePair(QStringLiteral("cpu_ven"), QJsonValue(vendor)));
        event.extension.append(
            qMakePair(QStringLiteral("vc_mod"), QJsonValue(adapters.isEmpty() ? QString() : adapters.first())));
    }
    ZavmoPointing::instance()->sendPoint(event);
}

ZavmoPointing* ZavmoPointing::instance()
{
    static ZavmoPointing pointing;
    return &pointing;
}

ZavmoPointing::ZavmoPointing()
    : m_appVersion(getAppVersion()), m_deviceId(getLocalMacAddress()), m_manager(new QNetworkAccessManager(this))
{
    connect(m_manager, &QNetworkAccessManager::finished, this, &ZavmoPointing::handlePointingResult);
    // The hub's shutdown releases the network manager; this routine is the
    // backstop for programs without a hub. Either way it ends before the
    // application object: this object is a static, destroyed only after the
    // libraries the manager's thread uses (OpenSSL) have been cleaned up.
    qAddPostRoutine([] { instance()->releaseNetwork(); });
}

void ZavmoPointing::releaseNetwork()
{
    delete m_manager;
    m_manager = nullptr;
}

QByteArray ZavmoPointing::buildBody(const PointEvent& event) const
{
    QJsonObject envelope;
    envelope.insert(QStringLiteral("av"), m_appVersion);
    envelope.insert(QStringLiteral("d"), m_deviceId);
    envelope.insert(QStringLiteral("i"), event.i);
    envelope.insert(QStringLiteral("rid"), event.rid);
    envelope.insert(QStringLiteral("ct"), event.ct);
    envelope.insert(QStringLiteral("pro"), event.pro);
    envelope.insert(QStringLiteral("ac"), event.ac);
    envelope.insert(QStringLiteral("pc"), event.pc);
    envelope.insert(QStringLiteral("rpc"), event.pc);
    envelope.insert(QStringLiteral("pt"), QDateTime::currentMSecsSinceEpoch());
    envelope.insert(QStringLiteral("oct"), QDateTime::currentMSecsSinceEpoch());
    envelope.insert(QStringLiteral("dur"), 0);
    QJsonObject extension;
    for (const auto& pair : event.extension)
        extension.insert(pair.first, pair.second);
    envelope.insert(QStringLiteral("e"), extension);

    const QByteArray json = QJsonDocument(envelope).toJson(QJsonDocument::Compact);
    qDebug() << json.constData();
    return QByteArray("multi=") + json.toBase64() + QByteArray("&v=1.0");
}

void ZavmoPointing::sendPoint(const PointEvent& event)
{
    if (!m_manager) {
        qWarning() << "by vobe, Zavmo pointing: dropped after shutdown:" << event.ac;
        return;
    }
    QNetworkRequest request{QUrl(event.url)};
    request.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/x-www-form-urlencoded"));
    request.setTransferTimeout(m_timeoutMs);
    m_manager->post(request, buildBody(event));
}

void ZavmoPointing::handlePointingResult(QNetworkReply* reply)
{
    reply->deleteLater();
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(reply->readAll(), &parseError);
    if (parseError.error == QJsonParseError::NoError && document.isObject()) {
        const QJsonObject object = document.object();
        const QJsonValue error = object.value(QStringLiteral("error"));
        const QJsonValue message = object.value(QStringLiteral("msg"));
        if (error.isDouble() && error.toDouble() == 0)
            return;
        if (error.isDouble() && error.toDouble() > 0 && message.isString()) {
            qDebug() << "by vobe, Zavmo pointing error: " << message.toString();
            return;
        }
    }
    qDebug() << "by vobe, Zavmo pointing error: unexpected HTTP response";
}
