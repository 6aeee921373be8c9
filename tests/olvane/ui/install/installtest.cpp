#include "installtest.h"

#include "core/deployment.h"
#include "core/pathlayout.h"
#include "core/serverurltable.h"
#include "logic/zvlogicfw.h"
#include "ui/mainwindow/mainwindowlink.h"

#include "faketools.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QUrl>

#include <fstream>

std::unique_ptr<zavmo::test::Simulator> InstallDialogTest::sim;
UILogicListener* InstallDialogTest::listener = nullptr;
AppConfig* InstallDialogTest::config = nullptr;

namespace {

// Frees what the suites share once every test has run.
class SharedWorld : public ::testing::Environment
{
public:
    void TearDown() override
    {
        mainWindowLink() = MainWindowLink{};
        ZvLogicFW::shutdownInstance();
        delete InstallDialogTest::listener;
        InstallDialogTest::listener = nullptr;
        delete InstallDialogTest::config;
        InstallDialogTest::config = nullptr;
        InstallDialogTest::sim.reset();
    }
};

} // namespace

void InstallDialogTest::SetUpTestSuite()
{
    if (sim)
        return;
    ::testing::AddGlobalTestEnvironment(new SharedWorld);
    sim = std::make_unique<zavmo::test::Simulator>();
    sim->setEnvironment();
    ASSERT_TRUE(deployment::installTrustedCertificates());
    qputenv("ZAVMO_FAKE_TOOL_DELAY_MS", "20");
    ZvLogicFW* hub = ZvLogicFW::instance();
    ASSERT_TRUE(hub->initialize(0));
    listener = new UILogicListener;
    hub->setLogicListener(listener);
    config = new AppConfig;
    mainWindowLink().listener = listener;
    mainWindowLink().config = config;
}

void InstallDialogTest::SetUp()
{
    qputenv("ZAVMO_WINDOWS_ROOT", (dir / "windows").toUtf8());
    QFile::remove(qEnvironmentVariable("ZAVMO_REGISTRY"));
    QDir(getRepairDir()).removeRecursively();
    QDir(cdnFolder()).removeRecursively();
    sim->reset();
    config->setEnvironmentRepairIgnore(false);
}

void InstallDialogTest::TearDown()
{
    qunsetenv("ZAVMO_WINDOWS_ROOT");
}

QString InstallDialogTest::cdnPath()
{
    return QUrl(QString::fromUtf8(obsInstallerUrl())).adjusted(QUrl::RemoveFilename).path().mid(1).chopped(1);
}

QString InstallDialogTest::cdnFolder()
{
    return QString::fromStdString(sim->filesRoot()) + "/" + cdnPath();
}

void InstallDialogTest::serve(const QString& file, const std::string& program)
{
    QDir().mkpath(cdnFolder());
    const QString target = cdnFolder() + "/" + file;
    QFile::remove(target);
    ASSERT_TRUE(QFile::copy(QString::fromStdString(program), target)) << program;
}

void InstallDialogTest::unserve(const QString& file)
{
    QFile::remove(cdnFolder() + "/" + file);
}

int InstallDialogTest::downloadsOf(const QString& file)
{
    return requestsOf(QStringLiteral("/%1/%2").arg(cdnPath(), file));
}

void InstallDialogTest::serveAt(const QString& url, const std::string& program)
{
    const QString target = QString::fromStdString(sim->filesRoot()) + QUrl(url).path();
    ASSERT_TRUE(QDir().mkpath(QFileInfo(target).path())) << target.toStdString();
    QFile::remove(target);
    ASSERT_TRUE(QFile::copy(QString::fromStdString(program), target)) << program;
}

int InstallDialogTest::requestsOf(const QString& url)
{
    std::ifstream in(sim->requestsFile());
    const std::string needle = QUrl(url).path().toStdString();
    int count = 0;
    for (std::string line; std::getline(in, line);)
        count += line.find(needle) != std::string::npos ? 1 : 0;
    return count;
}
