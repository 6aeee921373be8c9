// The quit prompt: its form, the mode it shows, and what each button does to
// the settings in memory and on disk.
#include "ui/mainwindow/widgets/zvappquittip.h"

#include "core/appconfig.h"
#include "core/pathlayout.h"
#include "core/stringconstants.h"
#include "core/systemutils.h"
#include "formcheck.h"
#include "logic_support.h"
#include "modalresponder.h"
#include "ui/mainwindow/widgets/mainwindowlink.h"
#include "widgettest.h"

#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <gtest/gtest.h>

#include <memory>

using namespace zavmo::test;

namespace {

class QuitTipTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        QFile::remove(getSystemSettingPath());
        config = std::make_unique<AppConfig>();
        link->config = config.get();
    }

    std::unique_ptr<AppConfig> config;
    ScopedMainWindowLink link;
};

TEST_F(QuitTipTest, FormTextsGeometryAndStyle)
{
    zvAppQuitTip tip;
    EXPECT_EQ(tip.size(), QSize(410, 270));
    EXPECT_EQ(tip.windowFlags(),
              Qt::FramelessWindowHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint | Qt::Dialog);
    EXPECT_TRUE(tip.property("CanMove").toBool());
    EXPECT_EQ(tip.property("TitleHeight").toInt(), 36);
    EXPECT_EQ(tip.styleSheet(), readFileText(":/Qss/SystemSettingQss.qss"));
    EXPECT_FALSE(tip.styleSheet().isEmpty());

    expectFormObjects(tip,
                      {
                          {"widget_title_bar", "zvAppQuitTip", {0, 0, 410, 36}, nullptr},
                          {"label_title", "widget_title_bar", {10, 8, 54, 20}, "退出提示"},
                          {"button_close", "widget_title_bar", {383, 10, 17, 17}, ""},
                          {"label_want", "zvAppQuitTip", {30, 60, 261, 21}, "您点击了关闭按钮，您是想："},
                          {"radio_btn_hide", "zvAppQuitTip", {60, 100, 261, 16}, "隐藏到任务栏通知区域，不退出程序"},
                          {"radio_btn_quit", "zvAppQuitTip", {60, 140, 291, 16}, "退出程序"},
                          {"checkBox_not_tip", "zvAppQuitTip", {60, 180, 231, 16}, "下次不再提示"},
                          {"button_confirm", "zvAppQuitTip", {85, 218, 100, 32}, "确定"},
                          {"button_cancel", "zvAppQuitTip", {225, 218, 100, 32}, "取消"},
                      });
    EXPECT_EQ(child<QLabel>(tip, "label_title")->font().family(), "微软雅黑");
    auto* close = child<QPushButton>(tip, "button_close");
    EXPECT_EQ(close->focusPolicy(), Qt::NoFocus);
    EXPECT_EQ(close->cursor().shape(), Qt::PointingHandCursor);
    EXPECT_EQ(close->maximumSize(), QSize(17, 17));
    EXPECT_FALSE(child<QCheckBox>(tip, "checkBox_not_tip")->isChecked());
    // The two choices exclude each other.
    child<QRadioButton>(tip, "radio_btn_quit")->click();
    child<QRadioButton>(tip, "radio_btn_hide")->click();
    EXPECT_FALSE(child<QRadioButton>(tip, "radio_btn_quit")->isChecked());
}

TEST_F(QuitTipTest, ShowsTheStoredModeAnyValueButZeroBeingTheTray)
{
    for (int mode : {0, 1, 7}) {
        config->setCloseMode(mode);
        zvAppQuitTip tip;
        EXPECT_EQ(child<QRadioButton>(tip, "radio_btn_quit")->isChecked(), mode == 0) << mode;
        EXPECT_EQ(child<QRadioButton>(tip, "radio_btn_hide")->isChecked(), mode != 0) << mode;
    }
}

TEST_F(QuitTipTest, ConfirmStoresTheChoiceAndSavesAtOnce)
{
    {
        zvAppQuitTip tip;
        child<QRadioButton>(tip, "radio_btn_quit")->setChecked(true);
        child<QCheckBox>(tip, "checkBox_not_tip")->setChecked(true);
        ModalResponder responder;
        responder.clickButton("button_confirm");
        EXPECT_EQ(tip.exec(), QDialog::Accepted);
    }
    EXPECT_EQ(config->getCloseMode(), CLOSE_QUIT);
    EXPECT_FALSE(config->getShowCloseTipEnable());
    EXPECT_EQ(logictest::storedSetting("Basic/closeMode").toInt(), 0);
    EXPECT_EQ(logictest::storedSetting("Basic/showCloseTipEnable").toBool(), false);

    zvAppQuitTip again;
    child<QRadioButton>(again, "radio_btn_hide")->setChecked(true);
    ModalResponder responder;
    responder.clickButton("button_confirm");
    EXPECT_EQ(again.exec(), QDialog::Accepted);
    EXPECT_EQ(config->getCloseMode(), CLOSE_TO_TRAY);
    EXPECT_TRUE(config->getShowCloseTipEnable());
    EXPECT_EQ(logictest::storedSetting("Basic/closeMode").toInt(), 1);
    EXPECT_EQ(logictest::storedSetting("Basic/showCloseTipEnable").toBool(), true);

    // A save that fails is told in the main window's toast.
    QStringList toasts;
    link->toast = [&](const QString& text) { toasts << text; };
    const QByteArray dataHome = qgetenv("XDG_DATA_HOME");
    // A data folder below a regular file cannot be created.
    qputenv("XDG_DATA_HOME", "/dev/null/data");
    zvAppQuitTip unsaved;
    responder.clickButton("button_confirm");
    EXPECT_EQ(unsaved.exec(), QDialog::Accepted);
    qputenv("XDG_DATA_HOME", dataHome);
    EXPECT_EQ(toasts, QStringList{kSettingsSaveFailedText});
}

TEST_F(QuitTipTest, CancelAndCloseChangeNothing)
{
    config->setCloseMode(0);
    for (const char* button : {"button_cancel", "button_close"}) {
        zvAppQuitTip tip;
        child<QRadioButton>(tip, "radio_btn_hide")->setChecked(true);
        child<QCheckBox>(tip, "checkBox_not_tip")->setChecked(true);
        ModalResponder responder;
        responder.clickButton(button);
        EXPECT_EQ(tip.exec(), QDialog::Rejected) << button;
        EXPECT_EQ(config->getCloseMode(), 0) << button;
        EXPECT_TRUE(config->getShowCloseTipEnable()) << button;
    }
    EXPECT_FALSE(QFile::exists(getSystemSettingPath()));
}

TEST_F(QuitTipTest, WithoutSettingsNothingIsCheckedAndConfirmStillAccepts)
{
    link->config = nullptr;
    zvAppQuitTip tip;
    EXPECT_FALSE(child<QRadioButton>(tip, "radio_btn_hide")->isChecked());
    EXPECT_FALSE(child<QRadioButton>(tip, "radio_btn_quit")->isChecked());
    ModalResponder responder;
    responder.clickButton("button_confirm");
    EXPECT_EQ(tip.exec(), QDialog::Accepted);
    EXPECT_FALSE(QFile::exists(getSystemSettingPath()));
}

} // namespace
