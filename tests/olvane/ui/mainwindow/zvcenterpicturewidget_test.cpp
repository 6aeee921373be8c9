// The preview carousel: which picture and markers show as the arrows and the
// tool switches go, and the arrows' visibility with the mouse.
#include "ui/mainwindow/widgets/zvcenterpicturewidget.h"

#include "core/stringconstants.h"

#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

namespace {

class CarouselTest : public ::testing::Test
{
protected:
    QWidget* child(const char* name) { return carousel.findChild<QWidget*>(name); }

    // The picture shown, as an index into the tool's row, or -1.
    int shownPicture(int row)
    {
        const QImage shown = static_cast<QLabel*>(child("label_picture"))
                                 ->pixmap(Qt::ReturnByValue)
                                 .toImage()
                                 .convertToFormat(QImage::Format_ARGB32);
        for (int i = 0; i < 3; ++i)
            if (!kToolPreviewImages[row][i].isEmpty() &&
                QImage(kToolPreviewImages[row][i]).convertToFormat(QImage::Format_ARGB32) == shown)
                return i;
        return -1;
    }

    // Which highlights show, e.g. "100".
    std::string highlights()
    {
        std::string s;
        for (const char* name : {"label_switch_selected", "label_switch_selected_2", "label_switch_selected_3"})
            s += child(name)->isVisibleTo(&carousel) ? '1' : '0';
        return s;
    }

    // Steps with one arrow and returns the indices passed through.
    std::vector<int> step(const char* arrow, int times)
    {
        std::vector<int> seen;
        for (int i = 0; i < times; ++i) {
            QTest::mouseClick(static_cast<QPushButton*>(child(arrow)), Qt::LeftButton);
            seen.push_back(carousel.currentIndex());
        }
        return seen;
    }

    zvCenterPictureWidget carousel;
};

TEST_F(CarouselTest, StartsOnTheClassicCompanionsFirstPictureWithArrowsHidden)
{
    EXPECT_EQ(carousel.size(), QSize(400, 264));
    EXPECT_EQ(carousel.windowTitle(), "zvCenterPictureWidget");
    EXPECT_EQ(carousel.currentIndex(), 0);
    EXPECT_EQ(shownPicture(0), 0);
    EXPECT_EQ(highlights(), "100");
    EXPECT_TRUE(child("button_left")->isHidden());
    EXPECT_TRUE(child("button_right")->isHidden());
    EXPECT_EQ(child("button_left")->cursor().shape(), Qt::PointingHandCursor);
    EXPECT_EQ(child("label_switch_selected_3")->geometry(), QRect(225, 246, 18, 8));
}

TEST_F(CarouselTest, FormGeometryAndStackingFromPictureUpToHighlights)
{
    const struct
    {
        const char* name;
        QRect geometry;
    } objects[] = {{"label_picture", {0, 0, 400, 264}},           {"button_left", {0, 101, 16, 62}},
                   {"button_right", {384, 101, 16, 62}},          {"label_switchpoint", {189, 246, 8, 8}},
                   {"label_switchpoint_2", {211, 246, 8, 8}},     {"label_switchpoint_3", {234, 246, 8, 8}},
                   {"label_switch_selected", {179, 246, 18, 8}},  {"label_switch_selected_2", {202, 246, 18, 8}},
                   {"label_switch_selected_3", {225, 246, 18, 8}}};
    QStringList expectedOrder;
    for (const auto& o : objects) {
        ASSERT_NE(child(o.name), nullptr) << o.name;
        EXPECT_EQ(child(o.name)->geometry(), o.geometry) << o.name;
        expectedOrder << o.name;
    }
    // Children are painted in list order: the last lies on top.
    QStringList order;
    for (QObject* o : carousel.children())
        if (o->isWidgetType())
            order << o->objectName();
    EXPECT_EQ(order, expectedOrder);
    EXPECT_EQ(child("button_right")->cursor().shape(), Qt::PointingHandCursor);
    for (const QLabel* label : carousel.findChildren<QLabel*>())
        EXPECT_TRUE(label->text().isEmpty()) << label->objectName().toStdString();
    EXPECT_EQ(carousel.objectName(), "zvCenterPictureWidget");
}

TEST_F(CarouselTest, ThreePicturesCycleBothWays)
{
    carousel.setLiveTool(kZvToolName);
    // Buttons take clicks only when shown.
    carousel.show();
    child("button_left")->show();
    child("button_right")->show();
    EXPECT_EQ(step("button_right", 4), (std::vector<int>{1, 2, 0, 1}));
    EXPECT_EQ(shownPicture(0), 1);
    EXPECT_EQ(highlights(), "010");
    EXPECT_EQ(step("button_left", 4), (std::vector<int>{0, 2, 1, 0}));
    EXPECT_EQ(highlights(), "100");
}

TEST_F(CarouselTest, TwoPicturesHideTheThirdMarkerAndWrapOverTwo)
{
    carousel.show();
    child("button_left")->show();
    child("button_right")->show();
    carousel.setLiveTool(kObsStudioToolName);
    EXPECT_TRUE(child("label_switchpoint_3")->isHidden());
    EXPECT_EQ(shownPicture(3), 0);
    EXPECT_EQ(step("button_right", 3), (std::vector<int>{1, 0, 1}));
    EXPECT_EQ(shownPicture(3), 1);
    EXPECT_EQ(highlights(), "010");
    // Left from the first picture goes to the last that exists.
    EXPECT_EQ(step("button_left", 3), (std::vector<int>{0, 1, 0}));
    EXPECT_EQ(highlights(), "100");

    carousel.setLiveTool(kZvToolName);
    EXPECT_FALSE(child("label_switchpoint_3")->isHidden());
}

TEST_F(CarouselTest, AnUnknownToolKeepsThePicturesButGoesBackToTheFirst)
{
    carousel.show();
    child("button_right")->show();
    carousel.setLiveTool(kObsClassicToolName);
    step("button_right", 1);
    carousel.setLiveTool("Other Tool");
    EXPECT_EQ(carousel.currentIndex(), 0);
    EXPECT_EQ(shownPicture(2), 0);
    EXPECT_TRUE(child("label_switchpoint_3")->isHidden());
    carousel.setLiveTool(kZvShowToolName);
    EXPECT_EQ(shownPicture(1), 0);
}

TEST_F(CarouselTest, ArrowsShowWhileTheMouseIsOverTheWidgetOrAnArrow)
{
    QWidget page;
    page.resize(600, 400);
    zvCenterPictureWidget* inner = new zvCenterPictureWidget(&page);
    inner->move(30, 30);
    page.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&page));
    QWindow* window = page.windowHandle();
    QWidget* left = inner->findChild<QWidget*>("button_left");
    QWidget* right = inner->findChild<QWidget*>("button_right");

    QTest::mouseMove(window, QPoint(5, 5));
    QTest::mouseMove(window, QPoint(230, 160));
    EXPECT_TRUE(left->isVisible() && right->isVisible());
    QTest::mouseMove(window, QPoint(30 + 8, 30 + 130)); // onto the left arrow
    EXPECT_TRUE(left->isVisible() && right->isVisible());
    QTest::mouseMove(window, QPoint(550, 350));
    EXPECT_FALSE(left->isVisible() || right->isVisible());
}

} // namespace
