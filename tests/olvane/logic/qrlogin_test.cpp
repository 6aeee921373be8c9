// QR-code login against the platform simulator: the scan code, its symbol
// and the scan-state poll.

#include "accounttest.h"

#include "platform/qrcode.h"

#include <QImage>

#include <memory>

using namespace accounttest;

namespace {

const QString kBusy = QStringLiteral("服务器或网络繁忙，请稍后再试");

struct QrSpies
{
    explicit QrSpies(LoginManager& m)
        : changed(&m, &LoginManager::sglQRCodeChanged), failed(&m, &LoginManager::sglGetQRCodeFailed)
    {
    }
    int ends() const { return changed.count() + failed.count(); }
    std::string lastFailure() const
    {
        if (failed.isEmpty())
            return "(none)";
        return std::to_string(failed.last().at(0).toInt()) + " " + failed.last().at(1).toString().toStdString();
    }
    QSignalSpy changed, failed;
};

class QrLoginTest : public AccountTest
{
protected:
    // Asks for a scan code and waits for its outcome.
    static void askForCode(LoginManager& manager, QrSpies& spies)
    {
        const int before = spies.ends();
        manager.requestQRCode();
        ASSERT_TRUE(waitUntil([&] { return spies.ends() > before; })) << logText().toStdString();
    }

    // Polls the scan state once and waits until the simulator has answered
    // and the reply was handled.
    static void poll(LoginManager& manager)
    {
        const size_t before = requests("scanAuth").size();
        manager.checkQRCodeAuth();
        // Unchecked, a slow poll would let the caller read the previous
        // request as this one's.
        ASSERT_EQ(waitForRequests("scanAuth", before + 1, 10000).size(), before + 1);
        settle(50);
    }

    // The code the client sends now, read from one poll.
    static std::string polledCode(LoginManager& manager)
    {
        poll(manager);
        if (HasFatalFailure())
            return {};
        return requests("scanAuth").back()["form"]["code"].asString();
    }
};

} // namespace

TEST_F(QrLoginTest, ScanCodeIsSignedAsThePlatformExpectsAndDrawnAsItsSymbol)
{
    auto manager = syncedManager();
    EXPECT_TRUE(manager->getQRCodeImage(142, 10).isNull());

    QrSpies spies(*manager);
    askForCode(*manager, spies);
    ASSERT_EQ(spies.changed.count(), 1) << spies.lastFailure();
    const Json::Value post = requests("scanCode").at(0);
    EXPECT_EQ(post["check"].asString(), "ok");
    const std::string time = post["query"]["time"].asString();
    // biz_type signed twice, sent once in the query and once in the body.
    EXPECT_EQ(post["sign_text"].asString(), "scan/code?aid=zvtool&biz_type=13&time=" + time + "%s&biz_type=13");
    EXPECT_EQ(post["query_string"].asString().rfind("aid=zvtool&biz_type=13&time=" + time + "&auth=", 0), 0u);
    EXPECT_EQ(post["body"].asString(), "biz_type=13");
    EXPECT_EQ(post["headers"]["content-type"].asString(), "application/x-www-form-urlencoded");

    // The symbol encodes url followed by code: module for module, drawn with
    // a side of 122 / width pixels inside the 10-pixel margin.
    const std::string code = polledCode(*manager);
    ASSERT_FALSE(code.empty());
    const std::string text =
        post["scheme"].asString() + "://" + post["headers"]["host"].asString() + "/scan/qr?code=" + code;
    const std::unique_ptr<ZvQrSymbol, void (*)(ZvQrSymbol*)> symbol(zvQrEncode(text.c_str(), 1, 0, 3, 1), zvQrFree);
    ASSERT_TRUE(symbol);
    const QImage image = manager->getQRCodeImage(142, 10);
    ASSERT_EQ(image.size(), QSize(142, 142));
    EXPECT_EQ(image.format(), QImage::Format_Mono);
    const double side = 122.0 / symbol->width;
    int mismatches = 0;
    for (int row = 0; row < symbol->width; ++row)
        for (int column = 0; column < symbol->width; ++column) {
            const QPoint centre(static_cast<int>(10 + (column + 0.5) * side),
                                static_cast<int>(10 + (row + 0.5) * side));
            const bool dark = image.pixel(centre) == qRgb(0, 0, 0);
            mismatches += dark != bool(symbol->modules[row * symbol->width + column] & 1);
        }
    EXPECT_EQ(mismatches, 0) << text;
    // The dark top-left module starts at the margin; the margin stays white.
    EXPECT_EQ(image.pixel(10, 10), qRgb(0, 0, 0));
    EXPECT_EQ(image.pixel(9, 9), qRgb(255, 255, 255));
    EXPECT_EQ(image.pixel(132, 132), qRgb(255, 255, 255));
    EXPECT_TRUE(manager->getQRCodeImage(0, 0).isNull());
}

TEST_F(QrLoginTest, PollWaitsUntilTheCodeIsScannedThenLogsIn)
{
    auto manager = syncedManager();
    QrSpies qr(*manager);
    Signals spies(*manager);
    askForCode(*manager, qr);

    for (int i = 1; i < account::kScanPolls; ++i)
        poll(*manager);
    EXPECT_EQ(spies.loginEnds(), 0) << lastFinished(spies);
    manager->checkQRCodeAuth();
    ASSERT_TRUE(waitUntil([&] { return spies.loginEnds() > 0; })) << logText().toStdString();
    EXPECT_EQ(spies.succeeded.count(), 1) << lastFinished(spies);
    EXPECT_TRUE(manager->isLogin());
    EXPECT_EQ(manager->getUid(), 10086);
    EXPECT_EQ(spies.begin.count(), 0);

    const auto polls = requests("scanAuth");
    ASSERT_EQ(polls.size(), size_t(account::kScanPolls));
    for (const Json::Value& poll : polls) {
        EXPECT_EQ(poll["check"].asString(), "ok");
        const std::string time = poll["query"]["time"].asString();
        const std::string code = poll["query"]["code"].asString();
        EXPECT_EQ(poll["sign_text"].asString(),
                  "lapi/passport/scan/auth?aid=zvtool&biz_type=13&code=" + code + "&time=" + time + "%s");
        EXPECT_FALSE(poll["headers"].isMember("content-type"));
    }
    EXPECT_EQ(polls[0]["query_string"].asString().rfind("aid=zvtool&biz_type=13&time=", 0), 0u);
    EXPECT_EQ(requests("scanCode").size(), 1u);
}

TEST_F(QrLoginTest, ExpiredCodeIsReplacedAndTheNextPollSendsTheNewOne)
{
    auto manager = syncedManager();
    QrSpies qr(*manager);
    Signals spies(*manager);

    // Before any code the poll sends an empty one, which the platform
    // reports as expired: a first code is asked for.
    poll(*manager);
    EXPECT_EQ(requests("scanAuth").at(0)["form"]["code"].asString(), "");
    ASSERT_TRUE(waitUntil([&] { return qr.changed.count() == 1; }));
    const std::string first = polledCode(*manager);
    ASSERT_FALSE(first.empty());

    sim->setMode("scanAuth", "reply:expired");
    poll(*manager);
    ASSERT_TRUE(waitUntil([&] { return qr.changed.count() == 2; }));
    EXPECT_EQ(requests("scanCode").size(), 2u);
    sim->setMode("scanAuth", "success");
    const std::string second = polledCode(*manager);
    EXPECT_NE(second, first);
    EXPECT_FALSE(second.empty());
    EXPECT_EQ(spies.loginEnds(), 0) << lastFinished(spies);
    EXPECT_EQ(qr.failed.count(), 0);
}

TEST_F(QrLoginTest, PollErrorsAreSilentButABrokenReplyEndsTheLogin)
{
    auto manager = syncedManager();
    QrSpies qr(*manager);
    askForCode(*manager, qr);
    Signals spies(*manager);
    for (const char* mode : {"error:5", "error:1003"}) {
        sim->setMode("scanAuth", mode);
        poll(*manager);
        EXPECT_EQ(spies.loginEnds(), 0) << mode << " " << lastFinished(spies);
    }
    // A poll answered 1003 leaves the offset as it was.
    EXPECT_TRUE(manager->isServerTimespaceValid());
    EXPECT_EQ(requests("scanCode").size(), 1u);

    for (const char* mode : {"badjson", "http500", "cut", "reply:texterror"}) {
        sim->setMode("scanAuth", mode);
        const int before = spies.finished.count();
        manager->checkQRCodeAuth();
        ASSERT_TRUE(waitUntil([&] { return spies.finished.count() > before; })) << mode;
        EXPECT_EQ(lastFinished(spies), "-1 " + kBusy.toStdString()) << mode;
    }
}

TEST_F(QrLoginTest, ScanCodeFailuresAreReportedAndKeepThePreviousSymbol)
{
    auto manager = syncedManager();
    QrSpies qr(*manager);
    askForCode(*manager, qr);
    const QImage symbol = manager->getQRCodeImage(142, 10);
    ASSERT_FALSE(symbol.isNull());

    const std::vector<std::pair<std::string, std::string>> cases = {
        {"error:5", "5 simulated error 5"},
        {"reply:datastring", "0 "},
        {"reply:texterror", "-1 "},
        {"reply:noerror", "-1 " + kBusy.toStdString()},
        {"badjson", "-1 " + kBusy.toStdString()},
        {"http500", "-1 " + kBusy.toStdString()},
    };
    for (const auto& [mode, failure] : cases) {
        sim->setMode("scanCode", mode);
        askForCode(*manager, qr);
        EXPECT_EQ(qr.lastFailure(), failure) << mode;
    }
    EXPECT_EQ(qr.changed.count(), 1);
    EXPECT_EQ(qr.failed.count(), int(cases.size()));
    EXPECT_EQ(manager->getQRCodeImage(142, 10), symbol);
    EXPECT_EQ(logLines().filter("responseQRCode:").size(), int(cases.size()));
    EXPECT_TRUE(logText().contains("responseQRCode: {\"data\":\"no object\",\"error\":0}")) << logText().toStdString();

    // A code that encodes to nothing still counts as new, and draws nothing.
    sim->setMode("scanCode", "reply:emptycode");
    askForCode(*manager, qr);
    EXPECT_EQ(qr.changed.count(), 2);
    EXPECT_TRUE(manager->getQRCodeImage(142, 10).isNull());
}

TEST_F(QrLoginTest, StaleClockIsResynchronisedAndTheCodeAskedForAgain)
{
    sim->setMode("timeStamp", "error:5");
    LoginManager manager;
    ASSERT_EQ(waitForRequests("timeStamp", 1).size(), 1u);
    // A slow time reply: the code is asked for again once it has come.
    sim->setMode("timeStamp", "delay:400");

    // Sent with the local time minus 65535: the platform answers 1003.
    QrSpies qr(manager);
    askForCode(manager, qr);
    EXPECT_EQ(qr.changed.count(), 1) << qr.lastFailure();
    const auto posts = requests("scanCode");
    ASSERT_EQ(posts.size(), 2u);
    EXPECT_EQ(posts[0]["check_error"].asInt(), 1003);
    EXPECT_EQ(posts[1]["check"].asString(), "ok");
    EXPECT_GE(posts[1]["time_ms"].asInt64() - posts[0]["time_ms"].asInt64(), 390);
    EXPECT_TRUE(manager.isServerTimespaceValid());
}

TEST_F(QrLoginTest, RetryOn1003IsBounded)
{
    auto manager = syncedManager();
    sim->setMode("scanCode", "error:1003");
    QrSpies qr(*manager);
    askForCode(*manager, qr);
    ASSERT_EQ(qr.failed.count(), 1);
    EXPECT_EQ(qr.lastFailure(), "1003 simulated error 1003");
    settle(300);
    EXPECT_EQ(requests("scanCode").size(), 4u);
    EXPECT_EQ(qr.failed.count(), 1);

    // The next request gets its own retries.
    sim->setMode("scanCode", "success");
    askForCode(*manager, qr);
    EXPECT_EQ(qr.changed.count(), 1);
}
