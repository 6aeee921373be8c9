#pragma once
// The program's logic hub for dialog tests that read the tools manager
// (OlvaneWorld's: its account client and package query go to the simulator,
// nowhere else), with a settings object linked as the main window's. Every
// test starts from an empty registry, no chosen OBS launch paths and a fresh
// settings file.
//
//   class MyDialogTest : public HubTest {};

#include "core/appconfig.h"
#include "ui/mainwindow/widgets/mainwindowlink.h"

#include "logic_support.h"
#include "olvaneworld.h"
#include "widgettest.h"

#include <QString>

#include <memory>

class ZvLiveToolsManager;

class HubTest : public OlvaneWorld
{
protected:
    static void SetUpTestSuite() { ASSERT_NO_FATAL_FAILURE(startHub()); }
    void SetUp() override;

    static ZvLiveToolsManager* toolsManager();

    // Marks a live tool installed (its Uninstall entry, in the test folder).
    void install(const QString& toolName);

    std::unique_ptr<AppConfig> config;
    logictest::TestFolder dir;
    ScopedMainWindowLink link;
};
