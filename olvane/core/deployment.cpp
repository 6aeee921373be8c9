#include "core/deployment.h"

#include <QFile>
#include <QSettings>
#include <QSslCertificate>
#include <QSslConfiguration>

namespace deployment {

namespace {

struct KindInfo
{
    const char* section;
    const char* hosts[3];
};

// Indexed by HostKind.
const KindInfo kKinds[] = {
    {"passport", {"passport.zavmo.example", "passport.env1.zavmo.example", "passport.env2.zavmo.example"}},
    {"client_api", {"api.zavmo.example", "api.env1.zavmo.example", "api.env2.zavmo.example"}},
    {"tool_api", {"tool.zavmo.example", "tool.env1.zavmo.example", "tool.env2.zavmo.example"}},
    {"web", {"www.zavmo.example", "www.env1.zavmo.example", "www.env2.zavmo.example"}},
    {"creator", {"creator.zavmo.example", "creator.env1.zavmo.example", "creator.env2.zavmo.example"}},
    {"customer_service", {"kefu.zavmo.example", "kefu.zavmo.example", "kefu.zavmo.example"}},
    {"analytics", {"collect.zavmo.example", "collect.test.zavmo.example", "collect.test.zavmo.example"}},
    {"picture_cdn", {"img.zavmo.example", "img.zavmo.example", "img.zavmo.example"}},
    {"static_cdn", {"static.zavmo.example", "static.zavmo.example", "static.zavmo.example"}},
    {"release", {"release.zavmo.example", "release.zavmo.example", "release.zavmo.example"}},
    {"obs_site", {"obsproject.example", "obsproject.example", "obsproject.example"}},
    {"group_invite", {"group.im.example", "group.im.example", "group.im.example"}},
};

QString hostsFile()
{
    return QString::fromLocal8Bit(qgetenv("ZAVMO_HOSTS"));
}

} // namespace

QString origin(HostKind kind, int slot, bool https)
{
    const int index = static_cast<int>(kind);
    if (slot < 0 || slot > 2)
        slot = 0;
    const QString scheme = https ? QStringLiteral("https") : QStringLiteral("http");
    QString hostPort = QString::fromLatin1(kKinds[index].hosts[slot]);

    const QString file = hostsFile();
    if (!file.isEmpty()) {
        QSettings settings(file, QSettings::IniFormat);
        const QString key =
            QStringLiteral("%1/env%2.%3").arg(QLatin1String(kKinds[index].section)).arg(slot).arg(scheme);
        const QString value = settings.value(key).toString().trimmed();
        if (!value.isEmpty())
            hostPort = value;
    }

    const QString defaultPort = https ? QStringLiteral(":443") : QStringLiteral(":80");
    if (hostPort.endsWith(defaultPort))
        hostPort.chop(defaultPort.size());
    return scheme + QStringLiteral("://") + hostPort;
}

QString crashFtpHost()
{
    const QString file = hostsFile();
    if (!file.isEmpty()) {
        QSettings settings(file, QSettings::IniFormat);
        const QString host = settings.value(QStringLiteral("crash_ftp/host")).toString().trimmed();
        if (!host.isEmpty())
            return host;
    }
    return QStringLiteral("crashftp.zavmo.example");
}

bool installTrustedCertificates()
{
    const QString path = QString::fromLocal8Bit(qgetenv("ZAVMO_CA_BUNDLE"));
    if (path.isEmpty())
        return true;
    const QList<QSslCertificate> extra = QSslCertificate::fromPath(path, QSsl::Pem);
    if (extra.isEmpty())
        return false;
    QSslConfiguration config = QSslConfiguration::defaultConfiguration();
    QList<QSslCertificate> all = config.caCertificates();
    for (const QSslCertificate& cert : extra) {
        if (!all.contains(cert))
            all.append(cert);
    }
    config.setCaCertificates(all);
    QSslConfiguration::setDefaultConfiguration(config);
    return true;
}

} // namespace deployment
