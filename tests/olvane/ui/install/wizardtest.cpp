#include "wizardtest.h"

#include "core/pathlayout.h"
#include "core/stringconstants.h"
#include "logic/zvfiledownloader.h"
#include "logic/zvlivetoolsmanager.h"
#include "logic/zvlogicfw.h"
#include "ui/mainwindow/widgets/mainwindowlink.h"

#include "run_program.h"

#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QMouseEvent>
#include <QProgressBar>
#include <QPushButton>

using logictest::settle;
using logictest::waitFor;

namespace {

const char* const kPages[] = {"page", "page_2", "page_3", "page_4", "page_5"};

QStringList toolNames()
{
    return {kZvToolName, kZvShowToolName, kObsClassicToolName, kObsStudioToolName};
}

QString installerName(const QString& toolName)
{
    const QString url = WizardTest::installerUrl(toolName);
    return url.mid(url.lastIndexOf('/') + 1);
}

} // namespace

void WizardTest::SetUp()
{
    InstallDialogTest::SetUp();
    QDir(getDownloadDir()).removeRecursively();
    // The static CDN's folder is emptied by the base; the release tree here.
    QDir(QString::fromStdString(sim->filesRoot()) + "/release").removeRecursively();
    config->setZvToolInstallPath(dir / "tools/ZVTool");
    config->setZvShowInstallPath(dir / "tools/ZVShowTool");
    config->setObsStudioInstallPath(dir / "tools/obs-studio");
    // The tools manager asks the release service for ZVTool's address at
    // start; serving must follow the address it has settled on.
    ASSERT_TRUE(waitFor([] { return installerUrl(kZvToolName).contains("/release/pc/"); }, 5000));
    // The wizards' record of the suite's listener; each test starts with a fresh one.
    record.reset(ZvInstallAfterUninstall::forListener(listener));
}

void WizardTest::TearDown()
{
    for (const QString& tool : toolNames())
        ZvLogicFW::instance()->getFileDownloaderMgr()->cancelDownload(tool);
    // A task left running would be resumed by the next test's wizard.
    EXPECT_TRUE(waitFor(
        [&] {
            for (const QString& tool : toolNames())
                if (manager()->isUnInstalling(tool) || manager()->getInstallProgress(tool) >= 0)
                    return false;
            return true;
        },
        10000));
    settle(30); // its last events
    for (const auto& r : responder.records())
        EXPECT_TRUE(r.expected()) << "unexpected prompt: " << r.texts.join(" | ").toStdString();
    record.reset();
    fake.killAll();
    sim->reset();
    InstallDialogTest::TearDown();
}

QString WizardTest::installerUrl(const QString& toolName)
{
    return manager()->getDownloadUrl(toolName);
}

ZvLiveToolsManager* WizardTest::manager()
{
    return ZvLogicFW::instance()->getLiveToolsManager();
}

void WizardTest::serveInstaller(const QString& toolName)
{
    serveAt(installerUrl(toolName), zavmo::test::FakeTools::program());
}

void WizardTest::setInstallerMode(const std::string& mode)
{
    sim->setMode("static_cdn", mode);
    sim->setMode("release_files", mode);
}

void WizardTest::preinstall(const QString& toolName, const QString& folder)
{
    const std::string installer =
        zavmo::test::FakeTools::place((dir / "preinstall").toStdString(), installerName(toolName).toStdString());
    const auto result = zavmo::test::runProgram({installer, "/S", "/D=" + folder.toStdString()}, {}, 10000);
    ASSERT_EQ(result.exitCode, 0) << result.output;
    ASSERT_EQ(manager()->getAppInstallStatus(toolName), 1);
}

void WizardTest::startTool(const std::string& exe, const QString& folder)
{
    std::string error;
    const std::string path = folder.toStdString() + "/" + exe;
    ASSERT_GT(zavmo::test::startInBackground({path}, (dir / "tool.log").toStdString(), error), 0) << error;
    ASSERT_EQ(fake.waitForStarts(exe, 1, 5000).size(), 1u);
}

int WizardTest::page(QWidget* wizard)
{
    int found = -1;
    for (int i = 0; i < 5; ++i) {
        if (!shown(wizard, kPages[i]))
            continue;
        if (found >= 0)
            return -1;
        found = i;
    }
    return found;
}

bool WizardTest::waitForPage(QWidget* wizard, int index, int timeoutMs)
{
    return waitFor([&] { return page(wizard) == index; }, timeoutMs);
}

bool WizardTest::shown(QWidget* d, const char* name)
{
    return !child<QWidget>(d, name)->isHidden();
}

void WizardTest::click(QWidget* d, const char* button)
{
    child<QPushButton>(d, button)->click();
}

void WizardTest::press(QWidget* d, const char* label)
{
    QWidget* w = child<QWidget>(d, label);
    QMouseEvent event(QEvent::MouseButtonPress, QPointF(5, 5), w->mapToGlobal(QPoint(5, 5)), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(w, &event);
}

void WizardTest::expectClosedAfterFailure(QWidget* d, const QString& text, int count)
{
    ASSERT_TRUE(waitFor([&] { return !d->isVisible(); }, 10000));
    ASSERT_EQ(responder.records().size(), count);
    const auto& last = responder.records().last();
    EXPECT_EQ(last.className, "zvMsgTipWidget");
    EXPECT_TRUE(last.texts.contains(text)) << last.texts.join(" | ").toStdString();
    EXPECT_TRUE(last.texts.contains(QStringLiteral("取消")));
}

int WizardTest::bar(QWidget* d, const char* name)
{
    return child<QProgressBar>(d, name)->value();
}

QList<int> WizardTest::eventTypes(const std::string& name)
{
    QList<int> types;
    for (const Json::Value& e : sim->requests("pelk2"))
        if (e["decoded"]["ac"].asString() == name)
            types.append(e["decoded"]["e"]["type"].asInt());
    return types;
}

bool WizardTest::waitForStarts(const std::string& name, size_t count, int timeoutMs) const
{
    return waitFor([&] { return fake.waitForStarts(name, count, 0).size() >= count; }, timeoutMs);
}

std::vector<std::string> WizardTest::startedNames() const
{
    std::vector<std::string> names;
    for (const auto& s : fake.starts())
        names.push_back(s.name);
    return names;
}
