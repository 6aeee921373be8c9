// The web dialogs' own rules, without a server: the captcha dialog's reading
// of addresses, both dialogs' layout, and which links the outside-login page
// hands to the desktop.
#include "logintest.h"

#include "ui/login/myqwebpage.h"
#include "ui/login/verifywebdlg.h"
#include "ui/login/webviewdlg.h"

#include <QSignalSpy>
#include <QWebView>

using namespace logintest;

namespace {

// The page's new-window request, as WebKit makes it.
class ExposedPage : public MyQWebPage
{
public:
    using MyQWebPage::acceptNavigationRequest;
    using MyQWebPage::createWindow;
};

} // namespace

TEST(VerifyWebDlg, LaysOutItsTitleCloseButtonAndPage)
{
    VerifyWebDlg dialog;
    EXPECT_EQ(dialog.size(), QSize(360, 445));
    EXPECT_EQ(dialog.minimumSize(), dialog.maximumSize());
    EXPECT_TRUE(dialog.windowFlags() & Qt::FramelessWindowHint);
    EXPECT_TRUE(dialog.windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_TRUE(dialog.isModal());
    auto* title = child<QLabel>(dialog, "lbTitle");
    EXPECT_EQ(title->text(), QStringLiteral("登录验证"));
    EXPECT_EQ(title->geometry(), QRect(140, 7, 261, 41));
    EXPECT_EQ(child(dialog, "closeBtn")->geometry(), QRect(337, 10, 13, 13));
    EXPECT_EQ(dialog.getWebView()->geometry(), QRect(1, 42, 358, 402));
    EXPECT_EQ(dialog.getWebView()->url(), QUrl("about:blank"));

    QTimer::singleShot(0, &dialog, [&] { child<QPushButton>(dialog, "closeBtn")->click(); });
    EXPECT_EQ(dialog.exec(), QDialog::Rejected);
}

TEST(VerifyWebDlg, AcceptsOnceAnAddressCompletesEitherValueSet)
{
    {
        VerifyWebDlg dialog;
        QSignalSpy accepted(&dialog, &QDialog::accepted);
        dialog.on_webView_urlChanged(QUrl("https://h/cb?captcha_word=w"));
        EXPECT_EQ(accepted.count(), 0);
        // Names differ in case: ignored.
        dialog.on_webView_urlChanged(QUrl("https://h/cb?Captcha_Key=k&CAPTCHA_KEY=k"));
        EXPECT_EQ(accepted.count(), 0);
        dialog.on_webView_urlChanged(QUrl("about:blank"));
        dialog.on_webView_urlChanged(QUrl());
        EXPECT_EQ(accepted.count(), 0);
        // The word stays from the earlier address; the later key wins, and
        // values arrive decoded.
        dialog.on_webView_urlChanged(QUrl("https://h/cb?captcha_key=a&captcha_key=b%2Bc%20d"));
        EXPECT_EQ(accepted.count(), 1);
        EXPECT_EQ(dialog.getCaptchaWord(), "w");
        EXPECT_EQ(dialog.getCaptchaKey(), "b+c d");
    }
    {
        VerifyWebDlg dialog;
        QSignalSpy accepted(&dialog, &QDialog::accepted);
        dialog.on_webView_urlChanged(QUrl("https://h/gt?geetest_challenge=c&geetest_validate=v"));
        EXPECT_EQ(accepted.count(), 0);
        dialog.on_webView_urlChanged(QUrl("https://h/gt?geetest_seccode=s"));
        EXPECT_EQ(accepted.count(), 1);
        EXPECT_EQ(dialog.getGeetestChallenge(), "c");
        EXPECT_EQ(dialog.getGeetestValidate(), "v");
        EXPECT_EQ(dialog.getGeetestSeccode(), "s");
        EXPECT_EQ(dialog.getCaptchaKey(), "");
    }
    {
        // An empty key replaces the one seen before and does not count.
        VerifyWebDlg dialog;
        QSignalSpy accepted(&dialog, &QDialog::accepted);
        dialog.on_webView_urlChanged(QUrl("https://h/cb?captcha_key=k"));
        dialog.on_webView_urlChanged(QUrl("https://h/cb?captcha_key=&captcha_word=w"));
        EXPECT_EQ(accepted.count(), 0);
        EXPECT_EQ(dialog.getCaptchaKey(), "");
    }
}

TEST(WebViewDlg, LaysOutItsTitleCloseButtonAndPage)
{
    WebViewDlg dialog;
    EXPECT_EQ(dialog.size(), QSize(832, 619));
    EXPECT_EQ(dialog.minimumSize(), dialog.maximumSize());
    EXPECT_TRUE(dialog.windowFlags() & Qt::FramelessWindowHint);
    EXPECT_TRUE(dialog.windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_TRUE(dialog.isWindow());
    EXPECT_TRUE(dialog.isModal());
    auto* title = child<QLabel>(dialog, "label");
    EXPECT_EQ(title->text(), QStringLiteral("第三方登录"));
    dialog.setTitle(QStringLiteral("微博登录"));
    EXPECT_EQ(title->text(), QStringLiteral("微博登录"));
    EXPECT_EQ(child(dialog, "closeBtn")->geometry(), QRect(806, 2, 24, 24));
    EXPECT_EQ(dialog.getWebView()->geometry(), QRect(0, 56, 832, 563));
    EXPECT_NE(qobject_cast<MyQWebPage*>(dialog.getWebView()->page()), nullptr);

    QTimer::singleShot(0, &dialog, [&] { child<QPushButton>(dialog, "closeBtn")->click(); });
    EXPECT_EQ(dialog.exec(), QDialog::Rejected);
}

TEST(WebViewDlg, DragsByPressesOnTheDialogWithTheLeftButton)
{
    WebViewDlg dialog;
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    dialog.move(50, 40);
    const QPoint start = dialog.mapToGlobal(QPoint(400, 20));
    zavmo::test::mousePressAt(&dialog, start);
    zavmo::test::mouseMoveAt(&dialog, start + QPoint(-30, 25), Qt::LeftButton);
    EXPECT_EQ(dialog.pos(), QPoint(20, 65));
    zavmo::test::mouseMoveAt(&dialog, start + QPoint(100, 100), Qt::RightButton);
    EXPECT_EQ(dialog.pos(), QPoint(20, 65));
}

TEST(MyQWebPage, NewWindowsOpenOnlyHoveredWebLinksOnTheDesktop)
{
    ShellRecord shell;
    ExposedPage page;
    EXPECT_TRUE(page.acceptNavigationRequest(nullptr, QNetworkRequest(QUrl("https://h/x")),
                                             QWebPage::NavigationTypeLinkClicked));
    // Nothing hovered: nothing opens, and no page is made.
    EXPECT_EQ(page.createWindow(QWebPage::WebBrowserWindow), nullptr);

    const char* refused[] = {"file:///etc/passwd", "javascript:alert(1)", "ftp://h/f", "smb://h/share"};
    for (const char* link : refused) {
        emit page.linkHovered(QString::fromLatin1(link), QString(), QString());
        EXPECT_EQ(page.createWindow(QWebPage::WebBrowserWindow), nullptr) << link;
    }
    EXPECT_EQ(shell.lines(), QString());

    emit page.linkHovered(QStringLiteral("https://help.example/qq?a=1"), QString(), QString());
    page.createWindow(QWebPage::WebBrowserWindow);
    emit page.linkHovered(QStringLiteral("HTTP://help.example/wx"), QString(), QString());
    page.createWindow(QWebPage::WebModalDialog);
    // The mouse left the link.
    emit page.linkHovered(QString(), QString(), QString());
    page.createWindow(QWebPage::WebBrowserWindow);
    EXPECT_EQ(shell.lines(), "open https://help.example/qq?a=1\nopen http://help.example/wx\n");
}
