#pragma once
// The OBS start flow of the main window: OBS Studio (or classic) installed
// with the fake installer and selected on the OBS card, the push address
// from the simulator, OBS's own files read back.

#include "mainwindowtest.h"

#include "logic/toolconfigfiles.h"

#include <QDialog>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QRadioButton>

namespace mainwindowtest {

class StartFlowTest : public MainWindowTest
{
protected:
    void SetUp() override
    {
        MainWindowTest::SetUp();
        QDir(getRoamingAppDataRoot() + "obs-studio").removeRecursively();
        QDir(getRoamingAppDataRoot() + "OBS").removeRecursively();
        QDir(getLocalAppDataRoot() + "ZVTool").removeRecursively();
    }

    ZvLiveToolsManager* tools() { return ZvLogicFW::instance()->getLiveToolsManager(); }
    LoginManager* login() { return ZvLogicFW::instance()->getLoginManager(); }

    // OBS Studio installed and shown on the OBS card, with its open button.
    void selectInstalledStudio()
    {
        installTool(kObsStudioToolName, "OBS_Studio_installer.exe");
        click("button_OBSLive");
        child<QRadioButton>("radio_studio")->click();
        ASSERT_TRUE(waitUntil([&] { return shown("button_open_OBS"); }));
    }
    void chooseWriteCode() { child<QRadioButton>("radioButton_OBSS_write_code")->click(); }

    void logIn()
    {
        ASSERT_TRUE(waitUntil([&] { return login()->isServerTimespaceValid(); }));
        login()->loginByNickName(QString::fromUtf8(account::kNickName), QString::fromUtf8(account::kPassword), false);
        ASSERT_TRUE(waitUntil([&] { return login()->isLogin(); }));
    }

    // Starts the tool and waits until a scan sees it running.
    void startTool(const QString& tool)
    {
        ASSERT_TRUE(tools()->launchApplication(tool));
        ASSERT_TRUE(waitUntil([&] { return tools()->getAppStatus(tool) == 2; }));
    }

    static QString studioServer()
    {
        QString server, key;
        getObsStudioPushInfo(server, key);
        return server;
    }
    static QString studioKey()
    {
        QString server, key;
        getObsStudioPushInfo(server, key);
        return key;
    }

    // Waits for the window to be usable again after a push-address request.
    bool requestOver(int timeoutMs = 3000)
    {
        return waitUntil([&] { return window->isEnabled(); }, timeoutMs);
    }

    // The companion's own settings, holding the start page number.
    static QString companionSettings() { return getLocalAppDataRoot() + "ZVTool/SystemSetting"; }
    static int companionStartPage()
    {
        QFile file(companionSettings());
        if (!file.open(QIODevice::ReadOnly))
            return -1;
        return QJsonDocument::fromJson(file.readAll()).object().value("guide.live.type").toInt(-1);
    }
    static void writeCompanionSettings(int startPage)
    {
        QDir().mkpath(getLocalAppDataRoot() + "ZVTool");
        QFile file(companionSettings());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(QStringLiteral("{\"guide.live.type\": %1}").arg(startPage).toUtf8());
    }

    size_t startsOf(const char* name) const { return fake.waitForStarts(name, 0, 0).size(); }
    // Runs the event loop (the flow goes on there) until `count` starts of
    // the program are logged; then exactly that many.
    bool started(const char* name, size_t count, int timeoutMs = 5000)
    {
        return waitUntil([&] { return startsOf(name) >= count; }, timeoutMs) && startsOf(name) == count;
    }
};

// Types an address into the push-address dialog and confirms it.
inline std::function<void(QWidget*)> typeAddress(const QString& address, const QString& key)
{
    return [address, key](QWidget* dialog) {
        dialog->findChild<QLineEdit*>("ledit_RTMP")->setText(address);
        dialog->findChild<QLineEdit*>("ledit_liveCode")->setText(key);
        dialog->findChild<QPushButton*>("button_confirm")->click();
    };
}

} // namespace mainwindowtest
