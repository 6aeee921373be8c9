// Outside-account logins through the dialog in offscreen WebKit against the
// simulator: the provider's pages over verified TLS, the redirect with code
// and state, the sign-in with the page's cookies; refusals, the close button,
// a first-time account; and links that ask for a new window.
#include "logintest.h"
#include "screenshot.h"

#include "logic/webdialogs.h"
#include "ui/login/myqwebpage.h"
#include "ui/login/webviewdlg.h"

#include <QSignalSpy>
#include <QWebElement>
#include <QWebFrame>
#include <QWebView>

using namespace logintest;

namespace {

class WebLoginTest : public LoginDialogTest
{
protected:
    static std::vector<Json::Value> stage(const char* name) { return sim->requests("oauth", "stage", name); }
};

} // namespace

TEST_F(WebLoginTest, EachProviderLogsInThroughItsWebPage)
{
    struct Provider
    {
        const char* button;
        const char* provider;
        int mode;
    };
    const Provider providers[] = {{"button_QQ", "qq", ZvLoginWidget::QQ},
                                  {"button_WeChat", "weixin", ZvLoginWidget::WeChat},
                                  {"button_MicroBlog", "weibo", ZvLoginWidget::Weibo}};
    for (const auto& [button, provider, mode] : providers) {
        sim->reset();
        if (manager()->isLogin())
            manager()->logout();
        ZvLoginWidget dialog;
        showAccountPage(dialog, "button_phonelogin");
        QStringList titles;
        whenShown<WebViewDlg>(&dialog, [&](WebViewDlg& web) { titles << child<QLabel>(web, "label")->text(); });
        rejectWebDialogsAfter(8000, &dialog);
        child<QPushButton>(dialog, button)->click();
        // The web dialog was accepted: its mode holds while the sign-in runs.
        EXPECT_EQ(dialog.loginMode(), mode) << provider;
        ASSERT_TRUE(waitUntil([&] { return dialog.result() == QDialog::Accepted; })) << provider;
        EXPECT_EQ(titles.size(), 1) << provider;
        EXPECT_TRUE(manager()->isLogin());

        const auto pages = stage("page");
        ASSERT_EQ(pages.size(), 1u) << provider;
        EXPECT_EQ(pages[0]["provider"].asString(), provider);
        EXPECT_EQ(pages[0]["check"].asString(), "ok");
        const auto signIns = stage("signin");
        ASSERT_EQ(signIns.size(), 1u) << provider;
        EXPECT_EQ(signIns[0]["check"].asString(), "ok") << signIns[0]["check"].asString();
        EXPECT_FALSE(signIns[0]["cookie"].asString().empty());
    }
}

TEST_F(WebLoginTest, RefusalAndCloseRestoreThePasswordLogin)
{
    ZvLoginWidget dialog;
    showAccountPage(dialog, "button_nickname");
    sim->setMode("oauth", "reply:denied");
    rejectWebDialogsAfter(8000, &dialog);
    child<QPushButton>(dialog, "button_QQ")->click();
    EXPECT_EQ(dialog.loginMode(), ZvLoginWidget::NickName);
    EXPECT_TRUE(stage("signin").empty());
    EXPECT_FALSE(stage("callback").empty());

    // Closed by the user while the page shows.
    sim->setMode("oauth", "success");
    whenShown<WebViewDlg>(&dialog, [](WebViewDlg& web) { child<QPushButton>(web, "closeBtn")->click(); });
    child<QPushButton>(dialog, "button_WeChat")->click();
    EXPECT_EQ(dialog.loginMode(), ZvLoginWidget::NickName);
    EXPECT_EQ(toastText(dialog), QString());
    EXPECT_TRUE(dialog.isVisible());
}

namespace {

// An outside-account page that the user gets through at once; the sign-in
// it would start stays pending.
struct PassingThirdLogin : ThirdLoginDialog
{
    struct View : ThirdLoginView
    {
        void load(const QUrl&) override {}
        QNetworkCookieJar* cookieJar() const override { return nullptr; }
    } view;
    void setTitle(const QString&) override {}
    ThirdLoginView* getWebView() override { return &view; }
    int exec() override { return 1; }
    void accept() override {}
    void reject() override {}
};

} // namespace

// A second outside click while the first sign-in is pending: its failure
// still goes back to the password login.
TEST_F(WebLoginTest, FailureAfterTwoOutsideClicksRestoresThePasswordLogin)
{
    setThirdLoginDialogFactory([] { return std::make_unique<PassingThirdLogin>(); });
    struct Restore
    {
        ~Restore() { registerWebDialogFactories(); }
    } restore;
    ZvLoginWidget dialog;
    showAccountPage(dialog, "button_nickname");
    child<QPushButton>(dialog, "button_QQ")->click();
    child<QPushButton>(dialog, "button_WeChat")->click();
    EXPECT_EQ(dialog.loginMode(), ZvLoginWidget::WeChat);
    emit listener->sglLoginFinished(-1, QStringLiteral("登录失败"));
    EXPECT_EQ(dialog.loginMode(), ZvLoginWidget::NickName);
}

TEST_F(WebLoginTest, FirstTimeAccountToastsAndLeavesThePasswordLoginUsable)
{
    ZvLoginWidget dialog;
    showAccountPage(dialog, "button_nickname");
    sim->setMode("oauth", "reply:newuser");
    rejectWebDialogsAfter(8000, &dialog);
    child<QPushButton>(dialog, "button_MicroBlog")->click();
    ASSERT_TRUE(waitUntil([&] { return !toastText(dialog).isEmpty(); }));
    EXPECT_TRUE(toastText(dialog).startsWith(QStringLiteral("该账号第一次在Zavmo使用")));

    // The login button logs in by user name again.
    EXPECT_EQ(dialog.loginMode(), ZvLoginWidget::NickName);
    typeInto(dialog, "ledit_username", QString::fromUtf8(account::kNickName));
    typeInto(dialog, "ledit_password", QString::fromUtf8(account::kPassword));
    child<QPushButton>(dialog, "button_login")->click();
    ASSERT_TRUE(waitUntil([&] { return dialog.result() == QDialog::Accepted; }));
    EXPECT_EQ(requests("loginCheck2").size(), 1u);
}

TEST_F(WebLoginTest, PageWithAFailingCertificateDoesNotLoad)
{
    // A second simulator: its certificate authority is not trusted here.
    zavmo::test::Simulator untrusted;
    logictest::LogCapture log;
    WebViewDlg dialog;
    QSignalSpy loaded(dialog.getWebView(), &QWebView::loadFinished);
    dialog.getWebView()->load(
        QUrl(QStringLiteral("https://127.0.0.1:%1/api/tandrel/oauthSignin/qq").arg(untrusted.httpsPort())));
    ASSERT_TRUE(waitUntil([&] { return !loaded.isEmpty(); }));
    EXPECT_FALSE(loaded.first().at(0).toBool());
    EXPECT_TRUE(log.contains("handleSslErrors: "));
    EXPECT_TRUE(log.contains("ssl error: "));
    EXPECT_TRUE(untrusted.requests("oauth").empty());
}

TEST_F(WebLoginTest, LinkWithATargetOpensInTheDesktopBrowser)
{
    ShellRecord shell;
    WebViewDlg dialog;
    QWebView* view = dialog.getWebView();
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    QSignalSpy loaded(view, &QWebView::loadFinished);
    view->setHtml(QStringLiteral("<html><body style='margin:0'>"
                                 "<a id='help' href='https://help.example/qq' target='_blank' "
                                 "style='display:block;width:200px;height:40px'>帮助</a>"
                                 "<a id='file' href='file:///etc/passwd' target='_blank' "
                                 "style='display:block;width:200px;height:40px'>file</a>"
                                 "</body></html>"),
                  QUrl(QStringLiteral("https://provider.example/")));
    ASSERT_TRUE(waitUntil([&] { return !loaded.isEmpty(); }));
    zavmo::test::saveScreenshot(dialog, "login_web.png");

    for (const char* id : {"help", "file"}) {
        const QRect link = view->page()->mainFrame()->findFirstElement(QStringLiteral("#") + id).geometry();
        QTest::mouseMove(view, link.center());
        settle(20);
        QTest::mouseClick(view, Qt::LeftButton, Qt::NoModifier, link.center());
        settle(50);
    }
    // WebKit hands the click on later: wait for the one open.
    waitUntil([&] { return !shell.lines().isEmpty(); }, 5000);
    EXPECT_EQ(shell.lines(), "open https://help.example/qq\n");
    // Neither link left the page.
    EXPECT_EQ(view->url(), QUrl(QStringLiteral("https://provider.example/")));
}
