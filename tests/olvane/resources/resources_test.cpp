// The resource bundle: every image of the list is in it at its size, every
// ":/..." that Olvane's code, forms and style sheets name exists, and the
// style sheets parse.
#include "core/stringconstants.h"
#include "core/systemutils.h"
#include "drawing.h"
#include "imagelist.h"
#include "resourcescan.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QImage>
#include <QSet>
#include <QTemporaryDir>
#include <QWidget>
#include <gtest/gtest.h>

namespace {

QString sourceDir()
{
    return qEnvironmentVariable("ZAVMO_SOURCE_DIR");
}

const QStringList kSourceSuffixes{"cpp", "h", "ui", "qss"};

TEST(ResourceBundle, HoldsEveryListedImageAtItsSize)
{
    QSet<QString> names;
    for (const auto& entry : zavmo::imagegen::allImages()) {
        const QString name = QString::fromUtf8(entry.name);
        EXPECT_FALSE(names.contains(name)) << "listed twice: " << name.toStdString();
        names.insert(name);
        const QImage image(QStringLiteral(":/Resources/") + name);
        ASSERT_FALSE(image.isNull()) << name.toStdString();
        EXPECT_EQ(image.size(), QSize(entry.width, entry.height)) << name.toStdString();
    }
    // Nothing in the bundle that the list does not know.
    QDirIterator it(QStringLiteral(":/Resources"), QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next().mid(QStringLiteral(":/Resources/").size());
        EXPECT_TRUE(names.contains(path)) << path.toStdString();
    }
    EXPECT_GE(names.size(), 100);
}

TEST(ResourceBundle, EveryResourceNamedInOlvaneExists)
{
    ASSERT_FALSE(sourceDir().isEmpty());
    const auto named = zavmo::test::namedResources(sourceDir() + QStringLiteral("/olvane"), kSourceSuffixes);
    // The shared sheets name most images; the carousel pictures come from code.
    EXPECT_TRUE(named.contains(QStringLiteral(":/Resources/button_close.png")));
    EXPECT_TRUE(named.contains(QStringLiteral(":/Resources/zavmo_classic_3.png")));
    EXPECT_TRUE(named.contains(QStringLiteral(":/Qss/MainWidgetQss.qss")));
    for (auto it = named.cbegin(); it != named.cend(); ++it)
        EXPECT_TRUE(QFile::exists(it.key()))
            << it.key().toStdString() << " named at " << it.value().join(", ").toStdString();
}

TEST(ResourceBundle, ScanFindsQuotedUiAndStyleSheetNames)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    auto write = [&](const QString& name, const QByteArray& text) {
        QFile f(dir.filePath(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(text);
    };
    write("a.cpp", "QPixmap p(\":/Resources/in_code.png\"); // C:/not/a/resource\n");
    write("b.qss", "QLabel { background-image: url(:/Resources/in_sheet.png); }\n"
                   "QPushButton { border-image: url( :/Resources/Login/spaced.png ) 0 72 0 0; }\n"
                   "QLabel#quoted { image: url(':/Resources/single_quoted.png'); }\n");
    write("c.ui", "<iconset><normaloff>:/Resources/in_form.png</normaloff></iconset>\n");
    write("d.txt", "\":/Resources/ignored.png\"\n");
    const auto named = zavmo::test::namedResources(dir.path(), kSourceSuffixes);
    EXPECT_EQ(named.keys(),
              (QStringList{":/Resources/Login/spaced.png", ":/Resources/in_code.png", ":/Resources/in_form.png",
                           ":/Resources/in_sheet.png", ":/Resources/single_quoted.png"}));
    EXPECT_EQ(named.value(":/Resources/Login/spaced.png"), QStringList{"b.qss:2"});
    EXPECT_FALSE(QFile::exists(":/Resources/in_sheet.png"));
}

TEST(ImageGenerator, ReportsWhatItCannotWrite)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QFile blocker(dir.filePath("file"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    QString error;
    // A regular file where the output folder should be.
    EXPECT_FALSE(zavmo::imagegen::writeBundle(dir.filePath("file/out"), {}, &error));
    EXPECT_FALSE(error.isEmpty());
    error.clear();
    EXPECT_FALSE(zavmo::imagegen::writeBundle(dir.filePath("out"), {dir.filePath("missing.qss")}, &error));
    EXPECT_TRUE(error.contains("missing.qss")) << error.toStdString();
    EXPECT_FALSE(QFile::exists(dir.filePath("out/olvane.qrc"))) << "no .qrc naming a missing sheet";
}

TEST(ImageGenerator, WritesAQrcNamingEveryImageAndSheet)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QFile sheet(dir.filePath("Some.qss"));
    ASSERT_TRUE(sheet.open(QIODevice::WriteOnly));
    sheet.close();
    QString error;
    ASSERT_TRUE(zavmo::imagegen::writeBundle(dir.filePath("out"), {sheet.fileName()}, &error)) << error.toStdString();
    QFile qrc(dir.filePath("out/olvane.qrc"));
    ASSERT_TRUE(qrc.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(qrc.readAll());
    EXPECT_TRUE(text.contains("alias=\"Qss/Some.qss\""));
    for (const auto& entry : zavmo::imagegen::allImages()) {
        const QString name = QString::fromUtf8(entry.name);
        EXPECT_TRUE(text.contains("alias=\"Resources/" + name + "\"")) << entry.name;
        EXPECT_TRUE(QFile::exists(dir.filePath("out/Resources/" + name))) << entry.name;
    }
}

// The carousel lays its position markers (y 246 to 253, x 179 to 242) over
// the bottom of the picture: there the picture must be clear, or the caption
// runs under the markers and the orange highlight vanishes on orange.
TEST(ResourceBundle, PreviewPicturesLeaveTheMarkerRowClear)
{
    int checked = 0;
    for (const auto& row : kToolPreviewImages) {
        for (const QString& path : row) {
            if (path.isEmpty())
                continue;
            const QImage image = QImage(path).convertToFormat(QImage::Format_ARGB32);
            ASSERT_EQ(image.size(), QSize(400, 264)) << path.toStdString();
            for (int y = 240; y < 264; ++y)
                for (int x = 170; x < 250; ++x)
                    ASSERT_EQ(qAlpha(image.pixel(x, y)), 0) << path.toStdString() << " at " << x << "," << y;
            // The picture itself is opaque above the strip.
            EXPECT_EQ(qAlpha(image.pixel(200, 120)), 255) << path.toStdString();
            ++checked;
        }
    }
    EXPECT_EQ(checked, 9);
}

TEST(ResourceBundle, ProgramIconLoads)
{
    const QImage icon(QStringLiteral(":/Resources/Install.ico"));
    ASSERT_FALSE(icon.isNull());
    EXPECT_EQ(icon.size(), QSize(48, 48));
}

QStringList g_warnings;
void collectWarnings(QtMsgType, const QMessageLogContext&, const QString& message)
{
    g_warnings << message;
}

// The warnings Qt gives while applying a style sheet to a widget.
QStringList styleSheetWarnings(const QString& text)
{
    g_warnings.clear();
    const QtMessageHandler previous = qInstallMessageHandler(collectWarnings);
    QWidget widget;
    widget.setStyleSheet(text);
    widget.ensurePolished();
    qInstallMessageHandler(previous);
    return g_warnings;
}

TEST(StyleSheets, ParseWithoutComplaint)
{
    ASSERT_FALSE(styleSheetWarnings(QStringLiteral("QLabel { color: #333333; ")).isEmpty())
        << "a broken sheet must be noticed";
    for (const QString& name :
         {QStringLiteral(":/Qss/MainWidgetQss.qss"), QStringLiteral(":/Qss/SystemSettingQss.qss")}) {
        const QString text = readFileText(name);
        ASSERT_FALSE(text.isEmpty()) << name.toStdString();
        const QStringList warnings = styleSheetWarnings(text);
        EXPECT_TRUE(warnings.isEmpty()) << name.toStdString() << ": " << warnings.join("; ").toStdString();
    }
}

} // namespace
