#pragma once
// Shared fixture of the account client tests: the binary's simulator, a
// captured log, a fake captcha dialog and bounded waits on the event loop.

#include "account.h"
#include "logic_support.h"
#include "olvaneworld.h"
#include "qtwait.h"

#include "core/pathlayout.h"
#include "logic/loginmanager.h"
#include "logic/webdialogs.h"

#include <gtest/gtest.h>

#include <QEventLoop>
#include <QFile>
#include <QSignalSpy>
#include <QStringList>
#include <QTimer>

#include <functional>
#include <memory>
#include <optional>

namespace accounttest {

namespace account = zavmo::sim::account;

// The log of the running test.
inline std::optional<logictest::LogCapture> g_log;

inline QStringList logLines()
{
    return g_log ? g_log->lines() : QStringList();
}

inline QString logText()
{
    return logLines().join(QLatin1Char('\n'));
}

using zavmo::test::settle;
using zavmo::test::waitUntil;

// Answers as the captcha dialog does once its page reached an address: with
// the values of `answer`, or rejected. `whileOpen` runs inside its modal loop.
struct CaptchaScript
{
    bool accept = true;
    QString key = QString::fromUtf8(account::kCaptchaKey);
    QString word = QString::fromUtf8(account::kCaptchaWord);
    QString challenge;
    QString seccode;
    QString validate;
    std::function<void()> whileOpen;
    // Filled by the dialog.
    QList<QUrl> loaded;
    int opened = 0;
};

class FakeCaptchaDialog : public CaptchaDialog
{
public:
    explicit FakeCaptchaDialog(CaptchaScript& script) : m_script(script) { ++m_script.opened; }
    void load(const QUrl& page) override { m_script.loaded.append(page); }
    bool exec() override
    {
        QEventLoop loop;
        QTimer::singleShot(0, &loop, [&] {
            if (m_script.whileOpen)
                m_script.whileOpen();
            loop.quit();
        });
        loop.exec();
        return m_script.accept;
    }
    QString getCaptchaWord() const override { return m_script.word; }
    QString getCaptchaKey() const override { return m_script.key; }
    QString getGeetestChallenge() const override { return m_script.challenge; }
    QString getGeetestValidate() const override { return m_script.validate; }
    QString getGeetestSeccode() const override { return m_script.seccode; }

private:
    CaptchaScript& m_script;
};

// The signals of one LoginManager, recorded.
struct Signals
{
    explicit Signals(LoginManager& m)
        : begin(&m, &LoginManager::sglBeginLogin), succeeded(&m, &LoginManager::sglLoginSucceeded),
          finished(&m, &LoginManager::sglLoginFinished), rtmpOk(&m, &LoginManager::sglGetRtmpSuccessed),
          rtmpFailed(&m, &LoginManager::sglGetRtmpFailed), logout(&m, &LoginManager::sglLogout),
          closed(&m, &LoginManager::sglCloseLiveRoomSuccess), closeFailed(&m, &LoginManager::sglCloseLiveRommFailed),
          guild(&m, &LoginManager::sglCheckInGuildRequest)
    {
    }
    int loginEnds() const { return succeeded.count() + finished.count(); }

    QSignalSpy begin, succeeded, finished, rtmpOk, rtmpFailed, logout, closed, closeFailed, guild;
};

// The arguments of the last login end, as "code message".
inline std::string lastFinished(const Signals& spies)
{
    if (spies.finished.isEmpty())
        return "(none)";
    const QList<QVariant>& args = spies.finished.last();
    return std::to_string(args.at(0).toInt()) + " " + args.at(1).toString().toStdString();
}

class AccountTest : public OlvaneWorld
{
protected:
    static void SetUpTestSuite()
    {
        ASSERT_NO_FATAL_FAILURE(startSimulator());
    }
    static void TearDownTestSuite()
    {
        g_log.reset();
        setCaptchaDialogFactory(nullptr);
        setThirdLoginDialogFactory(nullptr);
    }
    void SetUp() override
    {
        OlvaneWorld::SetUp();
        QFile::remove(getUserInfoPath());
        setCaptchaDialogFactory(nullptr);
        setThirdLoginDialogFactory(nullptr);
        g_log.reset();
        g_log.emplace();
    }

    // A client whose time synchronisation has been answered.
    static std::unique_ptr<LoginManager> syncedManager()
    {
        auto manager = std::make_unique<LoginManager>();
        manager->setVersion(QStringLiteral("V2.0.1"));
        EXPECT_TRUE(waitUntil([&] { return manager->isServerTimespaceValid(); }));
        return manager;
    }

    // Logs in by user name and waits for the user information.
    static void logIn(LoginManager& manager, Signals& spies)
    {
        const int before = spies.loginEnds();
        manager.loginByNickName(QString::fromUtf8(account::kNickName), QString::fromUtf8(account::kPassword), true);
        ASSERT_TRUE(waitUntil([&] { return spies.loginEnds() > before; }));
        ASSERT_EQ(spies.succeeded.count(), 1) << logText().toStdString();
    }

    // Runs one user-name login and returns how it ended.
    static std::string loginEnding(LoginManager& manager, const char* password = account::kPassword)
    {
        Signals spies(manager);
        manager.loginByNickName(QString::fromUtf8(account::kNickName), QString::fromUtf8(password), true);
        EXPECT_TRUE(waitUntil([&] { return spies.loginEnds() > 0; })) << logText().toStdString();
        return spies.succeeded.isEmpty() ? lastFinished(spies) : "succeeded";
    }

    static void useCaptcha(CaptchaScript& script)
    {
        setCaptchaDialogFactory([&script] { return std::make_unique<FakeCaptchaDialog>(script); });
    }

    static std::vector<Json::Value> requests(const std::string& endpoint) { return sim->requests(endpoint); }

    // Runs the event loop (requests start from it) until the simulator has
    // recorded `count` requests of the endpoint; returns what it recorded.
    static std::vector<Json::Value> waitForRequests(const std::string& endpoint, size_t count, int timeoutMs = 3000)
    {
        waitUntil([&] { return sim->requests(endpoint).size() >= count; }, timeoutMs);
        return sim->requests(endpoint);
    }
};

} // namespace accounttest
