// The QR-code login's poll against the simulator, at its real one-second
// pace: only while the QR page is shown, one refresh timer, and the
// failures' toasts.
#include "qrlogintest.h"

using namespace logintest;

TEST_F(QRLoginTest, PollingRunsOnlyOnTheQRPage)
{
    ZvLoginWidget dialog;
    dialog.show();
    ASSERT_TRUE(waitUntil([] { return polls() >= 1; }, 3000));
    child<QPushButton>(dialog, "button_loginbypsw")->click();
    const size_t before = polls();
    settle(1300);
    EXPECT_EQ(polls(), before);
    // A refresh due now asks for nothing off the QR page.
    dialog.timerDone();
    settle(100);
    EXPECT_EQ(codes(), 1u);

    // Back on the QR page: a new code and polling again.
    child<QPushButton>(dialog, "button_loginbyQRcode")->click();
    ASSERT_TRUE(waitUntil([] { return codes() == 2; }, 2000));
    ASSERT_TRUE(waitUntil([&] { return polls() > before; }, 2000));

    // One refresh timer, restarted by each new code.
    const QList<QTimer*> refresh = timersOf(dialog, 55000);
    ASSERT_EQ(refresh.size(), 1);
    EXPECT_TRUE(refresh[0]->isActive());
    EXPECT_TRUE(refresh[0]->isSingleShot());
    dialog.timerDone();
    ASSERT_TRUE(waitUntil([] { return codes() == 3; }, 2000));
    EXPECT_EQ(timersOf(dialog, 55000).size(), 1);
    EXPECT_GT(refresh[0]->remainingTime(), 50000);
}

TEST_F(QRLoginTest, FailuresShowTheirToasts)
{
    sim->setMode("scanCode", "error:7");
    sim->setMode("scanAuth", "badjson");
    ZvLoginWidget dialog;
    dialog.show();
    ASSERT_TRUE(waitUntil([&] { return !toastText(dialog).isEmpty(); }));
    EXPECT_EQ(toastText(dialog), QStringLiteral("错误码：7，simulated error 7"));
    // The poll's reply is not JSON: the toast of a failed login.
    ASSERT_TRUE(waitUntil([&] { return toastText(dialog) == QStringLiteral("服务器或网络繁忙，请稍后再试"); }, 3000));
    EXPECT_FALSE(manager()->isLogin());
}
