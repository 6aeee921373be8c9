// The QR-code login through the dialog against the simulator, at the
// dialog's real one-second poll: the code shown and the scan confirmed, and
// an expired code replaced.
#include "qrlogintest.h"
#include "screenshot.h"

#include <QImage>
#include <QPixmap>

using namespace logintest;

TEST_F(QRLoginTest, ConfirmedScanAcceptsTheDialog)
{
    ZvLoginWidget dialog;
    auto* qr = child<QLabel>(dialog, "label_QR_code");
    QTimer::singleShot(0, &dialog, [&] {
        // The code arrives and is drawn 142 pixels square.
        ASSERT_TRUE(waitUntil([&] { return !qr->pixmap(Qt::ReturnByValue).isNull(); }));
        EXPECT_EQ(qr->pixmap(Qt::ReturnByValue).size(), QSize(142, 142));
        const QImage image = qr->pixmap(Qt::ReturnByValue).toImage();
        EXPECT_EQ(image.pixelColor(3, 3), QColor(Qt::white));
        EXPECT_EQ(image.pixelColor(11, 11), QColor(Qt::black));
        zavmo::test::saveScreenshot(dialog, "login_qr_code.png");
    });
    QTimer::singleShot(8000, &dialog, &QDialog::reject);
    EXPECT_EQ(dialog.exec(), QDialog::Accepted);
    EXPECT_TRUE(manager()->isLogin());
    EXPECT_EQ(codes(), 1u);
    // Waiting twice, then the login.
    EXPECT_EQ(polls(), static_cast<size_t>(account::kScanPolls));
}

TEST_F(QRLoginTest, ExpiredCodeIsReplacedWithoutAToast)
{
    sim->setMode("scanAuth", "reply:expired");
    ZvLoginWidget dialog;
    dialog.show();
    ASSERT_TRUE(waitUntil([] { return codes() >= 2; }, 3000));
    EXPECT_EQ(toastText(dialog), QString());
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
}
