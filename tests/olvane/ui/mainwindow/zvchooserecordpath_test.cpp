// The record path chooser over the program's tools manager: which rows it
// fills from the tools' own configuration files, and what its buttons hand
// to the file manager (captured by the shell stand-in's record, never a real
// xdg-open).
#include "ui/mainwindow/zvchooserecordpath.h"

#include "hubworld.h"

#include "core/pathlayout.h"
#include "core/stringconstants.h"
#include "core/systemutils.h"
#include "formcheck.h"
#include "logictest.h"
#include "modalresponder.h"
#include "screenshot.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStandardPaths>
#include <QTest>

using namespace zavmo::test;
using logictest::put;

namespace {

const char* const kRows[4][2] = {
    {"lineEdit", "button_openFolder_1"},
    {"lineEdit_2", "button_openFolder_2"},
    {"lineEdit_3", "button_openFolder_3"},
    {"lineEdit_4", "button_openFolder_4"},
};

class RecordPathTest : public HubTest
{
protected:
    void SetUp() override
    {
        HubTest::SetUp();
        QFile::remove(shellRecord());
        // The tools' own settings of the test before.
        for (const QString& folder : {getLocalAppDataRoot() + "ZVTool", getLocalAppDataRoot() + "ZavmoShow",
                                      getRoamingAppDataRoot() + "OBS", getRoamingAppDataRoot() + kObsStudioConfigDir})
            QDir(folder).removeRecursively();
    }

    static QString shellRecord() { return qEnvironmentVariable("ZAVMO_SHELL_RECORD"); }
    // What was handed to xdg-open so far, one target a line.
    static QByteArray opened() { return logictest::bytesOf(shellRecord()).replace("<missing>", ""); }

    // The record folders as each tool's own configuration file stores them.
    static void storeZvToolFolder(const QString& folder)
    {
        put(getLocalAppDataRoot() + "ZVTool/SystemSetting",
            "{\"other.video.file.path\": \"" + QString(folder).replace('/', "\\\\").toUtf8() + "\"}");
    }
    static void storeObsClassicFolder(const QString& folder)
    {
        put(getRoamingAppDataRoot() + "OBS/profiles/Untitled.ini", "[Publish]\nLastSaveDir=" + folder.toUtf8() + "\n");
    }
    static void storeZvShowFolder(const QString& folder)
    {
        put(getLocalAppDataRoot() + "ZavmoShow/SysConfig.config",
            "{\"sys\": {\"sys_record_path\": \"" + folder.toUtf8() + "\"}}");
    }

    QString folder(const QString& name)
    {
        const QString path = dir / name;
        EXPECT_TRUE(QDir().mkpath(path));
        return path;
    }

    static void click(zvChooseRecordPath& dialog, int row)
    {
        QTest::mouseClick(child<QPushButton>(dialog, kRows[row][1]), Qt::LeftButton);
    }
};

TEST_F(RecordPathTest, FormTextsGeometryAndStyle)
{
    zvChooseRecordPath dialog;
    EXPECT_EQ(dialog.size(), QSize(410, 253));
    EXPECT_EQ(dialog.windowTitle(), "zvChooseRecordPath");
    EXPECT_EQ(dialog.windowFlags(),
              Qt::FramelessWindowHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint | Qt::Dialog);
    EXPECT_TRUE(dialog.property("CanMove").toBool());
    EXPECT_EQ(dialog.property("TitleHeight").toInt(), 36);
    EXPECT_FALSE(dialog.styleSheet().isEmpty());
    EXPECT_EQ(dialog.styleSheet(), readFileText(":/Qss/MainWidgetQss.qss"));

    expectFormObjects(
        dialog, {
                    {"choose_titleback", "zvChooseRecordPath", {0, 0, 410, 36}, ""},
                    {"label_logo", "zvChooseRecordPath", {10, 8, 20, 20}, ""},
                    {"label_titleName", "zvChooseRecordPath", {35, 8, 121, 20}, "选择文件录制路径"},
                    {"button_close", "zvChooseRecordPath", {383, 10, 17, 17}, ""},
                    {"label_zavmoClassic", "zvChooseRecordPath", {18, 55, 151, 16}, "Zavmo直播伴侣  经典版"},
                    {"lineEdit", "zvChooseRecordPath", {18, 75, 295, 26}, nullptr},
                    {"button_openFolder_1", "zvChooseRecordPath", {310, 75, 80, 26}, "打开文件夹"},
                    {"label_zavmoShow", "zvChooseRecordPath", {18, 115, 141, 16}, "Zavmo直播伴侣  秀场版"},
                    {"line", "zvChooseRecordPath", {18, 117, 371, 1}, nullptr},
                    {"label_OBSClassic", "zvChooseRecordPath", {18, 130, 231, 16}, "OBS Classic   经典版（32位）"},
                    {"lineEdit_2", "zvChooseRecordPath", {18, 135, 295, 26}, nullptr},
                    {"button_openFolder_2", "zvChooseRecordPath", {310, 135, 80, 26}, "打开文件夹"},
                    {"lineEdit_3", "zvChooseRecordPath", {18, 150, 295, 26}, nullptr},
                    {"button_openFolder_3", "zvChooseRecordPath", {310, 150, 80, 26}, "打开文件夹"},
                    {"label_OBSStudio", "zvChooseRecordPath", {18, 190, 251, 16}, "OBS Studio   工作室版（32位）"},
                    {"lineEdit_4", "zvChooseRecordPath", {18, 210, 295, 26}, nullptr},
                    {"button_openFolder_4", "zvChooseRecordPath", {310, 210, 80, 26}, "打开文件夹"},
                });
    for (const char* name :
         {"button_close", "button_openFolder_1", "button_openFolder_2", "button_openFolder_3", "button_openFolder_4"})
        EXPECT_EQ(child(dialog, name)->cursor().shape(), Qt::PointingHandCursor) << name;
    auto* close = child<QPushButton>(dialog, "button_close");
    EXPECT_EQ(close->focusPolicy(), Qt::NoFocus);
    EXPECT_EQ(close->maximumSize(), QSize(17, 17));
    for (const auto& row : kRows)
        EXPECT_EQ(child(dialog, row[0])->focusPolicy(), Qt::NoFocus) << row[0];
    // The ZVShow row is never shown.
    for (const char* name : {"label_zavmoShow", "lineEdit_2", "button_openFolder_2"})
        EXPECT_FALSE(child(dialog, name)->isVisibleTo(&dialog)) << name;

    ModalResponder responder;
    responder.clickButton("button_close");
    dialog.exec();
    EXPECT_EQ(responder.records().size(), 1);
}

TEST_F(RecordPathTest, ToolsNotInstalledShowNothingEvenWithStoredFolders)
{
    storeZvToolFolder(folder("zv"));
    storeObsClassicFolder(folder("classic"));
    zvChooseRecordPath dialog;
    for (const auto& row : kRows) {
        EXPECT_EQ(child<QLineEdit>(dialog, row[0])->text(), "") << row[0];
        EXPECT_FALSE(child(dialog, row[1])->isEnabled()) << row[1];
    }
}

TEST_F(RecordPathTest, InstalledToolsShowTheirFolders)
{
    const QString zv = folder("直播 录像");
    storeZvToolFolder(zv);
    const QString classic = folder("classic");
    storeObsClassicFolder(classic);
    storeZvShowFolder(folder("show"));
    install(kZvToolName);
    install(kObsClassicToolName);
    install(kObsStudioToolName);

    zvChooseRecordPath dialog;
    EXPECT_EQ(child<QLineEdit>(dialog, "lineEdit")->text(), zv);
    EXPECT_EQ(child<QLineEdit>(dialog, "lineEdit_3")->text(), classic);
    // OBS Studio without a profile records to the Videos folder.
    EXPECT_EQ(child<QLineEdit>(dialog, "lineEdit_4")->text(),
              QStandardPaths::writableLocation(QStandardPaths::MoviesLocation));
    for (const char* button : {"button_openFolder_1", "button_openFolder_3", "button_openFolder_4"})
        EXPECT_TRUE(child(dialog, button)->isEnabled()) << button;
    // ZVShow is not a tool the manager knows installed: its row stays empty
    // as well as hidden.
    EXPECT_EQ(child<QLineEdit>(dialog, "lineEdit_2")->text(), "");
    EXPECT_FALSE(child(dialog, "button_openFolder_2")->isEnabled());
}

TEST_F(RecordPathTest, InstalledZvToolWithoutAFolderHasADisabledRow)
{
    install(kZvToolName);
    zvChooseRecordPath dialog;
    EXPECT_EQ(child<QLineEdit>(dialog, "lineEdit")->text(), "");
    EXPECT_FALSE(child(dialog, "button_openFolder_1")->isEnabled());
}

TEST_F(RecordPathTest, EachButtonOpensItsRowsFolderAsOneArgument)
{
    // Blanks and shell syntax stay part of the one argument.
    const QString zv = folder("录像 $(touch pwned); x");
    storeZvToolFolder(zv);
    const QString classic = folder("classic");
    storeObsClassicFolder(classic);
    const QString videos = QStandardPaths::writableLocation(QStandardPaths::MoviesLocation);
    QDir().mkpath(videos);
    install(kZvToolName);
    install(kObsClassicToolName);
    install(kObsStudioToolName);

    zvChooseRecordPath dialog;
    click(dialog, 0);
    click(dialog, 2);
    click(dialog, 3);
    EXPECT_EQ(QString::fromUtf8(opened()), "open " + zv + "\nopen " + classic + "\nopen " + videos + "\n");
}

TEST_F(RecordPathTest, AMissingFolderIsCreatedBeforeItOpensAndAFileIsRefused)
{
    const QString missing = dir / "gone/Videos";
    storeZvToolFolder(missing);
    const QString file = dir / "a file";
    put(file, "x");
    storeObsClassicFolder(file);
    install(kZvToolName);
    install(kObsClassicToolName);

    zvChooseRecordPath dialog;
    // Shown as stored, so the user sees what is wrong.
    EXPECT_EQ(child<QLineEdit>(dialog, "lineEdit")->text(), missing);
    EXPECT_EQ(child<QLineEdit>(dialog, "lineEdit_3")->text(), file);
    click(dialog, 0);
    EXPECT_TRUE(QFileInfo(missing).isDir());
    ModalResponder responder;
    responder.clickButton("button_confirm");
    click(dialog, 2);
    ASSERT_EQ(responder.records().size(), 1);
    EXPECT_TRUE(responder.records().at(0).texts.contains(kRecordFolderCreateFailedText));
    EXPECT_EQ(QString::fromUtf8(opened()), "open " + missing + "\n");
}

// For people to look at, in the gallery folder.
TEST_F(RecordPathTest, Screenshots)
{
    zvChooseRecordPath empty;
    empty.show();
    saveScreenshot(empty, "recordpath_empty.png");

    storeZvToolFolder(folder("直播录像"));
    storeObsClassicFolder(folder("OBS 录像"));
    install(kZvToolName);
    install(kObsClassicToolName);
    install(kObsStudioToolName);
    zvChooseRecordPath filled;
    filled.show();
    saveScreenshot(filled, "recordpath_filled.png");
}

} // namespace
