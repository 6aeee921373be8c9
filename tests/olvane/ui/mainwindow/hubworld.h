#pragma once
// The program's logic hub for dialog tests that read the tools manager:
// initialised once per binary against a simulator (its account client and
// package query go there, nowhere else), shut down after the last test, with
// a settings object linked as the main window's. Every test starts from an
// empty registry, no chosen OBS launch paths and a fresh settings file.
//
//   class MyDialogTest : public HubTest {};

#include "core/appconfig.h"
#include "ui/mainwindow/widgets/mainwindowlink.h"

#include "logic_support.h"

#include <gtest/gtest.h>

#include <QString>
#include <QWidget>

#include <memory>
#include <ostream>

class ZvLiveToolsManager;

class HubTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite();
    void SetUp() override;

    static ZvLiveToolsManager* toolsManager();

    // Marks a live tool installed (its Uninstall entry, in the test folder).
    void install(const QString& toolName);

    std::unique_ptr<AppConfig> config;
    logictest::TestFolder dir;
    ScopedMainWindowLink link;
};

// Readable failure messages for Chinese texts.
inline void PrintTo(const QString& text, std::ostream* os)
{
    *os << '"' << text.toStdString() << '"';
}

// The named child of a widget; fails the test when missing.
template <typename T = QWidget> T* child(QWidget& parent, const char* name)
{
    T* w = parent.findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(w, nullptr) << name;
    return w;
}
