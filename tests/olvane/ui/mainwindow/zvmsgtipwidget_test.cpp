// The message tip: its form, texts and results.
#include "ui/mainwindow/widgets/zvmsgtipwidget.h"

#include "core/systemutils.h"
#include "modalresponder.h"
#include "mouse.h"

#include <QHBoxLayout>
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

TEST(zvMsgTipWidget, FormGeometry)
{
    zvMsgTipWidget tip("m", true);
    const struct
    {
        const char* name;
        QRect geometry;
    } objects[] = {{"button_close", {383, 10, 17, 17}},
                   {"label_titleName", {10, 8, 71, 20}},
                   {"liveAddress_titleback", {0, 0, 410, 36}},
                   {"label_tip", {50, 78, 311, 41}},
                   {"widget", {30, 136, 350, 50}}};
    for (const auto& o : objects) {
        QWidget* w = tip.findChild<QWidget*>(o.name);
        ASSERT_NE(w, nullptr) << o.name;
        EXPECT_EQ(w->parentWidget(), &tip) << o.name;
        EXPECT_EQ(w->geometry(), o.geometry) << o.name;
    }
    EXPECT_EQ(button(tip, "button_close")->minimumSize(), QSize(17, 17));
    EXPECT_EQ(button(tip, "button_close")->maximumSize(), QSize(17, 17));
    auto* row = tip.findChild<QHBoxLayout*>("horizontalLayout");
    ASSERT_NE(row, nullptr);
    EXPECT_EQ(row->spacing(), 40);
    EXPECT_EQ(row->contentsMargins(), QMargins(11, 11, 11, 11));
    // Spacer, confirm, cancel, spacer.
    ASSERT_EQ(row->count(), 4);
    EXPECT_NE(row->itemAt(0)->spacerItem(), nullptr);
    EXPECT_EQ(row->itemAt(1)->widget(), button(tip, "button_confirm"));
    EXPECT_EQ(row->itemAt(2)->widget(), button(tip, "button_cancel"));
    EXPECT_NE(row->itemAt(3)->spacerItem(), nullptr);
    for (const char* name : {"button_confirm", "button_cancel"}) {
        EXPECT_EQ(button(tip, name)->minimumSize(), QSize(100, 32)) << name;
        EXPECT_EQ(button(tip, name)->maximumSize(), QSize(100, 32)) << name;
    }
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

TEST(zvMsgTipWidget, TheSameDialogRunTwiceInARowIsAnsweredBothTimes)
{
    ModalResponder responder;
    zvMsgTipWidget tip("m", true);
    responder.clickButton("button_confirm");
    responder.clickButton("button_cancel");
    EXPECT_EQ(tip.exec(), QDialog::Accepted);
    EXPECT_EQ(tip.exec(), QDialog::Rejected); // no event loop ran in between
    ASSERT_EQ(responder.records().size(), 2);
    EXPECT_EQ(responder.records().at(1).action, "click:button_cancel");
}

TEST(zvMsgTipWidget, APromptOpenedByAnAnsweredPromptIsAnsweredToo)
{
    ModalResponder responder;
    zvMsgTipWidget outer("outer", true);
    int nestedResult = -1;
    // As a dialog asks a second question from its confirm button.
    QObject::connect(button(outer, "button_confirm"), &QPushButton::clicked, &outer, [&] {
        zvMsgTipWidget nested("nested", true);
        nestedResult = nested.exec();
    });
    responder.clickButton("button_confirm");
    responder.clickButton("button_cancel");
    EXPECT_EQ(outer.exec(), QDialog::Accepted);
    EXPECT_EQ(nestedResult, QDialog::Rejected);
    ASSERT_EQ(responder.records().size(), 2);
    EXPECT_TRUE(responder.records().at(1).texts.contains("nested"));
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
