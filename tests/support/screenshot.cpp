#include "screenshot.h"

#include <QDir>
#include <QImage>
#include <QPixmap>
#include <QWidget>
#include <gtest/gtest.h>

namespace zavmo::test {

QString galleryDir()
{
    QString dir = qEnvironmentVariable("ZAVMO_GALLERY_DIR");
    if (dir.isEmpty())
        dir = qEnvironmentVariable("ZAVMO_BUILD_DIR") + QStringLiteral("/gallery");
    QDir().mkpath(dir);
    return dir;
}

void saveScreenshot(QWidget& w, const QString& name)
{
    w.ensurePolished();
    const QImage image = w.grab().toImage();
    ASSERT_FALSE(image.isNull()) << name.toStdString();
    EXPECT_TRUE(image.save(QDir(galleryDir()).filePath(name))) << name.toStdString();
    const QRgb first = image.pixel(image.width() / 2, image.height() / 2);
    bool varied = false;
    for (int y = 0; y < image.height() && !varied; y += 3)
        for (int x = 0; x < image.width() && !varied; x += 3)
            varied = image.pixel(x, y) != first;
    EXPECT_TRUE(varied) << name.toStdString() << " is one flat colour";
}

} // namespace zavmo::test
