// The runtime repair dialog against the simulator's CDN and the fake runtime
// installers: both modes, success, a failing installer, a failing download,
// Ignore, skipped components, and what the screens look like.

#include "installtest.h"

#include "core/pathlayout.h"
#include "core/stringconstants.h"
#include "logic/zvfiledownloader.h"
#include "logic/zvlogicfw.h"
#include "ui/install/zvenvironmentalrepair.h"
#include "ui/mainwindow/widgets/mainwindowlink.h"

#include "platform/registry.h"

#include "faketools.h"
#include "modalresponder.h"
#include "screenshot.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>

#include <functional>

using logictest::settle;
using logictest::waitFor;
using platform::registry::Root;
using zavmo::test::FakeTools;

namespace {

// The tool box's list (a function: the name constants live in another unit).
QStringList allThree()
{
    return {kNetFrameworkName, kDirectXName, kVcRedistName};
}

class RepairDialogTest : public InstallDialogTest
{
protected:
    void SetUp() override
    {
        InstallDialogTest::SetUp();
        // A system folder without the DirectX libraries: DirectX needs repair.
        QDir().mkpath(dir / "windows/C/Windows/SysWOW64");
    }
    void TearDown() override
    {
        fake.killAll();
        InstallDialogTest::TearDown();
    }

    static void serveAll()
    {
        for (const char* file : {"NET_Framework4.exe", "DirectX.exe", "vcredist_x86.exe"})
            serve(file, FakeTools::program());
    }

    static QString text(QWidget* d, const char* label) { return child<QLabel>(d, label)->text(); }
    static void click(QWidget* d, const char* button) { child<QPushButton>(d, button)->click(); }
    static bool shown(QWidget* d, const char* name) { return !child<QWidget>(d, name)->isHidden(); }
    // Runs the event loop until the finish button of the variant shows.
    static bool waitForEnd(QWidget* d, const char* finish)
    {
        return waitFor([&] { return shown(d, finish); }, 20000);
    }

    std::vector<std::string> startedNames() const
    {
        std::vector<std::string> names;
        for (const auto& s : fake.starts())
            names.push_back(s.name);
        return names;
    }

    FakeTools fake;
};

TEST_F(RepairDialogTest, FirstPagesFollowTheListAndTheMode)
{
    {
        zvEnvironmentalRepair d({kDirectXName}, 0);
        EXPECT_TRUE(shown(&d, "page_singleInit"));
        EXPECT_FALSE(shown(&d, "page_multipleInit"));
        EXPECT_EQ(text(&d, "label_singleInit"), kEnvAbnormalOneText.arg(kDirectXName));
        EXPECT_TRUE(shown(&d, "button_single_Ignore"));
        EXPECT_EQ(d.size(), QSize(410, 312));
        EXPECT_EQ(d.property("TitleHeight").toInt(), 36);
        EXPECT_TRUE(d.property("CanMove").toBool());
        EXPECT_TRUE(d.windowFlags() & Qt::FramelessWindowHint);
    }
    {
        zvEnvironmentalRepair d({kNetFrameworkName, kVcRedistName}, 0);
        EXPECT_TRUE(shown(&d, "page_multipleInit"));
        EXPECT_FALSE(shown(&d, "page_singleInit"));
        EXPECT_EQ(text(&d, "label_mutipleInit"), kEnvAbnormalListText);
        EXPECT_TRUE(kEnvAbnormalListText.endsWith(' '));
        EXPECT_TRUE(shown(&d, "check_NetFrame") && child<QCheckBox>(&d, "check_NetFrame")->isChecked());
        EXPECT_FALSE(shown(&d, "check_DirectX"));
        EXPECT_FALSE(child<QCheckBox>(&d, "check_DirectX")->isChecked());
        EXPECT_TRUE(shown(&d, "check_vcredist_86") && child<QCheckBox>(&d, "check_vcredist_86")->isChecked());
        EXPECT_TRUE(shown(&d, "button_mutiple_Ignore"));
    }
    {
        zvEnvironmentalRepair d(allThree(), 1);
        EXPECT_EQ(text(&d, "label_mutipleInit"), kOneKeyRepairText);
        EXPECT_FALSE(shown(&d, "button_mutiple_Ignore"));
        EXPECT_FALSE(shown(&d, "button_single_Ignore"));
    }
}

TEST_F(RepairDialogTest, AutomaticCheckRepairsAllThreeInOrder)
{
    serveAll();
    zvEnvironmentalRepair d(allThree(), 0);
    d.show();
    click(&d, "button_mutiple_Reapair");
    EXPECT_TRUE(shown(&d, "page_multipleProgress"));
    EXPECT_FALSE(shown(&d, "page_multipleInit"));
    ASSERT_TRUE(waitForEnd(&d, "button_mutiple_RepairSuccessed"));

    EXPECT_EQ(text(&d, "label_Net_success"), kRepairSucceededText);
    EXPECT_EQ(text(&d, "label_Direct_success"), kRepairSucceededText);
    EXPECT_EQ(text(&d, "label_vcredit_success"), kRepairSucceededText);
    EXPECT_EQ(text(&d, "label_mutiple_Progress"), kRepairDoneText);
    EXPECT_FALSE(shown(&d, "label_mutiple_Num"));
    EXPECT_EQ(child<QProgressBar>(&d, "progressBar_mutiple")->value(), 100);
    // One after another: the DirectX tool started only after .NET 4 was in.
    EXPECT_EQ(startedNames(), (std::vector<std::string>{"NET_Framework4.exe", "DirectX.exe", "DirectX_Repair_win8.exe",
                                                        "vcredist_x86.exe"}));
    EXPECT_EQ(fake.starts().front().args, std::vector<std::string>{"/S"});
    for (const char* file : {"NET_Framework4.exe", "DirectX.exe", "vcredist_x86.exe"}) {
        EXPECT_EQ(downloadsOf(file), 1) << file;
        EXPECT_TRUE(QFile::exists(getRepairDir() + "/" + file)) << file;
    }
    zavmo::test::saveScreenshot(d, "repair_multiple_done.png");

    click(&d, "button_mutiple_RepairSuccessed");
    EXPECT_FALSE(d.isVisible());
    EXPECT_FALSE(config->getEnvironmentRepairIgnore());
}

TEST_F(RepairDialogTest, ManualRepairGoesOnPastAnInstallerThatRepairsNothing)
{
    serveAll();
    serve("vcredist_x86.exe", "/bin/true"); // ends at once, installs nothing
    zvEnvironmentalRepair d(allThree(), 1);
    d.show();
    zavmo::test::saveScreenshot(d, "repair_manual_init.png");
    click(&d, "button_mutiple_Reapair");
    ASSERT_TRUE(waitForEnd(&d, "button_mutiple_RepairSuccessed"));
    EXPECT_EQ(text(&d, "label_Net_success"), kRepairSucceededText);
    EXPECT_EQ(text(&d, "label_Direct_success"), kRepairSucceededText);
    EXPECT_EQ(text(&d, "label_vcredit_success"), kRepairFailedText);
    EXPECT_EQ(text(&d, "label_mutiple_Progress"), kRepairDoneText);
    zavmo::test::saveScreenshot(d, "repair_manual_one_failed.png");
}

TEST_F(RepairDialogTest, AFailedDownloadEndsOnlyItsComponent)
{
    serveAll();
    unserve("DirectX.exe");
    zvEnvironmentalRepair d(allThree(), 0);
    d.show();
    click(&d, "button_mutiple_Reapair");
    ASSERT_TRUE(waitForEnd(&d, "button_mutiple_RepairSuccessed"));
    EXPECT_EQ(text(&d, "label_Net_success"), kRepairSucceededText);
    EXPECT_EQ(text(&d, "label_Direct_success"), kDownloadFailedText);
    EXPECT_EQ(text(&d, "label_vcredit_success"), kRepairSucceededText);
    EXPECT_FALSE(QFile::exists(getRepairDir() + "/DirectX.exe"));
    EXPECT_TRUE(fake.waitForStarts("DirectX.exe", 0, 0).empty());
}

TEST_F(RepairDialogTest, SingleDownloadFailureSaysSoAtTheEnd)
{
    zvEnvironmentalRepair d({kVcRedistName}, 0);
    d.show();
    zavmo::test::saveScreenshot(d, "repair_single_init.png");
    click(&d, "button_single_Reapair");
    EXPECT_TRUE(shown(&d, "page_singleProgress"));
    EXPECT_FALSE(shown(&d, "button_single_RepairSuccessed"));
    ASSERT_TRUE(waitForEnd(&d, "button_single_RepairSuccessed"));
    EXPECT_EQ(text(&d, "label_singleProgress"), kDownloadFailedText);
    EXPECT_EQ(text(&d, "label_single_num"), "100%");
    EXPECT_EQ(child<QProgressBar>(&d, "progressBar_single")->value(), 100);
    EXPECT_EQ(downloadsOf("vcredist_x86.exe"), 1);
    zavmo::test::saveScreenshot(d, "repair_single_download_failed.png");
}

TEST_F(RepairDialogTest, SingleRepairSucceeds)
{
    serve("vcredist_x86.exe", FakeTools::program());
    zvEnvironmentalRepair d({kVcRedistName}, 0);
    d.show();
    click(&d, "button_single_Reapair");
    ASSERT_TRUE(waitForEnd(&d, "button_single_RepairSuccessed"));
    EXPECT_EQ(text(&d, "label_singleProgress"), kRepairSucceededText);
    EXPECT_EQ(startedNames(), std::vector<std::string>{"vcredist_x86.exe"});
    zavmo::test::saveScreenshot(d, "repair_single_done.png");
    click(&d, "button_single_RepairSuccessed");
    EXPECT_FALSE(d.isVisible());
}

TEST_F(RepairDialogTest, NetCountsAsFailedWithOnlyVersionTwoAfterwards)
{
    platform::registry::createKey(Root::LocalMachine, "SOFTWARE\\Microsoft\\.NETFramework\\v2.0.50727");
    serve("NET_Framework4.exe", "/bin/true");
    zvEnvironmentalRepair d({kNetFrameworkName}, 0);
    d.show();
    click(&d, "button_single_Reapair");
    ASSERT_TRUE(waitForEnd(&d, "button_single_RepairSuccessed"));
    EXPECT_EQ(text(&d, "label_singleProgress"), kRepairFailedText);
}

TEST_F(RepairDialogTest, APackageAlreadyThereIsNotDownloadedAgain)
{
    FakeTools::place(getRepairDir().toStdString(), "vcredist_x86.exe");
    zvEnvironmentalRepair d({kVcRedistName}, 1);
    d.show();
    EXPECT_FALSE(shown(&d, "button_single_Ignore"));
    click(&d, "button_single_Reapair");
    ASSERT_TRUE(waitForEnd(&d, "button_single_RepairSuccessed"));
    EXPECT_EQ(text(&d, "label_singleProgress"), kRepairSucceededText);
    EXPECT_EQ(downloadsOf("vcredist_x86.exe"), 0);
}

TEST_F(RepairDialogTest, IgnoreSetsTheFlagAndRepairsNothing)
{
    for (const QStringList& names : {QStringList{kDirectXName}, allThree()}) {
        config->setEnvironmentRepairIgnore(false);
        ASSERT_TRUE(config->saveConfig());
        zvEnvironmentalRepair d(names, 0);
        d.show();
        click(&d, names.size() == 1 ? "button_single_Ignore" : "button_mutiple_Ignore");
        EXPECT_FALSE(d.isVisible());
        EXPECT_TRUE(config->getEnvironmentRepairIgnore());
        EXPECT_TRUE(logictest::storedSetting("EnvironmentRepair/ignore").toBool());
    }
    settle(200);
    EXPECT_TRUE(sim->requests("static_cdn").empty());
    EXPECT_TRUE(fake.starts().empty());
}

TEST_F(RepairDialogTest, BeforeTheMainWindowRegistersIgnoreKeepsNothing)
{
    {
        ScopedMainWindowLink unlinked;
        zvEnvironmentalRepair d({kDirectXName}, 0);
        d.show();
        click(&d, "button_single_Ignore");
        EXPECT_FALSE(d.isVisible());
    }
    EXPECT_FALSE(config->getEnvironmentRepairIgnore());
}

TEST_F(RepairDialogTest, AnUntickedComponentKeepsItsRowAndIsSkipped)
{
    serveAll();
    zvEnvironmentalRepair d(allThree(), 0);
    d.show();
    child<QCheckBox>(&d, "check_DirectX")->setChecked(false);
    click(&d, "button_mutiple_Reapair");
    EXPECT_TRUE(shown(&d, "widget__progress_directx"));
    EXPECT_FALSE(child<QCheckBox>(&d, "check_DirectX_2")->isChecked());
    EXPECT_FALSE(child<QCheckBox>(&d, "check_DirectX_2")->isEnabled());
    EXPECT_FALSE(child<QCheckBox>(&d, "check_NetFrame_2")->isEnabled());
    zavmo::test::saveScreenshot(d, "repair_multiple_running.png");
    ASSERT_TRUE(waitForEnd(&d, "button_mutiple_RepairSuccessed"));
    EXPECT_FALSE(shown(&d, "label_Direct_success"));
    EXPECT_EQ(text(&d, "label_vcredit_success"), kRepairSucceededText);
    EXPECT_EQ(downloadsOf("DirectX.exe"), 0);
    EXPECT_EQ(startedNames(), (std::vector<std::string>{"NET_Framework4.exe", "vcredist_x86.exe"}));
}

TEST_F(RepairDialogTest, OnlyListedRowsShowOnTheProgressPage)
{
    serveAll();
    zvEnvironmentalRepair d({kDirectXName, kVcRedistName}, 0);
    d.show();
    click(&d, "button_mutiple_Reapair");
    EXPECT_FALSE(shown(&d, "widget_progress_net"));
    EXPECT_TRUE(shown(&d, "widget__progress_directx"));
    EXPECT_TRUE(shown(&d, "widget__progress_vc"));
    ASSERT_TRUE(waitForEnd(&d, "button_mutiple_RepairSuccessed"));
    EXPECT_FALSE(shown(&d, "label_Net_success"));
}

TEST_F(RepairDialogTest, NothingTickedAsksForAChoice)
{
    zvEnvironmentalRepair d({kDirectXName, kVcRedistName}, 0);
    d.show();
    child<QCheckBox>(&d, "check_DirectX")->setChecked(false);
    child<QCheckBox>(&d, "check_vcredist_86")->setChecked(false);
    zavmo::test::ModalResponder responder;
    responder.clickButton("button_confirm");
    click(&d, "button_mutiple_Reapair");
    ASSERT_EQ(responder.records().size(), 1);
    EXPECT_EQ(responder.records()[0].className, "zvMsgTipWidget");
    EXPECT_TRUE(responder.records()[0].texts.contains(kSelectRepairItemText));
    EXPECT_TRUE(shown(&d, "page_multipleInit"));
    EXPECT_FALSE(shown(&d, "page_multipleProgress"));
}

TEST_F(RepairDialogTest, FollowsOnlyItsOwnDownloadAndClosingCancelsIt)
{
    serve("DirectX.exe", FakeTools::program());
    sim->setMode("static_cdn", "throttle:300000");
    zvEnvironmentalRepair d({kDirectXName}, 0);
    d.show();
    click(&d, "button_single_Reapair");
    auto* label = child<QLabel>(&d, "label_single_num");
    ASSERT_TRUE(waitFor([&] { return label->text() != "0%"; }, 5000));
    EXPECT_EQ(text(&d, "label_singleProgress"), kDownloadingEnvText.arg(kDirectXName));
    emit listener->sglUpdateDownloadProgress("other", 99);
    emit listener->sglDownloadFinished("other", "/tmp/other");
    emit listener->sglRepairFinished(kDirectXName); // not repairing yet
    settle(50);
    EXPECT_NE(label->text(), "99%"); // the real download is far from it
    EXPECT_FALSE(shown(&d, "button_single_RepairSuccessed"));

    ZvFileDownloaderMgr* mgr = ZvLogicFW::instance()->getFileDownloaderMgr();
    ASSERT_GE(mgr->getDownloadProgress(kDirectXName), 0);
    zavmo::test::saveScreenshot(d, "repair_single_downloading.png");
    click(&d, "button_close");
    EXPECT_FALSE(d.isVisible());
    EXPECT_EQ(mgr->getDownloadProgress(kDirectXName), -1);
    settle(300);
    EXPECT_FALSE(QFile::exists(getRepairDir() + "/DirectX.exe.download"));
    EXPECT_FALSE(QFile::exists(getRepairDir() + "/DirectX.exe"));
    EXPECT_TRUE(fake.starts().empty());
}

// Escape and the window manager's close cancel the download as the close
// button does: a later run would find it still arriving.
TEST_F(RepairDialogTest, EscapeAndTheWindowManagersCloseCancelTheDownload)
{
    serve("DirectX.exe", FakeTools::program());
    sim->setMode("static_cdn", "throttle:300000");
    ZvFileDownloaderMgr* mgr = ZvLogicFW::instance()->getFileDownloaderMgr();
    const std::function<void(zvEnvironmentalRepair&)> ways[] = {
        [](zvEnvironmentalRepair& d) { QTest::keyClick(&d, Qt::Key_Escape); },
        [](zvEnvironmentalRepair& d) { d.close(); }};
    for (const auto& leave : ways) {
        zvEnvironmentalRepair d({kDirectXName}, 0);
        d.show();
        click(&d, "button_single_Reapair");
        ASSERT_TRUE(waitFor([&] { return mgr->getDownloadProgress(kDirectXName) >= 0; }, 5000));
        leave(d);
        EXPECT_FALSE(d.isVisible());
        EXPECT_EQ(mgr->getDownloadProgress(kDirectXName), -1);
    }
}

} // namespace
