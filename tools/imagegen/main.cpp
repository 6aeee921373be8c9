// zavmo-imagegen --out DIR [STYLE_SHEET...]
// Draws Olvane's images into DIR/Resources and writes DIR/olvane.qrc, which
// bundles them with the given style sheets.
#include "drawing.h"

#include <QGuiApplication>

#include <cstdio>

int main(int argc, char** argv)
{
    // A build step: never needs a display.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    if (args.size() < 2 || args.first() != QLatin1String("--out")) {
        std::fprintf(stderr, "usage: zavmo-imagegen --out DIR [STYLE_SHEET...]\n");
        return 2;
    }
    const QString outDir = args.at(1);
    QString error;
    if (!zavmo::imagegen::writeBundle(outDir, args.mid(2), &error)) {
        std::fprintf(stderr, "zavmo-imagegen: %s\n", qPrintable(error));
        return 1;
    }
    return 0;
}
