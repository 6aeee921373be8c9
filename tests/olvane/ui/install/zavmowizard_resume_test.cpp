// The platform tools' install wizard and the tasks that outlive it: a
// download or install resumed by a wizard opened again, the show edition's
// install resumed, the wizard closed while a reinstall uninstalls, and the
// reinstall running the installer that was downloaded.

#include "wizardtest.h"

#include "core/pathlayout.h"
#include "core/stringconstants.h"
#include "logic/zvfiledownloader.h"
#include "logic/zvlivetoolsmanager.h"
#include "logic/zvlogicfw.h"
#include "ui/install/zvzavmoinstallwidget.h"

#include <QFile>

using logictest::settle;
using logictest::waitFor;
using zavmo::test::FakeTools;

namespace {

class ZavmoWizardTest : public WizardTest
{
protected:
    QString folder() const { return config->getZvToolInstallPath(); }
};

TEST_F(ZavmoWizardTest, OpenedAgainItResumesTheDownloadOrTheInstall)
{
    serveInstaller(kZvToolName);
    setInstallerMode("throttle:1500000");
    ZvFileDownloaderMgr* downloads = ZvLogicFW::instance()->getFileDownloaderMgr();
    {
        zvZavmoInstallWidget d;
        d.show();
        click(&d, "button_confirmInstall");
        click(&d, "button_nextStep");
        ASSERT_TRUE(waitFor([&] { return bar(&d, "progressBar_download") > 0; }, 5000));
        d.reject(); // Escape: the download goes on
    }
    const int progress = downloads->getDownloadProgress(kZvToolName);
    ASSERT_GT(progress, 0);
    {
        zvZavmoInstallWidget d;
        d.show();
        EXPECT_EQ(page(&d), 2);
        EXPECT_EQ(bar(&d, "progressBar_download"), progress);
        EXPECT_EQ(d.currentTool(), kZvToolName);
        // Events of other names move nothing: no install, no prompt.
        emit listener->sglUpdateDownloadProgress(kZvShowToolName, 99);
        emit listener->sglLiveToolInstallFinished(kObsStudioToolName);
        emit listener->sglDownloadFinished(kObsStudioToolName, dir / "other/OBS_Studio_installer.exe");
        emit listener->sglDownloadFailed(kZvShowToolName);
        settle(50);
        EXPECT_EQ(bar(&d, "progressBar_download"), progress);
        EXPECT_EQ(page(&d), 2);
        EXPECT_TRUE(responder.records().isEmpty());
        // Closing the download page cancels the download.
        click(&d, "button_close_3");
        EXPECT_EQ(downloads->getDownloadProgress(kZvToolName), -1);
    }

    setInstallerMode("success");
    fake.hold();
    {
        zvZavmoInstallWidget d;
        d.show();
        EXPECT_EQ(page(&d), 0);
        click(&d, "button_confirmInstall");
        click(&d, "button_nextStep");
        ASSERT_TRUE(waitForPage(&d, 3));
        click(&d, "button_close_4"); // the installer goes on
    }
    ASSERT_GE(manager()->getInstallProgress(kZvToolName), 0);
    zvZavmoInstallWidget d;
    d.show();
    EXPECT_EQ(page(&d), 3);
    fake.release();
    ASSERT_TRUE(waitForPage(&d, 4));
    EXPECT_EQ(manager()->getAppInstallStatus(kZvToolName), 1);
}

TEST_F(ZavmoWizardTest, AShowEditionInstallIsResumedAndTrustedToHaveWorked)
{
    // The monitor does not watch the show edition: its install cannot be judged.
    fake.hold();
    const QString installer =
        QString::fromStdString(FakeTools::place((dir / "dl").toStdString(), "ZVShow-installer.exe"));
    ASSERT_TRUE(manager()->installLiveTool(kZvShowToolName, installer, dir / "tools/ZVShowTool", 15000));
    zvZavmoInstallWidget d;
    d.show();
    EXPECT_EQ(page(&d), 3);
    EXPECT_EQ(d.currentTool(), kZvShowToolName);
    EXPECT_FALSE(shown(&d, "label_zvshow"));
    fake.release();
    ASSERT_TRUE(waitForPage(&d, 4));
    click(&d, "button_confirm");
    ASSERT_TRUE(waitFor([] { return eventTypes("click_install_succ") == QList<int>{2}; }, 5000));
}

TEST_F(ZavmoWizardTest, ClosedWhileAReinstallUninstallsTheInstallStillFollows)
{
    preinstall(kZvToolName, folder());
    serveInstaller(kZvToolName);
    // The uninstaller runs until the wizard has been closed and opened again.
    fake.hold();
    {
        zvZavmoInstallWidget d;
        d.show();
        press(&d, "label_clickReload");
        click(&d, "button_nextStep");
        ASSERT_TRUE(waitFor([] { return manager()->isUnInstalling(kZvToolName); }, 5000));
        EXPECT_EQ(page(&d), 3);
        EXPECT_EQ(record->waitingInstaller(kZvToolName), getDownloadDir() + "/ZVTool_installer.exe");
        click(&d, "button_close_4");
    }
    // A wizard opened meanwhile shows the uninstall as the install page.
    {
        zvZavmoInstallWidget d;
        EXPECT_EQ(page(&d), 3);
        EXPECT_EQ(bar(&d, "progressBar_installing"), 0);
    }
    fake.release();
    ASSERT_TRUE(waitForStarts("ZVTool_installer.exe", 2));
    ASSERT_TRUE(waitFor([] { return manager()->getInstallProgress(kZvToolName) < 0; }, 5000));
    EXPECT_EQ(manager()->getAppInstallStatus(kZvToolName), 1);
    EXPECT_TRUE(QFile::exists(folder() + "/Tresk.exe"));
    EXPECT_TRUE(record->waitingInstaller(kZvToolName).isEmpty());
}

TEST_F(ZavmoWizardTest, AReinstallRunsTheInstallerThatWasDownloaded)
{
    preinstall(kZvToolName, folder());
    // Not where a file name from the download address would point.
    const QString downloaded =
        QString::fromStdString(FakeTools::place((dir / "elsewhere").toStdString(), "ZVTool_installer.exe"));
    zvZavmoInstallWidget d;
    d.show();
    emit listener->sglDownloadFinished(kZvToolName, downloaded);
    ASSERT_TRUE(waitFor([] { return manager()->isUnInstalling(kZvToolName); }, 5000));
    // The end of another tool's uninstall starts nothing.
    emit listener->sglLiveToolUnInstallFinished(kObsStudioToolName);
    ASSERT_TRUE(waitForPage(&d, 4));
    EXPECT_TRUE(responder.records().isEmpty());
    EXPECT_EQ(startedNames(), (std::vector<std::string>{"ZVTool_installer.exe", "Au_.exe", "ZVTool_installer.exe"}));
    EXPECT_FALSE(QFile::exists(getDownloadDir() + "/ZVTool_installer.exe"));
    EXPECT_EQ(manager()->getAppInstallStatus(kZvToolName), 1);
}

} // namespace
