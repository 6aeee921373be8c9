// GoogleTest entry point for tests of Qt code: the tests run inside a Qt
// application object, as the code under test expects.
#include <gtest/gtest.h>

#ifdef ZAVMO_TEST_GUI
#include <QApplication>
#include <QFont>
using TestApplication = QApplication;
#else
#include <QCoreApplication>
using TestApplication = QCoreApplication;
#endif

int main(int argc, char** argv)
{
    TestApplication app(argc, argv);
#ifdef ZAVMO_TEST_GUI
    // As Olvane's main does: screenshots show the program's own font.
    QFont::insertSubstitution(QStringLiteral("microsoft yahei"), QStringLiteral("WenQuanYi Micro Hei"));
#endif
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
