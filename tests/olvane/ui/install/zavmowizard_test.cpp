// The platform tools' install wizard against the simulator and the fake
// installers: a fresh install with progress, a reinstall, an installer that
// installs nothing, a running tool, an installer already downloaded, the
// folder rule, a failed download, and what the pages look like.

#include "wizardtest.h"

#include "core/pathlayout.h"
#include "core/stringconstants.h"
#include "logic/zvfiledownloader.h"
#include "logic/zvlivetoolsmanager.h"
#include "logic/zvlogicfw.h"
#include "ui/install/zvzavmoinstallwidget.h"

#include "screenshot.h"

#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QProgressBar>

using logictest::settle;
using logictest::waitFor;
using zavmo::test::FakeTools;

namespace {

class ZavmoWizardTest : public WizardTest
{
protected:
    QString folder() const { return config->getZvToolInstallPath(); }
    // Every value a bar takes from now on.
    static QList<int>* watch(QWidget* d, const char* bar)
    {
        auto* values = new QList<int>;
        QObject::connect(child<QProgressBar>(d, bar), &QProgressBar::valueChanged, d,
                         [values](int v) { values->append(v); });
        QObject::connect(d, &QObject::destroyed, [values] { delete values; });
        return values;
    }
    static bool between(const QList<int>& values)
    {
        for (int v : values)
            if (v > 0 && v < 100)
                return true;
        return false;
    }
};

TEST_F(ZavmoWizardTest, TheEditionPageShowsTheClassicEditionAsInstalledOrNot)
{
    {
        zvZavmoInstallWidget d;
        d.show();
        EXPECT_EQ(page(&d), 0);
        EXPECT_EQ(d.size(), QSize(410, 251));
        EXPECT_TRUE(d.property("CanMove").toBool());
        EXPECT_EQ(d.property("TitleHeight").toInt(), 142);
        EXPECT_TRUE(d.windowFlags() & Qt::FramelessWindowHint);
        EXPECT_EQ(d.currentTool(), kZvToolName);
        EXPECT_TRUE(shown(&d, "button_confirmInstall"));
        EXPECT_FALSE(shown(&d, "label_testInstalled"));
        EXPECT_FALSE(shown(&d, "label_uninstalling"));
        for (const char* hidden : {"label_zvshow", "button_confirmInstall_2", "label_clickReload_2",
                                   "label_testInstalled_2", "label_uninstalling_2"})
            EXPECT_FALSE(shown(&d, hidden)) << hidden;
        zavmo::test::saveScreenshot(d, "install_zavmo_edition.png");
    }
    preinstall(kZvToolName, folder());
    zvZavmoInstallWidget d;
    d.show();
    EXPECT_FALSE(shown(&d, "button_confirmInstall"));
    EXPECT_TRUE(shown(&d, "label_testInstalled"));
    EXPECT_TRUE(shown(&d, "label_clickReload"));
    zavmo::test::saveScreenshot(d, "install_zavmo_edition_installed.png");

    // Back from the folder page, the show edition's row stays hidden.
    press(&d, "label_clickReload");
    ASSERT_EQ(page(&d), 1);
    EXPECT_EQ(child<QLineEdit>(&d, "ledit_installPath")->text(), folder());
    zavmo::test::saveScreenshot(d, "install_zavmo_folder.png");
    click(&d, "button_return");
    EXPECT_EQ(page(&d), 0);
    EXPECT_FALSE(shown(&d, "button_confirmInstall_2"));
    EXPECT_FALSE(shown(&d, "label_clickReload_2"));
    EXPECT_TRUE(shown(&d, "label_testInstalled"));
    settle(100);
    EXPECT_TRUE(eventTypes("click_install").isEmpty()); // the reinstall label sends none
}

TEST_F(ZavmoWizardTest, AFreshInstallShowsDownloadAndInstallProgress)
{
    serveInstaller(kZvToolName);
    setInstallerMode("throttle:6000000");
    fake.hold();
    zvZavmoInstallWidget d;
    d.show();
    QList<int>* downloaded = watch(&d, "progressBar_download");
    QList<int>* installed = watch(&d, "progressBar_installing");

    click(&d, "button_confirmInstall");
    ASSERT_EQ(page(&d), 1);
    click(&d, "button_nextStep");
    EXPECT_EQ(page(&d), 2);
    ASSERT_TRUE(waitFor([&] { return between(*downloaded); }, 5000));
    zavmo::test::saveScreenshot(d, "install_zavmo_downloading.png");
    ASSERT_TRUE(waitForPage(&d, 3));
    ASSERT_TRUE(waitFor([&] { return between(*installed); }, 5000));
    zavmo::test::saveScreenshot(d, "install_zavmo_installing.png");
    fake.release();
    ASSERT_TRUE(waitForPage(&d, 4));
    zavmo::test::saveScreenshot(d, "install_zavmo_done.png");

    // The installer ran silently into the configured folder, and stays there.
    const auto starts = fake.starts();
    ASSERT_EQ(starts.size(), 1u);
    EXPECT_EQ(starts[0].name, "ZVTool_installer.exe");
    EXPECT_EQ(starts[0].args,
              (std::vector<std::string>{"/S", "/D=" + QString(folder()).replace('/', '\\').toStdString()}));
    EXPECT_TRUE(QFile::exists(folder() + "/Tresk.exe"));
    EXPECT_TRUE(QFile::exists(getDownloadDir() + "/ZVTool_installer.exe"));
    EXPECT_EQ(requestsOf(installerUrl(kZvToolName)), 1);

    click(&d, "button_confirm");
    EXPECT_FALSE(d.isVisible());
    ASSERT_TRUE(waitFor([] { return eventTypes("click_install_succ").size() == 1; }, 5000));
    EXPECT_EQ(eventTypes("click_install"), QList<int>{1});
    EXPECT_EQ(eventTypes("click_install_succ"), QList<int>{1});
}

TEST_F(ZavmoWizardTest, AReinstallUninstallsTheOldCopyFirst)
{
    preinstall(kZvToolName, folder());
    serveInstaller(kZvToolName);
    zvZavmoInstallWidget d;
    d.show();
    press(&d, "label_clickReload");
    click(&d, "button_nextStep");
    ASSERT_TRUE(waitForPage(&d, 4));
    EXPECT_EQ(startedNames(), (std::vector<std::string>{"ZVTool_installer.exe", "Au_.exe", "ZVTool_installer.exe"}));
    EXPECT_EQ(manager()->getAppInstallStatus(kZvToolName), 1);
    EXPECT_TRUE(record->waitingInstaller(kZvToolName).isEmpty());
    click(&d, "button_confirm");
    ASSERT_TRUE(waitFor([] { return !eventTypes("click_install_succ").isEmpty(); }, 5000));
    EXPECT_TRUE(eventTypes("click_install").isEmpty());
}

TEST_F(ZavmoWizardTest, AnInstallerThatInstallsNothingIsReportedAsAFailure)
{
    serveAt(installerUrl(kZvToolName), "/bin/false");
    responder.clickButton("button_confirm");
    zvZavmoInstallWidget d;
    d.show();
    click(&d, "button_confirmInstall");
    click(&d, "button_nextStep");
    expectClosedAfterFailure(&d, kInstallFailedText, 1);
    EXPECT_NE(page(&d), 4);
    EXPECT_EQ(manager()->getAppInstallStatus(kZvToolName), 0);
    // Gone, so that a retry downloads it anew.
    EXPECT_FALSE(QFile::exists(getDownloadDir() + "/ZVTool_installer.exe"));
    settle(200);
    EXPECT_TRUE(eventTypes("click_install_succ").isEmpty());
}

TEST_F(ZavmoWizardTest, ARunningToolIsRefusedOnEitherPage)
{
    preinstall(kZvToolName, folder());
    responder.clickButton("button_confirm");
    responder.clickButton("button_confirm");
    responder.clickButton("button_confirm");
    zvZavmoInstallWidget d;
    d.show();
    press(&d, "label_clickReload");
    ASSERT_EQ(page(&d), 1);
    startTool("ZVTool.exe", folder());
    ASSERT_TRUE(waitFor([] { return manager()->getAppStatus(kZvToolName) == 2; }, 5000));

    click(&d, "button_nextStep");
    EXPECT_EQ(page(&d), 1);
    click(&d, "button_return");
    press(&d, "label_clickReload");
    EXPECT_EQ(page(&d), 0);
    click(&d, "button_confirmInstall");
    EXPECT_EQ(page(&d), 0);

    ASSERT_EQ(responder.records().size(), 3);
    for (const auto& r : responder.records()) {
        EXPECT_TRUE(r.texts.contains(kToolRunningText.arg(kZvToolName)));
        EXPECT_FALSE(r.texts.contains(QStringLiteral("取消")));
    }
    // The confirm button counts the click before it looks.
    ASSERT_TRUE(waitFor([] { return eventTypes("click_install") == QList<int>{1}; }, 5000));
    EXPECT_EQ(startedNames(), (std::vector<std::string>{"ZVTool_installer.exe", "ZVTool.exe"}));
}

TEST_F(ZavmoWizardTest, AnInstallerAlreadyDownloadedIsInstalledWithoutADownload)
{
    FakeTools::place(getDownloadDir().toStdString(), "ZVTool_installer.exe");
    zvZavmoInstallWidget d;
    d.show();
    click(&d, "button_confirmInstall");
    click(&d, "button_nextStep");
    EXPECT_EQ(page(&d), 3);
    ASSERT_TRUE(waitForPage(&d, 4));
    EXPECT_EQ(requestsOf(installerUrl(kZvToolName)), 0);
}

TEST_F(ZavmoWizardTest, TheFolderRuleAndAFailedDownload)
{
    zvZavmoInstallWidget d;
    d.show();
    click(&d, "button_confirmInstall");
    auto* field = child<QLineEdit>(&d, "ledit_installPath");
    EXPECT_EQ(field->cursorPosition(), 0);
    const QString configured = folder();
    for (const QString& typed : {QString(), QStringLiteral("/"), QStringLiteral("relative/tools")}) {
        responder.clickButton("button_confirm");
        field->setText(typed);
        click(&d, "button_nextStep");
        EXPECT_EQ(page(&d), 1);
        ASSERT_FALSE(responder.records().isEmpty());
        EXPECT_TRUE(responder.records().last().texts.contains(kInstallDirMissingText.arg(typed)));
        EXPECT_EQ(folder(), configured);
    }
    // Another folder gets the tool's sub-folder; the installer is not served.
    responder.clickButton("button_confirm");
    field->setText(QString(dir / "custom").replace('/', '\\') + "\\");
    click(&d, "button_nextStep");
    EXPECT_EQ(folder(), dir / "custom/ZVTool");
    EXPECT_EQ(logictest::storedSetting("ZVTool/installPath").toString(), dir / "custom/ZVTool");
    EXPECT_TRUE(QDir(dir / "custom/ZVTool").exists());
    expectClosedAfterFailure(&d, kPackageDownloadFailedText, 4);
    EXPECT_TRUE(fake.starts().empty());
}

TEST_F(ZavmoWizardTest, AnInstallAfterUninstallThatCannotStartIsToldWithoutAWizard)
{
    // Nothing installed: nothing to wait for, nothing recorded.
    EXPECT_FALSE(record->uninstallThenInstall(kZvToolName, dir / "ZVTool_installer.exe"));
    EXPECT_TRUE(record->waitingInstaller(kZvToolName).isEmpty());

    preinstall(kZvToolName, folder());
    QList<bool> outcomes;
    QObject::connect(record.get(), &ZvInstallAfterUninstall::sglInstallAfterUninstall,
                     [&](const QString& tool, bool started) {
                         EXPECT_EQ(tool, kZvToolName);
                         outcomes.append(started);
                     });
    // An installer in the download folder that is no program.
    QDir().mkpath(getDownloadDir());
    QFile notAProgram(getDownloadDir() + "/ZVTool_installer.exe");
    ASSERT_TRUE(notAProgram.open(QIODevice::WriteOnly));
    notAProgram.write("not a program");
    notAProgram.close();
    responder.clickButton("button_confirm");
    ASSERT_TRUE(record->uninstallThenInstall(kZvToolName, notAProgram.fileName()));
    ASSERT_TRUE(waitFor([&] { return !outcomes.isEmpty(); }, 10000));
    EXPECT_EQ(outcomes, QList<bool>{false});
    ASSERT_EQ(responder.records().size(), 1);
    EXPECT_TRUE(responder.records()[0].texts.contains(kInstallFailedText));
    EXPECT_FALSE(notAProgram.exists()); // a retry downloads it anew
    EXPECT_TRUE(record->waitingInstaller(kZvToolName).isEmpty());
    EXPECT_EQ(manager()->getAppInstallStatus(kZvToolName), 0);
}

} // namespace
