#pragma once
// The dialogs' world for one test binary (OlvaneWorld's): a simulator
// serving the static CDN, the program's hub initialised against it, a
// listener bridging the hub to the dialogs, and a settings object; each test
// starts from an empty registry, repair folder and Windows root.

#include "core/appconfig.h"
#include "ui/mainwindow/widgets/mainwindowlink.h"
#include "ui/mainwindow/widgets/uilogiclistener.h"

#include "logic_support.h"
#include "olvaneworld.h"
#include "widgettest.h"

#include <QString>

#include <string>

class InstallDialogTest : public OlvaneWorld
{
protected:
    static void SetUpTestSuite();
    void SetUp() override;
    void TearDown() override;

    // Serves `file` on the static CDN under the runtime installers' folder.
    static void serve(const QString& file, const std::string& program);
    static void unserve(const QString& file);
    static QString cdnFolder();
    // That folder below the files root, as the URL table names it.
    static QString cdnPath();
    // Requests to the static CDN for that file name so far.
    static int downloadsOf(const QString& file);
    // Serves `program` at the URL's path: the simulator's file trees (the
    // static CDN's, the release service's) map a path onto the files root.
    static void serveAt(const QString& url, const std::string& program);
    // Requests so far for the URL's path.
    static int requestsOf(const QString& url);

public:
    static inline UILogicListener* listener = nullptr;
    static inline AppConfig* config = nullptr;

protected:
    logictest::TestFolder dir;
    ScopedMainWindowLink link;
};
