// Outside-account (QQ, WeChat, Weibo) login against the platform simulator,
// through the web-dialog seam with a dialog whose page follows the
// simulator's redirects as a browser would.

#include "accounttest.h"

#include "core/serverurltable.h"

#include <QNetworkAccessManager>
#include <QNetworkCookieJar>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>

using namespace accounttest;

namespace {

// What the fake dialog does, and what it saw.
struct ThirdLoginScript
{
    // The user closes the dialog after this long.
    int closeAfterMs = 3000;
    // The page shows an address with a code twice in a row (a script on
    // the landing page rewriting its own address).
    bool repeatCodeAddress = false;
    // The page's cookies are not offered (a view with its own empty store).
    bool withoutCookies = false;
    std::function<void()> whileOpen;
    // Filled by the dialog.
    QStringList titles;
    QList<QUrl> shown;
    int opened = 0;
    int executed = 0;
};

class RedirectFollowingView : public ThirdLoginView
{
public:
    explicit RedirectFollowingView(ThirdLoginScript& script) : m_script(script) {}
    ~RedirectFollowingView() override
    {
        // Replies aborted with the manager must not reach a half-destroyed view.
        blockSignals(true);
        for (QNetworkReply* reply : m_manager.findChildren<QNetworkReply*>())
            reply->disconnect(this);
    }

    void load(const QUrl& page) override { fetch(page, 0); }
    QNetworkCookieJar* cookieJar() const override
    {
        return m_script.withoutCookies ? &m_emptyJar : m_manager.cookieJar();
    }

private:
    // Each address is shown once its reply arrives; a redirect leads on.
    void fetch(const QUrl& url, int hops)
    {
        QNetworkRequest request(url);
        request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
        request.setTransferTimeout(3000);
        QNetworkReply* reply = m_manager.get(request);
        connect(reply, &QNetworkReply::finished, this, [this, reply, url, hops] {
            reply->deleteLater();
            m_script.shown.append(url);
            emit urlChanged(url);
            if (m_script.repeatCodeAddress && url.query().contains(QLatin1String("code=")))
                emit urlChanged(url);
            const QUrl target = reply->attribute(QNetworkRequest::RedirectionTargetAttribute).toUrl();
            if (target.isValid() && hops < 10)
                fetch(url.resolved(target), hops + 1);
        });
    }

    ThirdLoginScript& m_script;
    mutable QNetworkAccessManager m_manager;
    mutable QNetworkCookieJar m_emptyJar;
};

class FakeThirdLoginDialog : public ThirdLoginDialog
{
public:
    explicit FakeThirdLoginDialog(ThirdLoginScript& script) : m_script(script), m_view(script) { ++script.opened; }
    void setTitle(const QString& title) override { m_script.titles.append(title); }
    ThirdLoginView* getWebView() override { return &m_view; }
    int exec() override
    {
        ++m_script.executed;
        QEventLoop loop;
        m_loop = &loop;
        QTimer::singleShot(m_script.closeAfterMs, &loop, [this] { reject(); });
        if (m_script.whileOpen)
            QTimer::singleShot(0, &loop, m_script.whileOpen);
        loop.exec();
        m_loop = nullptr;
        return m_result;
    }
    void accept() override { finish(1); }
    void reject() override { finish(0); }

private:
    void finish(int result)
    {
        m_result = result;
        if (m_loop)
            m_loop->quit();
    }

    ThirdLoginScript& m_script;
    RedirectFollowingView m_view;
    QEventLoop* m_loop = nullptr;
    int m_result = 0;
};

class ThirdLoginTest : public AccountTest
{
protected:
    static void useDialog(ThirdLoginScript& script)
    {
        setThirdLoginDialogFactory([&script] { return std::make_unique<FakeThirdLoginDialog>(script); });
    }

    static std::vector<Json::Value> stage(const char* name) { return sim->requests("oauth", "stage", name); }
};

} // namespace

TEST_F(ThirdLoginTest, EachProviderSignsInWithTheCookiesOfItsPage)
{
    struct Provider
    {
        bool (LoginManager::*login)();
        const char* path;
        const char* title;
        const char* (*address)();
    };
    const Provider providers[] = {
        {&LoginManager::loginByQQ, "qq", "QQ登录", oauthQQUrl},
        {&LoginManager::loginByWeChat, "weixin", "微信登录", oauthWeixinUrl},
        {&LoginManager::loginByWeibo, "weibo", "微博登录", oauthWeiboUrl},
    };
    for (const Provider& provider : providers) {
        // Each login starts afresh, without the previous one's saved login.
        sim->reset();
        QFile::remove(getUserInfoPath());
        auto manager = syncedManager();
        ThirdLoginScript script;
        useDialog(script);
        Signals spies(*manager);
        EXPECT_TRUE(((*manager).*provider.login)()) << provider.path;
        EXPECT_EQ(script.titles, QStringList{QString::fromUtf8(provider.title)});
        EXPECT_EQ(spies.begin.count(), 1);
        ASSERT_TRUE(waitUntil([&] { return spies.loginEnds() > 0; })) << logText().toStdString();
        EXPECT_EQ(spies.succeeded.count(), 1) << provider.path << " " << lastFinished(spies);
        EXPECT_TRUE(manager->isLogin());

        // The page: signed over biz_type and the time.
        const auto pages = stage("page");
        ASSERT_EQ(pages.size(), 1u) << provider.path;
        EXPECT_EQ(pages[0]["check"].asString(), "ok");
        EXPECT_EQ(pages[0]["sign_text"].asString(),
                  std::string("tandrel/oauthSignin/") + provider.path +
                      "?aid=zvtool&biz_type=13&time=" + pages[0]["query"]["time"].asString() + "%s");
        EXPECT_TRUE(script.shown.at(0).toString().startsWith(QString::fromUtf8(provider.address())));

        // The sign-in: aid, time, auth, then the redirect's own items, with
        // the page's session cookie.
        const auto signIns = stage("signin");
        ASSERT_EQ(signIns.size(), 1u);
        const Json::Value& signIn = signIns[0];
        EXPECT_EQ(signIn["check"].asString(), "ok") << signIn["check"].asString();
        EXPECT_EQ(signIn["provider"].asString(), provider.path);
        EXPECT_FALSE(signIn["cookie"].asString().empty());
        const std::string code = signIn["query"]["code"].asString();
        const std::string state = signIn["query"]["state"].asString();
        EXPECT_NE(code.find('+'), std::string::npos) << code;
        EXPECT_EQ(signIn["sign_text"].asString(), std::string("tandrel/oauthSignin/") + provider.path +
                                                      "?aid=zvtool&code=" + code + "&state=" + state +
                                                      "&time=" + signIn["query"]["time"].asString() + "%s");
        EXPECT_EQ(signIn["query_string"].asString().rfind("aid=zvtool&time=", 0), 0u);
        const std::string query = signIn["query_string"].asString();
        EXPECT_EQ(query.find("&auth="), query.find('&', query.find("&time=") + 1));

        // The store stays with the account client: later requests carry it.
        EXPECT_NE(requests("my_info").at(0)["headers"]["cookie"].asString().find(account::kOauthCookie),
                  std::string::npos)
            << provider.path;
    }
    EXPECT_EQ(logLines().filter("GenerateQQLoginUrl:").size(), 1);
}

TEST_F(ThirdLoginTest, SignInWithoutThePagesCookiesIsRefused)
{
    auto manager = syncedManager();
    ThirdLoginScript script;
    script.withoutCookies = true;
    useDialog(script);
    Signals spies(*manager);
    EXPECT_TRUE(manager->loginByQQ());
    ASSERT_TRUE(waitUntil([&] { return spies.loginEnds() > 0; }));
    EXPECT_EQ(lastFinished(spies), "1006 no session cookie of the sign-in page for this state");
}

TEST_F(ThirdLoginTest, SecondAddressWithACodeSendsNoSecondSignIn)
{
    auto manager = syncedManager();
    ThirdLoginScript script;
    script.repeatCodeAddress = true;
    useDialog(script);
    Signals spies(*manager);
    EXPECT_TRUE(manager->loginByWeChat());
    ASSERT_TRUE(waitUntil([&] { return spies.loginEnds() > 0; }));
    EXPECT_EQ(spies.succeeded.count(), 1) << lastFinished(spies);
    settle(200);
    EXPECT_EQ(stage("signin").size(), 1u);
    EXPECT_EQ(spies.begin.count(), 1);
    EXPECT_EQ(spies.finished.count(), 0);
}

TEST_F(ThirdLoginTest, DenialRejectsTheDialogAndSendsNothing)
{
    auto manager = syncedManager();
    sim->setMode("oauth", "reply:denied");
    ThirdLoginScript script;
    useDialog(script);
    Signals spies(*manager);
    QElapsedTimer timer;
    timer.start();
    EXPECT_FALSE(manager->loginByWeibo());
    EXPECT_LT(timer.elapsed(), script.closeAfterMs);
    EXPECT_TRUE(script.shown.last().query().contains("error=access_denied"));
    EXPECT_TRUE(stage("signin").empty());
    EXPECT_EQ(spies.begin.count(), 0);
    EXPECT_EQ(spies.loginEnds(), 0);
}

TEST_F(ThirdLoginTest, CodeWithoutStateSendsNothingAndTheDialogStaysOpen)
{
    auto manager = syncedManager();
    sim->setMode("oauth", "reply:nostate");
    ThirdLoginScript script;
    script.closeAfterMs = 600;
    useDialog(script);
    Signals spies(*manager);
    EXPECT_FALSE(manager->loginByQQ());
    ASSERT_EQ(stage("callback").size(), 1u);
    EXPECT_TRUE(script.shown.last().query().contains("code="));
    EXPECT_TRUE(stage("signin").empty());
    EXPECT_EQ(spies.begin.count(), 0);

    // The address rules on their own.
    QString code, state;
    EXPECT_FALSE(LoginManager::parseThirdLoginCode(QUrl("https://h/cb?state=s"), code, state));
    EXPECT_TRUE(LoginManager::parseThirdLoginCode(QUrl("https://h/cb?code=a&state=s&code=b%2Bc"), code, state));
    EXPECT_EQ(code, "b+c");
    EXPECT_EQ(state, "s");
    EXPECT_TRUE(LoginManager::isThirdLoginDenied(QUrl("https://h/cb?x=1&error=access_denied")));
    EXPECT_FALSE(LoginManager::isThirdLoginDenied(QUrl("https://h/cb?error=server_error")));
}

TEST_F(ThirdLoginTest, FirstTimeAccountEndsWithTheNewUserMessage)
{
    auto manager = syncedManager();
    sim->setMode("oauth", "reply:newuser");
    ThirdLoginScript script;
    useDialog(script);
    Signals spies(*manager);
    EXPECT_TRUE(manager->loginByQQ());
    ASSERT_TRUE(waitUntil([&] { return spies.loginEnds() > 0; }));
    EXPECT_EQ(spies.finished.last().at(0).toInt(), -1);
    EXPECT_TRUE(spies.finished.last().at(1).toString().startsWith(QStringLiteral("该账号第一次在Zavmo使用")));
    EXPECT_FALSE(manager->isLogin());
}

TEST_F(ThirdLoginTest, NoDialogNoSignatureOrOneAlreadyOpenReturnsFalse)
{
    auto manager = syncedManager();
    EXPECT_FALSE(manager->loginByQQ());
    EXPECT_TRUE(logText().contains("{no outside-account login dialog}"));

    ThirdLoginScript unsigned_;
    useDialog(unsigned_);
    ::setenv("ZAVMO_SIGN_KEY", "", 1);
    const bool loggedIn = manager->loginByWeibo();
    ::unsetenv("ZAVMO_SIGN_KEY");
    EXPECT_FALSE(loggedIn);
    EXPECT_EQ(unsigned_.executed, 0);

    // A second login while one runs: refused, and the running one still
    // signs in with its own provider.
    ThirdLoginScript script;
    bool nested = true;
    script.whileOpen = [&] { nested = manager->loginByWeibo(); };
    useDialog(script);
    Signals spies(*manager);
    EXPECT_TRUE(manager->loginByWeChat());
    EXPECT_FALSE(nested);
    EXPECT_EQ(script.opened, 1);
    ASSERT_TRUE(waitUntil([&] { return spies.loginEnds() > 0; }));
    EXPECT_EQ(spies.succeeded.count(), 1) << lastFinished(spies);
    EXPECT_EQ(stage("signin").at(0)["provider"].asString(), "weixin");
}
