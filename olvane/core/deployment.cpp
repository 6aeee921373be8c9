#include "core/deployment.h"

#include <QSslCertificate>
#include <QSslConfiguration>

namespace deployment {

QString origin(HostKind kind, int slot, bool https)
{
    return QString::fromStdString(platform::hosts::origin(kind, slot, https));
}

QString crashFtpHost()
{
    return QString::fromStdString(platform::hosts::crashFtpHost());
}

int crashFtpPort()
{
    return platform::hosts::crashFtpPort();
}

bool installTrustedCertificates()
{
    const QString path = QString::fromLocal8Bit(platform::hosts::caBundle().c_str());
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
