// GoogleTest entry point for tests of Qt code: the tests run inside a Qt
// application object, as the code under test expects.
#include <gtest/gtest.h>

#ifdef ZAVMO_TEST_GUI
#include <QApplication>
using TestApplication = QApplication;
#else
#include <QCoreApplication>
using TestApplication = QCoreApplication;
#endif

int main(int argc, char** argv)
{
    TestApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
