// The OBS start flow as a decision table over the real logic layer: the
// runtime check, relay mode in each companion state, write-code mode with and
// without a login. The dialogs' results and the restart: startflow_dialogs_test.
#include "startflowtest.h"

#include <QRegularExpression>

namespace {

using namespace mainwindowtest;

// ---- Runtime check

TEST_F(StartFlowTest, NothingHappensForAnObsThatIsNotInstalled)
{
    click("button_OBSLive");
    child<QRadioButton>("radio_studio")->click();
    ModalResponder responder;
    window->on_button_open_OBS_clicked();
    settle(50);
    EXPECT_TRUE(responder.records().isEmpty());
    EXPECT_TRUE(shown("button_install_OBS"));
    EXPECT_EQ(startsOf("obs32.exe"), 0u);
}

TEST_F(StartFlowTest, RuntimeCheckOffersDotNetOnlyTogetherWithDirectX)
{
    using platform::registry::Root;
    selectInstalledStudio();
    ASSERT_TRUE(platform::registry::deleteKey(Root::LocalMachine, "SOFTWARE\\Microsoft\\.NETFramework\\v4.0.30319"));
    ASSERT_TRUE(platform::registry::deleteKey(Root::LocalMachine,
                                              "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" +
                                                  std::string(platform::runtime::kVcRedistProducts[0].productCode)));
    ModalResponder responder;
    // .NET is missing too, but DirectX is fine: the runtime package alone.
    // Closing the repair dialog goes on with the start (relay: no companion).
    responder.clickButton("button_close");
    responder.clickButton("button_confirm");
    click("button_open_OBS");
    ASSERT_EQ(responder.records().size(), 2);
    EXPECT_EQ(responder.records().at(0).className, "zvEnvironmentalRepair");
    EXPECT_TRUE(responder.records().at(0).texts.filter(kVcRedistName).size() == 1);
    EXPECT_TRUE(responder.records().at(0).texts.filter("NET").isEmpty());
    EXPECT_EQ(responder.records().at(1).className, "zvInstallWidget");

    // DirectX missing as well: all three, .NET first.
    ASSERT_TRUE(QDir().mkpath(root.filePath("windows/C/Windows/SysWOW64")));
    responder.clickButton("button_close");
    responder.clickButton("button_confirm");
    click("button_open_OBS");
    ASSERT_EQ(responder.records().size(), 4);
    const QStringList texts = responder.records().at(2).texts;
    EXPECT_EQ(texts.filter("修复").filter(QRegularExpression("NET|DirectX|vcredist")).size(), 3)
        << texts.join(',').toStdString();

    // Ignored in the settings: no check at all.
    window->getConfig()->setEnvironmentRepairIgnore(true);
    responder.clickButton("button_confirm");
    click("button_open_OBS");
    ASSERT_EQ(responder.records().size(), 5);
    EXPECT_EQ(responder.records().at(4).className, "zvInstallWidget");
    EXPECT_EQ(events("click_install", 3).size(), 3u);
}

// ---- Relay mode

TEST_F(StartFlowTest, RelayWithoutTheCompanionOffersToInstallIt)
{
    selectInstalledStudio();
    ModalResponder responder;
    responder.clickButton("button_close");
    click("button_open_OBS");
    ASSERT_EQ(responder.records().size(), 1);
    EXPECT_EQ(responder.records().at(0).className, "zvInstallWidget");
    EXPECT_TRUE(responder.records().at(0).texts.contains(kInstallZvToolText));
    EXPECT_EQ(window->getCurrentToolName(), kObsStudioToolName);
    EXPECT_TRUE(sim->requests("static_cdn").empty());
    EXPECT_EQ(events("click_install").at(0)["e"]["type"], 1);

    // A folder confirmed: the companion's installer downloads and its card
    // comes to the front.
    responder.clickButton("button_confirmInstall");
    responder.clickButton("button_confirm");
    click("button_open_OBS");
    EXPECT_EQ(window->getCurrentToolName(), kZvToolName);
    EXPECT_TRUE(shown("page_zavmoPage"));
    EXPECT_TRUE(child<QPushButton>("button_ZavmoLive")->isChecked());
    // The simulator has no such installer to give: the download fails, and
    // says so on the companion card.
    ASSERT_TRUE(waitUntil([&] { return responder.records().size() == 3; }));
    EXPECT_TRUE(responder.records().at(2).texts.contains(kPackageDownloadFailedText));
    EXPECT_EQ(startsOf("obs32.exe"), 0u);
    EXPECT_EQ(events("click_install", 2).size(), 2u);
}

TEST_F(StartFlowTest, RelayWithTheCompanionStoppedStartsObsThenTheCompanionOnItsRelayPage)
{
    selectInstalledStudio();
    installTool(kZvToolName, "ZVTool_installer.exe");
    writeCompanionSettings(3);
    ModalResponder responder;
    click("button_open_OBS");
    ASSERT_TRUE(started("obs32.exe", 1));
    ASSERT_TRUE(started("Tresk.exe", 1));
    // Each program logs its own start, in whatever order the two get the
    // CPU; the process ids (a namespace of the test's own, counting up) keep
    // the order they were started in.
    EXPECT_LT(fake.waitForStarts("obs32.exe", 1, 0).at(0).pid, fake.waitForStarts("Tresk.exe", 1, 0).at(0).pid);
    EXPECT_EQ(companionStartPage(), 9);
    EXPECT_TRUE(responder.records().isEmpty());
}

TEST_F(StartFlowTest, RelayWhereObsFailsStartsNoCompanion)
{
    selectInstalledStudio();
    installTool(kZvToolName, "ZVTool_installer.exe");
    writeCompanionSettings(3);
    const QString folder = window->getConfig()->getToolInstallPath(kObsStudioToolName);
    ASSERT_TRUE(QFile::remove(folder + "/bin/32bit/obs32.exe"));
    ASSERT_TRUE(QFile::remove(folder + "/bin/64bit/obs64.exe"));
    ModalResponder responder;
    responder.clickButton("button_confirm");
    click("button_open_OBS");
    ASSERT_EQ(responder.records().size(), 1) << [&] {
        std::string shown;
        for (const auto& r : responder.records())
            shown += r.className.toStdString() + ": " + r.texts.join('|').toStdString() + "\n";
        return shown;
    }();
    EXPECT_TRUE(responder.records().at(0).texts.contains(kLaunchToolFailedText));
    settle(100);
    EXPECT_EQ(startsOf("Tresk.exe"), 0u);
    EXPECT_EQ(companionStartPage(), 3);
}

TEST_F(StartFlowTest, RelayWithTheCompanionRunningStartsBothOnlyWhenConfirmed)
{
    selectInstalledStudio();
    installTool(kZvToolName, "ZVTool_installer.exe");
    startTool(kZvToolName);
    ModalResponder responder;
    responder.clickButton("button_close");
    click("button_open_OBS");
    ASSERT_EQ(responder.records().size(), 1);
    EXPECT_TRUE(responder.records().at(0).texts.contains(kCompanionStartedText));
    settle(100);
    EXPECT_EQ(startsOf("obs32.exe"), 0u);
    EXPECT_EQ(startsOf("Tresk.exe"), 1u);
    EXPECT_FALSE(shellRecord().contains(guildHelpArticleUrl()));

    responder.clickButton("button_confirm");
    click("button_open_OBS");
    ASSERT_TRUE(started("obs32.exe", 1));
    // The companion is started once more although it runs, and the relay
    // tutorial opens.
    EXPECT_TRUE(started("Tresk.exe", 2));
    EXPECT_TRUE(shellRecord().contains(guildHelpArticleUrl()));
}

// ---- Write-code mode

TEST_F(StartFlowTest, WriteCodeWithTheLoginCancelledRequestsNothing)
{
    selectInstalledStudio();
    chooseWriteCode();
    ModalResponder responder;
    responder.clickButton("button_confirm");
    click("button_open_OBS");
    ASSERT_EQ(responder.records().size(), 1);
    EXPECT_EQ(responder.records().at(0).className, "ZvLoginWidget");
    EXPECT_TRUE(window->isEnabled());
    settle(100);
    EXPECT_TRUE(sim->requests("get_rtmplist").empty());
    EXPECT_TRUE(events("click_liveset_get", 1, 200).empty());
    EXPECT_EQ(startsOf("obs32.exe"), 0u);
}

TEST_F(StartFlowTest, WriteCodeAfterALoginWritesTheAddressAndStartsObs)
{
    selectInstalledStudio();
    chooseWriteCode();
    ASSERT_TRUE(waitUntil([&] { return login()->isServerTimespaceValid(); }));
    ModalResponder responder;
    // The login dialog (a stand-in) accepts once a login succeeded, as the
    // real one does.
    responder.call("log in", [this](QWidget* dialog) {
        QObject::connect(window->getLogicListener(), &UILogicListener::sglLoginSuccessed, dialog,
                         [dialog] { qobject_cast<QDialog*>(dialog)->accept(); });
        login()->loginByNickName(QString::fromUtf8(account::kNickName), QString::fromUtf8(account::kPassword), false);
    });
    click("button_open_OBS");
    ASSERT_TRUE(started("obs32.exe", 1));
    EXPECT_EQ(studioServer(), QString::fromUtf8(account::kRtmpSendUrl));
    EXPECT_EQ(studioKey(), QString::fromUtf8(account::kRtmpSendLive));
    EXPECT_TRUE(window->isEnabled());
    EXPECT_TRUE(shown("label_OBS_broadcast_tip"));
    EXPECT_FALSE(shown("widget_OBSS_write_code"));
    ASSERT_EQ(responder.records().size(), 1);
    EXPECT_EQ(events("click_liveset_get").size(), 1u);
    EXPECT_EQ(events("show_liveset_get_succ").size(), 1u);
    EXPECT_EQ(sim->requests("start_liveroom").size(), 1u);
}

TEST_F(StartFlowTest, AnAddressThatCannotBeWrittenStartsNothing)
{
    selectInstalledStudio();
    chooseWriteCode();
    logIn();
    // A service.json that OBS's own settings cannot be kept in is left alone.
    const QString profile = getRoamingAppDataRoot() + kObsStudioProfilesDir + kUntitledProfileName;
    ASSERT_TRUE(QDir().mkpath(profile));
    QFile service(profile + "/service.json");
    ASSERT_TRUE(service.open(QIODevice::WriteOnly));
    service.write("{not json");
    service.close();
    ModalResponder responder;
    responder.clickButton("button_confirm");
    click("button_open_OBS");
    ASSERT_TRUE(waitUntil([&] { return responder.records().size() == 1; }));
    EXPECT_TRUE(responder.records().at(0).texts.filter("推流设置保存失败").size() == 1);
    EXPECT_TRUE(window->isEnabled());
    settle(100);
    EXPECT_EQ(startsOf("obs32.exe"), 0u);
    EXPECT_FALSE(shown("label_OBS_broadcast_tip"));
    ASSERT_TRUE(service.open(QIODevice::ReadOnly));
    EXPECT_EQ(service.readAll(), "{not json");
}

} // namespace
