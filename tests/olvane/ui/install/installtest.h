#pragma once
// The dialogs' world for one test binary: a simulator serving the static
// CDN, the program's hub initialised against it, a listener bridging the hub
// to the dialogs, and a settings object; each test starts from an empty
// registry, repair folder and Windows root.

#include "core/appconfig.h"
#include "ui/mainwindow/uilogiclistener.h"

#include "logic_support.h"
#include "simulator.h"

#include <gtest/gtest.h>

#include <QString>
#include <QWidget>

#include <memory>
#include <ostream>

class InstallDialogTest : public ::testing::Test
{
protected:
    // The hub is made once for the binary (it cannot start again after its
    // shutdown), by the first suite that needs it.
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
    static std::unique_ptr<zavmo::test::Simulator> sim;
    static UILogicListener* listener;
    static AppConfig* config;

protected:
    logictest::TestFolder dir;
};

// Readable failure messages for Chinese texts.
inline void PrintTo(const QString& text, std::ostream* os)
{
    *os << '"' << text.toStdString() << '"';
}

// The named child of a dialog; fails the test when missing.
template <typename T> T* child(QWidget* parent, const char* name)
{
    T* w = parent->findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(w, nullptr) << name;
    return w;
}
