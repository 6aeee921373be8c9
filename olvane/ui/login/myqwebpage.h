#pragma once
// The page of the outside-account login view: every navigation stays in the
// view, and a request for a new window (a link with a target) opens the link
// last hovered in the desktop's browser instead of a web window.

#include <QUrl>
#include <QWebPage>

class MyQWebPage : public QWebPage
{
    Q_OBJECT

public:
    explicit MyQWebPage(QObject* parent = nullptr);

    // The link under the mouse; empty once the mouse has left it.
    QUrl hoveredLink() const { return m_url; }

public slots:
    void sltLinkHovered(const QString& link, const QString& title, const QString& textContent);

protected:
    // Hands the hovered link to the desktop, only when it is an http or https
    // address: a page must not make the desktop open files or other schemes.
    // Creates no page.
    QWebPage* createWindow(WebWindowType type) override;
    bool acceptNavigationRequest(QWebFrame* frame, const QNetworkRequest& request, NavigationType type) override;

private:
    QUrl m_url;
};
