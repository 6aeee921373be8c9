// The round head button: what it paints and where it takes clicks.
#include "ui/mainwindow/widgets/roundheadbutton.h"

#include "mouse.h"

#include <QBitmap>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

using namespace zavmo::test;

namespace {

// The button's own painting only (no window background).
QImage rendered(RoundHeadButton& b)
{
    QImage image(b.size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    b.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    return image;
}

bool allTransparent(const QImage& image)
{
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (qAlpha(image.pixel(x, y)) != 0)
                return false;
    return true;
}

TEST(RoundHeadButton, EmptyOrBrokenPathPaintsNothing)
{
    RoundHeadButton b;
    b.setText("text is never painted");
    b.setStyleSheet("background: red; border: 2px solid blue;");
    b.resize(30, 30);
    EXPECT_TRUE(allTransparent(rendered(b)));
    b.setHeadImage("/no/such/head.png");
    EXPECT_EQ(b.headImage(), "/no/such/head.png");
    EXPECT_TRUE(allTransparent(rendered(b)));
}

TEST(RoundHeadButton, PictureIsStretchedToTheButtonNotCropped)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    // 40 x 20: left half red, right half blue.
    QImage head(40, 20, QImage::Format_RGB32);
    head.fill(Qt::red);
    for (int y = 0; y < 20; ++y)
        for (int x = 20; x < 40; ++x)
            head.setPixel(x, y, qRgb(0, 0, 255));
    const QString path = dir.filePath("head.jpg.png"); // format found from the content
    ASSERT_TRUE(head.save(path, "PNG"));

    RoundHeadButton b;
    b.resize(30, 30);
    b.setHeadImage(path);
    const QImage image = rendered(b);
    EXPECT_EQ(image.pixelColor(8, 15), QColor(Qt::red));
    EXPECT_EQ(image.pixelColor(22, 15), QColor(Qt::blue));
    // Stretched over the full height.
    EXPECT_EQ(image.pixelColor(8, 3), QColor(Qt::red));
    EXPECT_EQ(image.pixelColor(22, 27), QColor(Qt::blue));

    b.setHeadImage(":/Resources/icon_login_user.png");
    EXPECT_FALSE(allTransparent(rendered(b)));
}

TEST(RoundHeadButton, MaskIsAnEllipseThatFollowsTheSize)
{
    QWidget bar;
    bar.resize(120, 60);
    auto* b = new RoundHeadButton(&bar);
    b->setGeometry(10, 10, 40, 40);
    b->setHeadImage(":/Resources/icon_login_user.png");
    bar.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&bar));
    b->repaint();
    EXPECT_TRUE(b->mask().contains(QPoint(20, 20)));
    EXPECT_FALSE(b->mask().contains(QPoint(1, 1)));
    EXPECT_EQ(b->mask().boundingRect(), QRect(0, 0, 40, 40));

    QSignalSpy clicked(b, &QPushButton::clicked);
    clickThroughWindow(b, QPoint(2, 2)); // a corner, outside the circle
    EXPECT_EQ(clicked.count(), 0);
    clickThroughWindow(b, QPoint(20, 20));
    EXPECT_EQ(clicked.count(), 1);

    b->resize(60, 20);
    b->repaint();
    EXPECT_EQ(b->mask().boundingRect(), QRect(0, 0, 60, 20));
    EXPECT_TRUE(b->mask().contains(QPoint(30, 10)));
    EXPECT_FALSE(b->mask().contains(QPoint(2, 2)));
}

} // namespace
