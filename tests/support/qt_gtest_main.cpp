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

#include <dirent.h>

#include <chrono>
#include <fstream>
#include <string>
#include <thread>

namespace {

bool networkThreadsLeft()
{
    DIR* dir = ::opendir("/proc/self/task");
    if (!dir)
        return false;
    bool left = false;
    while (const dirent* entry = ::readdir(dir)) {
        std::string name;
        std::getline(std::ifstream(std::string("/proc/self/task/") + entry->d_name + "/comm"), name);
        left = left || name.rfind("QNetworkAccessM", 0) == 0;
    }
    ::closedir(dir);
    return left;
}

// A network manager's thread has finished for Qt (its manager is gone) a
// little before it has ended: it frees its OpenSSL state as it ends, and
// OpenSSL's cleanup at exit, running at the same time, would free that state
// too. Exit waits for them (2 s at most).
void waitForNetworkThreads()
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (networkThreadsLeft() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
}

} // namespace

int main(int argc, char** argv)
{
    int result = 0;
    {
        TestApplication app(argc, argv);
#ifdef ZAVMO_TEST_GUI
        // As Olvane's main does: screenshots show the program's own font.
        QFont::insertSubstitution(QStringLiteral("microsoft yahei"), QStringLiteral("WenQuanYi Micro Hei"));
#endif
        ::testing::InitGoogleTest(&argc, argv);
        result = RUN_ALL_TESTS();
    }
    waitForNetworkThreads();
    return result;
}
