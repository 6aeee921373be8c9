// The OBS install wizard against the simulator and the fake installers: OBS
// classic straight into its configured folder, an OBS Studio reinstall
// through the folder page, a failing installer, a running edition, a
// resumed download, the wizard closed while a reinstall uninstalls, and what
// the pages look like.

#include "wizardtest.h"

#include "core/pathlayout.h"
#include "core/serverurltable.h"
#include "core/stringconstants.h"
#include "core/systemutils.h"
#include "logic/zvfiledownloader.h"
#include "logic/zvlivetoolsmanager.h"
#include "logic/zvlogicfw.h"
#include "ui/install/zvobsinstallwidget.h"

#include "platform/runtime.h"

#include "screenshot.h"

#include <QFile>
#include <QImage>
#include <QLabel>
#include <QLineEdit>

using logictest::settle;
using logictest::waitFor;

namespace {

// Where the fake installers put OBS classic: its configured drive path.
const char* const kClassicFolder = "C:/Program Files(x86)/OBS";

class ObsWizardTest : public WizardTest
{
protected:
    static QString local(const QString& path)
    {
        return QString::fromStdString(platform::runtime::toLocalPath(path.toStdString()));
    }
    QString studioFolder() const { return config->getObsStudioInstallPath(); }
};

TEST_F(ObsWizardTest, TheEditionPageAndTheWebLink)
{
    preinstall(kObsStudioToolName, studioFolder());
    zvOBSInstallWidget d;
    d.show();
    EXPECT_EQ(page(&d), 0);
    EXPECT_EQ(d.size(), QSize(410, 270));
    EXPECT_EQ(d.property("TitleHeight").toInt(), 142);
    EXPECT_EQ(d.currentTool(), kObsClassicToolName);
    EXPECT_TRUE(shown(&d, "button_confirmInstall"));
    EXPECT_FALSE(shown(&d, "label_testInstalled"));
    EXPECT_FALSE(shown(&d, "button_confirmInstall_2"));
    EXPECT_TRUE(shown(&d, "label_testInstalled_2"));
    EXPECT_TRUE(shown(&d, "label_clickReload_2"));
    EXPECT_FALSE(shown(&d, "label_uninstalling"));
    EXPECT_EQ(child<QLabel>(&d, "label_OBSurl")->text(), kVisitObsSiteText);
    zavmo::test::saveScreenshot(d, "install_obs_edition.png");

    press(&d, "label_OBSurl");
    QFile record(qEnvironmentVariable("ZAVMO_SHELL_RECORD"));
    ASSERT_TRUE(record.open(QIODevice::ReadOnly));
    EXPECT_TRUE(record.readAll().contains(QByteArray("open ") + obsWebsiteUrl()));
    EXPECT_EQ(page(&d), 0);
}

// Opened from the toolbox the wizard is a child of the main window, whose own
// style sheet must not take the wizard's place: the confirm button stays
// orange.
TEST_F(ObsWizardTest, KeepsItsOwnStyleUnderAStyledParent)
{
    QWidget parent;
    parent.setStyleSheet(readFileText(QStringLiteral(":/Qss/MainWidgetQss.qss")));
    parent.show();
    zvOBSInstallWidget d(&parent);
    d.show();
    QWidget* confirm = child<QWidget>(&d, "button_confirmInstall");
    ASSERT_TRUE(confirm->isVisible());
    const QImage button = confirm->grab().toImage();
    EXPECT_EQ(button.pixelColor(button.width() / 2, 3), QColor("#ff6f2c"));
    zavmo::test::saveScreenshot(d, "install_obs_edition_in_window.png");
}

TEST_F(ObsWizardTest, ClassicGoesStraightIntoItsConfiguredFolder)
{
    serveInstaller(kObsClassicToolName);
    setInstallerMode("throttle:8000000");
    zvOBSInstallWidget d;
    d.show();
    click(&d, "button_confirmInstall");
    EXPECT_EQ(page(&d), 2);
    ASSERT_TRUE(waitFor([&] { return bar(&d, "progressBar_download") > 0; }, 5000));
    zavmo::test::saveScreenshot(d, "install_obs_downloading.png");
    ASSERT_TRUE(waitForPage(&d, 4));
    zavmo::test::saveScreenshot(d, "install_obs_done.png");
    const auto starts = fake.starts();
    ASSERT_EQ(starts.size(), 1u);
    EXPECT_EQ(starts[0].name, "OBS_installer.exe");
    EXPECT_EQ(starts[0].args, (std::vector<std::string>{"/S", "/D=C:\\Program", "Files(x86)\\OBS"}));
    EXPECT_TRUE(QFile::exists(local(kClassicFolder) + "/OBS.exe"));
    click(&d, "button_confirm");
    ASSERT_TRUE(waitFor([] { return eventTypes("click_install_succ") == QList<int>{3}; }, 5000));
    EXPECT_EQ(eventTypes("click_install"), QList<int>{3});
}

TEST_F(ObsWizardTest, AStudioReinstallGoesThroughTheFolderPage)
{
    preinstall(kObsStudioToolName, studioFolder());
    serveInstaller(kObsStudioToolName);
    zvOBSInstallWidget d;
    d.show();
    press(&d, "label_clickReload_2");
    ASSERT_EQ(page(&d), 1);
    EXPECT_EQ(d.currentTool(), kObsStudioToolName);
    EXPECT_EQ(child<QLineEdit>(&d, "ledit_installPath")->text(), studioFolder());
    zavmo::test::saveScreenshot(d, "install_obs_folder.png");
    // The configured folder typed with a trailing slash is kept as it is.
    child<QLineEdit>(&d, "ledit_installPath")->setText(studioFolder() + "//");
    const QString before = studioFolder();
    click(&d, "button_nextStep");
    EXPECT_EQ(studioFolder(), before);
    ASSERT_TRUE(waitForPage(&d, 3));
    zavmo::test::saveScreenshot(d, "install_obs_installing.png");
    ASSERT_TRUE(waitForPage(&d, 4));
    EXPECT_EQ(startedNames(),
              (std::vector<std::string>{"OBS_Studio_installer.exe", "Un_A.exe", "OBS_Studio_installer.exe"}));
    EXPECT_TRUE(QFile::exists(studioFolder() + "/bin/32bit/obs32.exe"));
    click(&d, "button_confirm");
    ASSERT_TRUE(waitFor([] { return eventTypes("click_install_succ") == QList<int>{4}; }, 5000));
    EXPECT_TRUE(eventTypes("click_install").isEmpty());
}

TEST_F(ObsWizardTest, AFailingInstallerClosesWithTheFailure)
{
    serveAt(installerUrl(kObsStudioToolName), "/bin/false");
    responder.clickButton("button_cancel");
    zvOBSInstallWidget d;
    d.show();
    click(&d, "button_confirmInstall_2");
    click(&d, "button_nextStep");
    expectClosedAfterFailure(&d, kInstallFailedText, 1);
    EXPECT_EQ(manager()->getAppInstallStatus(kObsStudioToolName), 0);
    settle(200);
    EXPECT_TRUE(eventTypes("click_install_succ").isEmpty());
}

TEST_F(ObsWizardTest, ARunningEditionIsRefused)
{
    preinstall(kObsStudioToolName, studioFolder());
    startTool("obs32.exe", studioFolder() + "/bin/32bit");
    ASSERT_TRUE(waitFor([] { return manager()->getAppStatus(kObsStudioToolName) == 2; }, 5000));
    responder.clickButton("button_confirm");
    zvOBSInstallWidget d;
    d.show();
    click(&d, "button_confirmInstall_2");
    EXPECT_EQ(page(&d), 0);
    ASSERT_EQ(responder.records().size(), 1);
    EXPECT_TRUE(responder.records()[0].texts.contains(kToolRunningText.arg(kObsStudioToolName)));
    ASSERT_TRUE(waitFor([] { return eventTypes("click_install") == QList<int>{4}; }, 5000));
}

TEST_F(ObsWizardTest, OpenedAgainItResumesTheStudioDownload)
{
    serveInstaller(kObsStudioToolName);
    setInstallerMode("throttle:1500000");
    {
        zvOBSInstallWidget d;
        d.show();
        click(&d, "button_confirmInstall_2");
        click(&d, "button_nextStep");
        ASSERT_TRUE(waitFor([&] { return bar(&d, "progressBar_download") > 0; }, 5000));
        d.reject();
    }
    ZvFileDownloaderMgr* downloads = ZvLogicFW::instance()->getFileDownloaderMgr();
    zvOBSInstallWidget d;
    d.show();
    EXPECT_EQ(page(&d), 2);
    EXPECT_EQ(d.currentTool(), kObsStudioToolName);
    EXPECT_EQ(bar(&d, "progressBar_download"), downloads->getDownloadProgress(kObsStudioToolName));
    click(&d, "button_close_3");
    EXPECT_EQ(downloads->getDownloadProgress(kObsStudioToolName), -1);
}

TEST_F(ObsWizardTest, ClosedWhileAClassicReinstallUninstallsTheInstallStillFollows)
{
    preinstall(kObsClassicToolName, kClassicFolder);
    serveInstaller(kObsClassicToolName);
    fake.hold();
    {
        zvOBSInstallWidget d;
        d.show();
        press(&d, "label_clickReload");
        ASSERT_TRUE(waitFor([] { return manager()->isUnInstalling(kObsClassicToolName); }, 5000));
        EXPECT_EQ(page(&d), 3);
        click(&d, "button_close_4");
    }
    fake.release();
    ASSERT_TRUE(waitForStarts("OBS_installer.exe", 2));
    ASSERT_TRUE(waitFor([] { return manager()->getInstallProgress(kObsClassicToolName) < 0; }, 5000));
    EXPECT_EQ(manager()->getAppInstallStatus(kObsClassicToolName), 1);
    EXPECT_TRUE(QFile::exists(local(kClassicFolder) + "/OBS.exe"));
}

} // namespace
