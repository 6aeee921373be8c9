#include "installtest.h"

#include "core/deployment.h"
#include "core/pathlayout.h"
#include "logic/zvlogicfw.h"
#include "ui/mainwindow/widgets/mainwindowlink.h"

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
const char* const kCdnPath = "zavmo/2018/08/a088ea2078cd92b0b8a0e78a32c5c082";
}

namespace {

// Frees what the suites share once every test has run.
class SharedWorld : public ::testing::Environment
{
public:
    void TearDown() override
    {
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
}

void InstallDialogTest::SetUp()
{
    qputenv("ZAVMO_WINDOWS_ROOT", (dir / "windows").toUtf8());
    QFile::remove(qEnvironmentVariable("ZAVMO_REGISTRY"));
    QDir(getRepairDir()).removeRecursively();
    QDir(cdnFolder()).removeRecursively();
    sim->reset();
    config->setEnvironmentRepairIgnore(false);
    link->listener = listener;
    link->config = config;
}

void InstallDialogTest::TearDown()
{
    qunsetenv("ZAVMO_WINDOWS_ROOT");
}

QString InstallDialogTest::cdnFolder()
{
    return QString::fromStdString(sim->filesRoot()) + "/" + kCdnPath;
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
    return requestsOf(QStringLiteral("/%1/%2").arg(QLatin1String(kCdnPath), file));
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
