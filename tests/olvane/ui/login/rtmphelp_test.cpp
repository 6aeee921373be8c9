// The failed-fetch dialog and the push-code tutorial: their results, the room
// page they open (through the shell seam, never a browser) and their look.

#include "pushtest.h"

#include "core/serverurltable.h"
#include "ui/login/zvgetcodetutorialwidget.h"
#include "ui/login/zvgetrtmpfalsewidget.h"

#include "modalresponder.h"
#include "screenshot.h"

#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>

using pushtest::expectDialogFrame;
using pushtest::shellRecord;
using zavmo::test::ModalResponder;

namespace {

QByteArray roomPageOpened()
{
    return QByteArray("open ") + myRoomPageUrl() + "\n";
}

TEST(GetRtmpFalseWidget, FormAndLook)
{
    zvGetRtmpFalseWidget d;
    expectDialogFrame(d, QSize(363, 445), "zvGetRtmpFalseWidget", "直播地址设置");
    EXPECT_EQ(d.getResult(), 0);
    EXPECT_EQ(child<QLabel>(d, "label_text")->text(), "获取直播码失败");
    EXPECT_EQ(child<QLabel>(d, "label_false_pic")->size(), QSize(120, 120));
    for (const char* name : {"button_getRtmp", "button_reRun_OBS"}) {
        EXPECT_EQ(child<QPushButton>(d, name)->size(), QSize(130, 32)) << name;
        EXPECT_EQ(child<QPushButton>(d, name)->cursor().shape(), Qt::PointingHandCursor) << name;
    }
    EXPECT_EQ(child<QPushButton>(d, "button_getRtmp")->text(), "手动获取直播码");
    EXPECT_EQ(child<QPushButton>(d, "button_reRun_OBS")->text(), "直接开启OBS");
    d.show();
    zavmo::test::saveScreenshot(d, "zvGetRtmpFalseWidget.png");
}

// Each way out gives its result; Escape after an earlier choice is a close.
TEST(GetRtmpFalseWidget, EachWayOutGivesItsResult)
{
    const QByteArray before = shellRecord();
    zvGetRtmpFalseWidget d;
    ModalResponder responder;
    responder.clickButton("button_reRun_OBS");
    d.exec();
    EXPECT_EQ(d.getResult(), 2);
    EXPECT_EQ(shellRecord(), before);

    responder.pressKey(Qt::Key_Escape);
    d.exec();
    EXPECT_EQ(d.getResult(), 0);

    responder.clickButton("button_getRtmp");
    d.exec();
    EXPECT_EQ(d.getResult(), 1);
    EXPECT_EQ(shellRecord(), before + roomPageOpened());

    responder.clickButton("button_close");
    d.exec();
    EXPECT_EQ(d.getResult(), 0);
    EXPECT_FALSE(d.isVisible());
    EXPECT_EQ(responder.pending(), 0);
    for (const auto& record : responder.records())
        EXPECT_TRUE(record.expected()) << record.action.toStdString();
    EXPECT_EQ(shellRecord(), before + roomPageOpened());
}

TEST(GetCodeTutorialWidget, FormAndLook)
{
    zvGetCodeTutorialWidget d;
    expectDialogFrame(d, QSize(700, 457), "zvGetCodeTutorialWidget", "如何获取直播码");
    EXPECT_EQ(child<QLabel>(d, "label_plat")->text(), "Zavmo直播");
    EXPECT_EQ(child<QPushButton>(d, "button_jump")->text(), "一键跳转");
    EXPECT_EQ(child<QPushButton>(d, "button_jump")->focusPolicy(), Qt::NoFocus);

    EXPECT_EQ(child<QLabel>(d, "label_text_1_")->text(),
              QStringLiteral("登录Zavmo官网（%1），鼠标移入官网右上角用户头像，点击【直播设置】").arg(webHomeUrl()));
    EXPECT_EQ(child<QLabel>(d, "label_text_3_")->text(), "获取推流地址");
    const QSize pictures[] = {{576, 300}, {620, 394}, {620, 386}, {620, 316}};
    for (int i = 1; i <= 4; ++i) {
        const QByteArray text = QStringLiteral("label_text_%1_").arg(i).toLatin1();
        auto* label = child<QLabel>(d, text.constData());
        EXPECT_EQ(label->contextMenuPolicy(), Qt::NoContextMenu) << i;
        EXPECT_TRUE(label->textInteractionFlags() & Qt::TextSelectableByMouse) << i;
        EXPECT_TRUE(label->textInteractionFlags() & Qt::LinksAccessibleByMouse) << i;
        const QByteArray picture = QStringLiteral("label_step_%1").arg(i).toLatin1();
        EXPECT_EQ(child<QLabel>(d, picture.constData())->size(), pictures[i - 1]) << i;
    }

    // The steps scroll vertically only.
    auto* area = child<QScrollArea>(d, "scrollArea");
    EXPECT_EQ(area->size(), QSize(671, 361));
    EXPECT_EQ(area->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    d.show();
    // The scroll range follows the posted layout requests.
    ASSERT_TRUE(QTest::qWaitFor([&] { return area->verticalScrollBar()->maximum() > 0; }, 5000));
    EXPECT_GE(area->widget()->height(), 1720);
    EXPECT_GT(area->verticalScrollBar()->maximum(), 0);
    EXPECT_FALSE(area->horizontalScrollBar()->isVisible());
    zavmo::test::saveScreenshot(d, "zvGetCodeTutorialWidget.png");
    area->verticalScrollBar()->setValue(area->verticalScrollBar()->maximum());
    zavmo::test::saveScreenshot(d, "zvGetCodeTutorialWidget_end.png");
}

// The jump button opens the room page each time and leaves the tutorial open.
TEST(GetCodeTutorialWidget, JumpOpensTheRoomPageAndStays)
{
    const QByteArray before = shellRecord();
    zvGetCodeTutorialWidget d;
    d.show();
    child<QPushButton>(d, "button_jump")->click();
    child<QPushButton>(d, "button_jump")->click();
    EXPECT_TRUE(d.isVisible());
    EXPECT_EQ(shellRecord(), before + roomPageOpened() + roomPageOpened());
    child<QPushButton>(d, "button_close")->click();
    EXPECT_FALSE(d.isVisible());
}

} // namespace
