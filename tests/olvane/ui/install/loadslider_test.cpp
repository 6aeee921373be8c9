// The component loading dialog following one download of the pool.

#include "installtest.h"

#include "core/pathlayout.h"
#include "logic/zvfiledownloader.h"
#include "logic/zvlogicfw.h"
#include "ui/install/zvloadsliderwidget.h"

#include "faketools.h"
#include "screenshot.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

using logictest::waitFor;

namespace {

const QString kName = QStringLiteral("component");

class LoadSliderTest : public InstallDialogTest
{
protected:
    // Starts the download of the served file under kName.
    static void startDownload(const QString& file)
    {
        const QString url = QString::fromStdString(sim->httpsOrigin()) + "/" + cdnPath() + "/" + file;
        ZvFileDownloaderMgr* mgr = ZvLogicFW::instance()->getFileDownloaderMgr();
        ASSERT_EQ(mgr->startDownload(kName, url, getDownloadDir(), true, QString()), kDownloadStarted);
    }
    // exec() bounded: a dialog still open after the time-out is rejected.
    static int boundedExec(QDialog& d, int timeoutMs = 15000)
    {
        QTimer::singleShot(timeoutMs, &d, [&d] { d.done(-1); });
        return d.exec();
    }
};

TEST_F(LoadSliderTest, FollowsTheProgressAndAcceptsAtTheEnd)
{
    serve("component.bin", zavmo::test::FakeTools::program());
    sim->setMode("static_cdn", "throttle:2000000");
    zvLoadSliderWidget d(kName);
    auto* bar = child<QProgressBar>(&d, "progressBar");
    EXPECT_EQ(bar->value(), 0);
    EXPECT_EQ(child<QLabel>(&d, "label_loadcomponet")->text(), QStringLiteral("正在加载登录组件..."));
    QList<int> seen;
    QObject::connect(bar, &QProgressBar::valueChanged, [&seen](int v) { seen.append(v); });
    startDownload("component.bin");
    EXPECT_EQ(boundedExec(d), QDialog::Accepted);
    ASSERT_FALSE(seen.isEmpty());
    EXPECT_EQ(seen.last(), 100);
    EXPECT_TRUE(std::any_of(seen.begin(), seen.end(), [](int v) { return v > 0 && v < 100; }));
    EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
}

TEST_F(LoadSliderTest, RejectsWhenTheDownloadFails)
{
    zvLoadSliderWidget d(kName);
    startDownload("missing.bin");
    EXPECT_EQ(boundedExec(d), QDialog::Rejected);
}

TEST_F(LoadSliderTest, OtherDownloadsLeaveItAlone)
{
    zvLoadSliderWidget d(kName);
    d.show();
    d.setProgress(40);
    emit listener->sglUpdateDownloadProgress("other", 90);
    emit listener->sglDownloadFinished("other", "/tmp/other");
    emit listener->sglDownloadFailed("other");
    EXPECT_TRUE(d.isVisible());
    EXPECT_EQ(d.result(), 0);
    EXPECT_EQ(child<QProgressBar>(&d, "progressBar")->value(), 40);
    zavmo::test::saveScreenshot(d, "loading_component.png");
}

TEST_F(LoadSliderTest, ClosingLeavesTheDownloadRunning)
{
    serve("component.bin", zavmo::test::FakeTools::program());
    sim->setMode("static_cdn", "throttle:300000");
    zvLoadSliderWidget d(kName);
    startDownload("component.bin");
    QTimer::singleShot(200, &d, [&d] { child<QPushButton>(&d, "button_close")->click(); });
    EXPECT_EQ(boundedExec(d), QDialog::Rejected);
    ZvFileDownloaderMgr* mgr = ZvLogicFW::instance()->getFileDownloaderMgr();
    EXPECT_GE(mgr->getDownloadProgress(kName), 0);
    mgr->cancelDownload(kName);
}

} // namespace
