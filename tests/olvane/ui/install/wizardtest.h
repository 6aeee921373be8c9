#pragma once
// The install wizards' world: the dialogs' world of installtest.h, fake
// installers served where the tools manager downloads them from, the
// reinstall record the main window would own, and what a wizard shows.
// Every test ends with no download or tool task left for the next.

#include "installtest.h"

#include "ui/install/zvinstallafteruninstall.h"

#include "faketools.h"
#include "modalresponder.h"

#include <QList>
#include <QString>

#include <memory>
#include <string>
#include <vector>

class ZvLiveToolsManager;

class WizardTest : public InstallDialogTest
{
public:
    static QString installerUrl(const QString& toolName);
    static ZvLiveToolsManager* manager();

protected:
    void SetUp() override;
    void TearDown() override;

    // Serves the fake tool program as the tool's installer, wherever its
    // download address points (ZVTool's comes from the release service).
    static void serveInstaller(const QString& toolName);
    // The mode of the file trees that serve installers.
    static void setInstallerMode(const std::string& mode);
    // Runs the tool's fake installer to its end: installed in `folder`.
    void preinstall(const QString& toolName, const QString& folder);
    // Starts the installed tool's program (as the tools manager would find
    // it running).
    void startTool(const std::string& exe, const QString& folder);

    // The index of the one page shown, -1 when not exactly one.
    static int page(QWidget* wizard);
    static bool waitForPage(QWidget* wizard, int index, int timeoutMs = 10000);
    static bool shown(QWidget* d, const char* name);
    static void click(QWidget* d, const char* button);
    static void press(QWidget* d, const char* label);
    static int bar(QWidget* d, const char* name);
    // Waits for the wizard to close after its failure prompt (`text`, with
    // a cancel button), which is prompt number `count` of the test.
    void expectClosedAfterFailure(QWidget* d, const QString& text, int count);

    // The "type" of each analytics event of that name, in order.
    static QList<int> eventTypes(const std::string& name);
    // Runs the event loop until `count` starts of `name` are logged.
    bool waitForStarts(const std::string& name, size_t count, int timeoutMs = 10000) const;
    // Names of the fake programs started so far, in order.
    std::vector<std::string> startedNames() const;

    zavmo::test::FakeTools fake;
    std::unique_ptr<ZvInstallAfterUninstall> record;
    // Answers the prompts the test queues; any other fails the test (and is
    // rejected, so nothing waits forever).
    zavmo::test::ModalResponder responder;
};
