// The message tip: its form, texts and results.
#include "ui/mainwindow/zvmsgtipwidget.h"

#include "core/systemutils.h"
#include "modalresponder.h"
#include "mouse.h"

#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

using namespace zavmo::test;

namespace {

QPushButton* button(QWidget& w, const char* name)
{
    return w.findChild<QPushButton*>(name);
}

QLabel* label(QWidget& w, const char* name)
{
    return w.findChild<QLabel*>(name);
}

TEST(zvMsgTipWidget, FormTextsFlagsAndStyle)
{
    zvMsgTipWidget tip("程序初始化失败！", true);
    EXPECT_EQ(tip.objectName(), "zvMsgTipWidget");
    EXPECT_EQ(tip.windowTitle(), "zvMsgTipWidget");
    EXPECT_EQ(tip.size(), QSize(410, 220));
    EXPECT_EQ(label(tip, "label_titleName")->text(), "提示");
    EXPECT_EQ(label(tip, "label_tip")->text(), "程序初始化失败！");
    EXPECT_TRUE(label(tip, "label_tip")->wordWrap());
    EXPECT_EQ(label(tip, "label_tip")->alignment(), Qt::AlignCenter);
    EXPECT_EQ(button(tip, "button_confirm")->text(), "确认");
    EXPECT_EQ(button(tip, "button_cancel")->text(), "取消");
    EXPECT_EQ(button(tip, "button_close")->focusPolicy(), Qt::NoFocus);
    EXPECT_EQ(tip.windowFlags(),
              Qt::Dialog | Qt::FramelessWindowHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint);
    EXPECT_TRUE(tip.property("CanMove").toBool());
    EXPECT_EQ(tip.property("TitleHeight").toInt(), 36);
    EXPECT_EQ(tip.styleSheet(), readFileText(":/Qss/MainWidgetQss.qss"));
    EXPECT_FALSE(tip.styleSheet().isEmpty());

    tip.setButtonText("关闭直播", "忽略");
    EXPECT_EQ(button(tip, "button_confirm")->text(), "关闭直播");
    EXPECT_EQ(button(tip, "button_cancel")->text(), "忽略");
    tip.setMessage("直播间已成功关闭");
    EXPECT_EQ(label(tip, "label_tip")->text(), "直播间已成功关闭");
}

TEST(zvMsgTipWidget, TitlePictureLiesBeneathCloseButtonAndTitle)
{
    zvMsgTipWidget tip("m", false);
    QPushButton* close = button(tip, "button_close");
    QLabel* title = label(tip, "label_titleName");
    EXPECT_EQ(tip.childAt(close->geometry().center()), close);
    EXPECT_EQ(tip.childAt(title->geometry().center()), title);
    EXPECT_EQ(tip.childAt(QPoint(200, 20))->objectName(), "liveAddress_titleback");
}

TEST(zvMsgTipWidget, WithoutCancelOnlyTheCentredConfirmShows)
{
    zvMsgTipWidget tip("m", false);
    tip.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&tip));
    EXPECT_TRUE(button(tip, "button_cancel")->isHidden());
    QPushButton* confirm = button(tip, "button_confirm");
    ASSERT_TRUE(confirm->isVisible());
    EXPECT_EQ(confirm->size(), QSize(100, 32));
    const int rowCentre = confirm->parentWidget()->width() / 2;
    EXPECT_LE(std::abs(confirm->geometry().center().x() - rowCentre), 1);
}

TEST(zvMsgTipWidget, ExecGivesOneForConfirmAndZeroForEveryOtherEnd)
{
    struct Case
    {
        const char* button;
        int key;
        int result;
    } cases[] = {{"button_confirm", 0, QDialog::Accepted},
                 {"button_cancel", 0, QDialog::Rejected},
                 {"button_close", 0, QDialog::Rejected},
                 {nullptr, Qt::Key_Escape, QDialog::Rejected}};
    for (const Case& c : cases) {
        ModalResponder responder;
        zvMsgTipWidget tip("检测到您已关闭OBS推流软件", true);
        if (c.button)
            responder.clickButton(c.button);
        else
            responder.pressKey(c.key);
        EXPECT_EQ(tip.exec(), c.result) << (c.button ? c.button : "Escape");
        ASSERT_EQ(responder.records().size(), 1);
        const ModalRecord& seen = responder.records().at(0);
        EXPECT_TRUE(seen.expected()) << seen.action.toStdString();
        EXPECT_EQ(seen.className, "zvMsgTipWidget");
        EXPECT_TRUE(seen.texts.contains("检测到您已关闭OBS推流软件"));
        EXPECT_TRUE(seen.texts.contains("提示"));
    }
}

TEST(zvMsgTipWidget, AMissingButtonIsReportedAndTheDialogStillEnds)
{
    ModalResponder responder;
    zvMsgTipWidget tip("m", false);
    responder.clickButton("button_cancel"); // hidden without the cancel flag
    EXPECT_EQ(tip.exec(), QDialog::Rejected);
    ASSERT_EQ(responder.records().size(), 1);
    EXPECT_FALSE(responder.records().at(0).expected());
    EXPECT_EQ(responder.records().at(0).action, "missing:button_cancel");
}

TEST(zvMsgTipWidget, AnUnexpectedPromptIsRejectedAndRecorded)
{
    ModalResponder responder;
    zvMsgTipWidget tip("安装包下载失败，可能是网络不通，请检查网络后重试", true);
    EXPECT_EQ(tip.exec(), QDialog::Rejected);
    ASSERT_EQ(responder.records().size(), 1);
    EXPECT_EQ(responder.records().at(0).action, "unexpected");
    EXPECT_EQ(responder.pending(), 0);
}

} // namespace
