#pragma once
// The outside-account (QQ, WeChat, Weibo) login dialog: the provider's
// sign-in page in a web view whose page is a MyQWebPage. It does not read the
// addresses itself: the account client watches the view's urlChanged and
// accepts or rejects the dialog. The close button rejects. Frameless, stays
// on top, modal; dragged by any press inside it outside the page.
//
// Certificates are verified: a page whose certificate fails does not load,
// and its errors are logged.

#include "ui/login/webdialogsupport.h"

#include <QDialog>
#include <QList>
#include <QNetworkReply>
#include <QSslError>

class MyQWebPage;
class QWebView;

namespace Ui {
class WebViewDlg;
}

class WebViewDlg : public QDialog
{
    Q_OBJECT

public:
    explicit WebViewDlg(QWidget* parent = nullptr);
    ~WebViewDlg() override;

    // Alive as long as the dialog.
    QWebView* getWebView() const;
    void setTitle(const QString& title);

public slots:
    void on_closeBtn_clicked();
    void handleSslErrors(QNetworkReply* reply, const QList<QSslError>& errors);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    Ui::WebViewDlg* ui;
    WebDialogDrag m_drag;
    MyQWebPage* m_page;
};
