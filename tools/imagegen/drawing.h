#pragma once
// Draws one ImageSpec with QPainter (needs a QGuiApplication; the offscreen
// platform will do) and writes the bundle.

#include "imagelist.h"

#include <QImage>
#include <QString>
#include <QStringList>

namespace zavmo::imagegen {

// The image at its listed size, 32-bit premultiplied ARGB.
QImage drawImage(const ImageSpec& image);

// Writes every image below outDir/Resources/ and outDir/olvane.qrc listing
// them as ":/Resources/<name>" and each style sheet as ":/Qss/<file name>".
// Returns false (with a reason in *error) when a file cannot be written.
bool writeBundle(const QString& outDir, const QStringList& styleSheets, QString* error);

} // namespace zavmo::imagegen
