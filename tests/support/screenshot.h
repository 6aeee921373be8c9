#pragma once
// Offscreen screenshots for people to look at: written to $ZAVMO_GALLERY_DIR,
// by default gallery/ in the build folder. GoogleTest assertions check that
// the picture was written and is not one flat colour.

#include <QString>

class QWidget;

namespace zavmo::test {

QString galleryDir();
void saveScreenshot(QWidget& widget, const QString& fileName);

} // namespace zavmo::test
