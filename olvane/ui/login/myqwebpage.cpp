#include "ui/login/myqwebpage.h"

#include "core/systemutils.h"

MyQWebPage::MyQWebPage(QObject* parent) : QWebPage(parent)
{
    connect(this, &QWebPage::linkHovered, this, &MyQWebPage::sltLinkHovered);
}

void MyQWebPage::sltLinkHovered(const QString& link, const QString&, const QString&)
{
    m_url = link.isEmpty() ? QUrl() : QUrl(link, QUrl::TolerantMode);
}

QWebPage* MyQWebPage::createWindow(WebWindowType)
{
    const QString scheme = m_url.scheme().toLower();
    if (scheme == QLatin1String("http") || scheme == QLatin1String("https"))
        openUrl(m_url.toString());
    return nullptr;
}

bool MyQWebPage::acceptNavigationRequest(QWebFrame*, const QNetworkRequest&, NavigationType)
{
    return true;
}
