#include "ui/login/webdialogfactories.h"

#include "logic/webdialogs.h"
#include "ui/login/verifywebdlg.h"
#include "ui/login/webviewdlg.h"

#include <QNetworkAccessManager>
#include <QWebPage>
#include <QWebView>

namespace {

class CaptchaWebDialog : public CaptchaDialog
{
public:
    void load(const QUrl& page) override { m_dialog.getWebView()->load(page); }
    bool exec() override { return m_dialog.exec() == QDialog::Accepted; }
    QString getCaptchaWord() const override { return m_dialog.getCaptchaWord(); }
    QString getCaptchaKey() const override { return m_dialog.getCaptchaKey(); }
    QString getGeetestChallenge() const override { return m_dialog.getGeetestChallenge(); }
    QString getGeetestValidate() const override { return m_dialog.getGeetestValidate(); }
    QString getGeetestSeccode() const override { return m_dialog.getGeetestSeccode(); }

private:
    VerifyWebDlg m_dialog;
};

// The dialog's web view as the account client sees it.
class ThirdLoginWebView : public ThirdLoginView
{
public:
    explicit ThirdLoginWebView(QWebView* view) : m_view(view)
    {
        connect(view, &QWebView::urlChanged, this, &ThirdLoginView::urlChanged);
    }
    void load(const QUrl& page) override { m_view->load(page); }
    // Taken over by another manager, the store keeps serving this page too:
    // the page's manager only points at it and never deletes it.
    QNetworkCookieJar* cookieJar() const override { return m_view->page()->networkAccessManager()->cookieJar(); }

private:
    QWebView* m_view;
};

class ThirdLoginWebDialog : public ThirdLoginDialog
{
public:
    void setTitle(const QString& title) override { m_dialog.setTitle(title); }
    ThirdLoginView* getWebView() override { return &m_view; }
    int exec() override { return m_dialog.exec(); }
    void accept() override { m_dialog.accept(); }
    void reject() override { m_dialog.reject(); }

private:
    // The dialog first, so that the view adapter is destroyed before it.
    WebViewDlg m_dialog;
    ThirdLoginWebView m_view{m_dialog.getWebView()};
};

} // namespace

void registerWebDialogFactories()
{
    setCaptchaDialogFactory([] { return std::make_unique<CaptchaWebDialog>(); });
    setThirdLoginDialogFactory([] { return std::make_unique<ThirdLoginWebDialog>(); });
}
