// The install folder rule the three install dialogs share, and the install
// path dialog built on it: each tool type's look and configured folder, what
// confirm stores, what it refuses, the web link, and what it looks like.

#include "core/appconfig.h"
#include "core/serverurltable.h"
#include "core/stringconstants.h"
#include "core/systemutils.h"
#include "ui/install/installdialogs.h"
#include "ui/install/zvinstallwidget.h"
#include "ui/mainwindow/widgets/mainwindowlink.h"

#include "logic_support.h"
#include "modalresponder.h"
#include "screenshot.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QTimer>
#include <gtest/gtest.h>

using installdialogs::installFolderFor;
using zavmo::test::ModalResponder;

namespace {

TEST(InstallFolderRule, NormalisesAndAddsTheSubFolderOnlyToAnotherFolder)
{
    const QString configured = "/opt/x/tools/obs-studio";
    // Typed again, with either separator and trailing ones: kept as it is.
    EXPECT_EQ(installFolderFor("/opt/x/tools/obs-studio", configured, "obs-studio"), configured);
    EXPECT_EQ(installFolderFor("\\opt\\x\\tools\\obs-studio\\", configured, "obs-studio"), configured);
    EXPECT_EQ(installFolderFor("/opt/x/tools/obs-studio///", configured, "obs-studio"), configured);
    // Any other folder gets the sub-folder, also one differing only in case.
    EXPECT_EQ(installFolderFor("/opt/x/tools", configured, "obs-studio"), "/opt/x/tools/obs-studio");
    EXPECT_EQ(installFolderFor("/opt/live//", configured, "obs-studio"), "/opt/live/obs-studio");
    EXPECT_EQ(installFolderFor("/OPT/x/tools/obs-studio", configured, "obs-studio"),
              "/OPT/x/tools/obs-studio/obs-studio");
    // A configured folder with a trailing separator never equals a typed one.
    EXPECT_EQ(installFolderFor("/opt/a", "/opt/a/", "ZVTool"), "/opt/a/ZVTool");
    EXPECT_EQ(installFolderFor("C:\\Tools\\", "/elsewhere", "ZVTool"), "C:/Tools/ZVTool");
    // Nothing but separators is refused rather than becoming "/<sub-folder>".
    for (const QString& empty : {QString(), QStringLiteral("/"), QStringLiteral("\\\\"), QStringLiteral("//")})
        EXPECT_TRUE(installFolderFor(empty, configured, "obs-studio").isEmpty()) << empty.toStdString();
    EXPECT_EQ(installdialogs::installSubFolder(kZvToolName), "ZVTool");
    EXPECT_EQ(installdialogs::installSubFolder(kZvShowToolName), "ZVShowTool");
    EXPECT_EQ(installdialogs::installSubFolder(kObsClassicToolName), "OBS");
    EXPECT_EQ(installdialogs::installSubFolder(kObsStudioToolName), "obs-studio");
    EXPECT_TRUE(installdialogs::installSubFolder("other").isEmpty());
}

class InstallPathDialogTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        config.setZvToolInstallPath(dir / "tools/ZVTool");
        config.setZvShowInstallPath(dir / "tools/ZVShowTool");
        config.setObsStudioInstallPath(dir / "tools/obs-studio");
        link->config = &config;
    }

    static QLineEdit* field(QWidget& d) { return d.findChild<QLineEdit*>("ledit_installPath"); }
    static QLabel* label(QWidget& d, const char* name) { return d.findChild<QLabel*>(name); }
    static void confirm(QWidget& d) { d.findChild<QPushButton*>("button_confirmInstall")->click(); }
    // exec() bounded, after `act` has run inside it.
    static int run(QDialog& d, const std::function<void()>& act)
    {
        QTimer::singleShot(0, &d, act);
        QTimer::singleShot(5000, &d, [&d] { d.done(-1); });
        return d.exec();
    }

    logictest::TestFolder dir;
    AppConfig config;
    ScopedMainWindowLink link;
};

TEST_F(InstallPathDialogTest, EachToolTypeHasItsLookAndConfiguredFolder)
{
    struct Case
    {
        int type;
        QString title;
        bool link;
        QString sheet;
        QString path;
        const char* screenshot;
    };
    const QList<Case> cases = {
        {0, kInstallZvToolText, false, ":/Qss/ZavmoWidgetQss.qss", config.getZvToolInstallPath(),
         "install_path_zvtool.png"},
        {1, kInstallZvToolText, false, ":/Qss/ZavmoWidgetQss.qss", config.getZvShowInstallPath(),
         "install_path_zvshow.png"},
        {2, kInstallObsText, true, ":/Qss/OBSWidgetQss.qss", config.getObsInstallPath(),
         "install_path_obs_classic.png"},
        {3, kInstallObsText, true, ":/Qss/OBSWidgetQss.qss", config.getObsStudioInstallPath(),
         "install_path_obs_studio.png"},
    };
    for (const Case& c : cases) {
        zvInstallWidget d;
        EXPECT_TRUE(d.styleSheet().isEmpty()); // nothing before the type
        d.setToolType(c.type);
        d.show();
        EXPECT_EQ(d.size(), QSize(410, 270));
        EXPECT_TRUE(d.property("CanMove").toBool());
        EXPECT_EQ(d.property("TitleHeight").toInt(), 142);
        EXPECT_EQ(d.styleSheet(), readFileText(c.sheet));
        EXPECT_FALSE(d.styleSheet().isEmpty());
        EXPECT_EQ(label(d, "label_install")->text(), c.title);
        EXPECT_EQ(!label(d, "label_OBSurl")->isHidden(), c.link);
        if (c.link) {
            EXPECT_EQ(label(d, "label_OBSurl")->text(), kVisitObsSiteText);
        }
        EXPECT_EQ(field(d)->text(), c.path);
        EXPECT_EQ(field(d)->cursorPosition(), 0);
        zavmo::test::saveScreenshot(d, c.screenshot);
    }
    zvInstallWidget other;
    other.setToolType(7);
    EXPECT_TRUE(other.styleSheet().isEmpty());
    EXPECT_TRUE(field(other)->text().isEmpty());
}

TEST_F(InstallPathDialogTest, ConfirmStoresTheFolderItMade)
{
    // The configured folder, typed with trailing backslashes: no sub-folder.
    {
        zvInstallWidget d;
        d.setToolType(3);
        const QString configured = config.getObsStudioInstallPath();
        EXPECT_EQ(run(d,
                      [&] {
                          field(d)->setText(QString(configured).replace('/', '\\') + "\\\\");
                          confirm(d);
                      }),
                  QDialog::Accepted);
        EXPECT_EQ(config.getObsStudioInstallPath(), configured);
        EXPECT_TRUE(QDir(configured).exists());
    }
    // Its parent: the tool's own folder goes below it.
    {
        zvInstallWidget d;
        d.setToolType(0);
        EXPECT_EQ(run(d,
                      [&] {
                          field(d)->setText(dir / "tools");
                          confirm(d);
                      }),
                  QDialog::Accepted);
        EXPECT_EQ(config.getZvToolInstallPath(), dir / "tools/ZVTool");
        EXPECT_TRUE(QDir(dir / "tools/ZVTool").exists());
    }
    {
        zvInstallWidget d;
        d.setToolType(1);
        EXPECT_EQ(run(d,
                      [&] {
                          field(d)->setText(dir / "show/");
                          confirm(d);
                      }),
                  QDialog::Accepted);
        EXPECT_EQ(config.getZvShowInstallPath(), dir / "show/ZVShowTool");
        // On disk at once, not at the program's end.
        EXPECT_EQ(logictest::storedSetting("ZVShow/installPath").toString(), dir / "show/ZVShowTool");
    }
}

TEST_F(InstallPathDialogTest, AnUnusableFolderIsRefusedWithTheTextAsTyped)
{
    const QString before = config.getZvToolInstallPath();
    for (const QString& typed : {QString(), QStringLiteral("/"), QStringLiteral("tools/ZV"),
                                 QStringLiteral("//server/share"), QStringLiteral("/dev/null/x")}) {
        ModalResponder responder;
        responder.clickButton("button_confirm");
        zvInstallWidget d;
        d.setToolType(0);
        d.show();
        field(d)->setText(typed);
        confirm(d);
        EXPECT_TRUE(d.isVisible()) << typed.toStdString();
        ASSERT_EQ(responder.records().size(), 1) << typed.toStdString();
        EXPECT_EQ(responder.records()[0].className, "zvMsgTipWidget");
        EXPECT_TRUE(responder.records()[0].texts.contains(kInstallDirMissingText.arg(typed))) << typed.toStdString();
        EXPECT_FALSE(responder.records()[0].texts.contains(QStringLiteral("取消")));
        EXPECT_EQ(config.getZvToolInstallPath(), before);
    }
    // Without a type no folder is accepted.
    ModalResponder responder;
    responder.clickButton("button_confirm");
    zvInstallWidget d;
    d.setToolType(9);
    d.show();
    field(d)->setText(dir / "any");
    confirm(d);
    EXPECT_TRUE(d.isVisible());
    EXPECT_FALSE(QDir(dir / "any").exists());
}

TEST_F(InstallPathDialogTest, CloseRejectsAndTheLinkOpensTheObsSite)
{
    zvInstallWidget d;
    d.setToolType(2);
    EXPECT_EQ(run(d,
                  [&] {
                      QLabel* link = label(d, "label_OBSurl");
                      QMouseEvent press(QEvent::MouseButtonPress, QPointF(2, 2), link->mapToGlobal(QPoint(2, 2)),
                                        Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
                      QApplication::sendEvent(link, &press);
                      d.findChild<QPushButton*>("button_close")->click();
                  }),
              QDialog::Rejected);
    QFile record(qEnvironmentVariable("ZAVMO_SHELL_RECORD"));
    ASSERT_TRUE(record.open(QIODevice::ReadOnly));
    EXPECT_TRUE(record.readAll().contains(QByteArray("open ") + obsWebsiteUrl()));
    EXPECT_EQ(config.getObsInstallPath(), AppConfig().getObsInstallPath());
}

TEST_F(InstallPathDialogTest, TheFolderChooserCancelledChangesNothing)
{
    ModalResponder responder;
    responder.pressKey(Qt::Key_Escape);
    zvInstallWidget d;
    d.setToolType(0);
    d.show();
    const QString before = field(d)->text();
    d.findChild<QPushButton*>("button_chosePath")->click();
    ASSERT_EQ(responder.records().size(), 1);
    EXPECT_EQ(responder.records()[0].windowTitle, kInstallDirText);
    EXPECT_EQ(field(d)->text(), before);
}

} // namespace
