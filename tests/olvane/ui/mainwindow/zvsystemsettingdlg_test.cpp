// The settings dialog over the program's tools manager, with a stand-in main
// window as its host: what it shows for each live tool, which OBS files it
// takes (through the real file dialog, answered by the responder), and what
// reaches the settings in memory and on disk.
#include "ui/mainwindow/zvsystemsettingdlg.h"

#include "hubworld.h"

#include "core/pathlayout.h"
#include "core/stringconstants.h"
#include "core/systemutils.h"
#include "formcheck.h"
#include "logic_support.h"
#include "logic/zvlivetoolsmanager.h"
#include "modalresponder.h"
#include "screenshot.h"
#include "ui/mainwindow/widgets/mainwindowlink.h"
#include "ui/mainwindow/widgets/zvappquittip.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

using namespace zavmo::test;

namespace {

// The main window's part: the current tool, and the paths handed over.
class HostWindow : public QWidget, public SettingsDialogHost
{
public:
    QString getCurrentToolName() const override { return tool; }
    void updateToolPath(QString toolName, QString path) override { updates << toolName + "|" + path; }

    QString tool;
    QStringList updates;
};

// The folder each file dialog starts in, and its caption and filter.
class FileDialogWatch : public QObject
{
public:
    FileDialogWatch() { qApp->installEventFilter(this); }
    ~FileDialogWatch() override { qApp->removeEventFilter(this); }

    QStringList shown;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Show)
            if (auto* dialog = qobject_cast<QFileDialog*>(watched))
                shown << dialog->windowTitle() + "|" + dialog->directory().absolutePath() + "|" +
                             dialog->nameFilters().join(";");
        return false;
    }
};

class SettingDialogTest : public HubTest
{
protected:
    void SetUp() override
    {
        HubTest::SetUp();
        link->window = &host;
        link->settingsHost = &host;
        QDir().mkpath(getDesktopDir());
    }

    // An existing file of that name in a folder of its own.
    QString file(const QString& folder, const QString& name)
    {
        const QString path = dir / folder + "/" + name;
        QDir().mkpath(dir / folder);
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        return path;
    }

    // Presses the "找到安装位置" link, choosing `path` in the file dialog
    // (or cancelling it when empty); false when no file dialog came.
    static bool pick(zvSystemSettingDlg& dialog, const QString& path)
    {
        ModalResponder responder;
        if (path.isEmpty())
            responder.pressKey(Qt::Key_Escape);
        else
            responder.chooseFile(path);
        QTest::mousePress(child<QLabel>(dialog, "label_find_launch"), Qt::LeftButton);
        return responder.records().size() == 1 && responder.records().at(0).className == "QFileDialog" &&
               responder.records().at(0).expected();
    }


    HostWindow host;
};

TEST_F(SettingDialogTest, FormTextsGeometryAndStyle)
{
    zvSystemSettingDlg dialog;
    EXPECT_EQ(dialog.size(), QSize(410, 236));
    EXPECT_EQ(dialog.windowFlags(),
              Qt::FramelessWindowHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint | Qt::Dialog);
    EXPECT_TRUE(dialog.property("CanMove").toBool());
    EXPECT_EQ(dialog.property("TitleHeight").toInt(), 36);
    EXPECT_FALSE(dialog.styleSheet().isEmpty());
    EXPECT_EQ(dialog.styleSheet(), readFileText(":/Qss/SystemSettingQss.qss"));

    expectFormObjects(dialog, {
                                  {"widget_title_bar", "zvSystemSettingDlg", {0, 0, 410, 36}, nullptr},
                                  {"label_title", "widget_title_bar", {10, 8, 54, 20}, "设置"},
                                  {"button_close", "widget_title_bar", {383, 10, 17, 17}, ""},
                                  {"widget_OBS_set", "zvSystemSettingDlg", {0, 36, 410, 111}, nullptr},
                                  {"label_OBS_set", "widget_OBS_set", {18, 10, 71, 21}, "OBS设置："},
                                  {"label_current_launch", "widget_OBS_set", {18, 42, 54, 21}, "当前启动"},
                                  {"lineEdit_launch_path", "widget_OBS_set", {92, 40, 301, 25}, nullptr},
                                  {"label_change_launch", "widget_OBS_set", {18, 74, 111, 21}, "更改默认启动 OBS？"},
                                  {"label_find_launch", "widget_OBS_set", {135, 74, 75, 21}, "找到安装位置"},
                                  {"widget_close_set", "zvSystemSettingDlg", {0, 147, 410, 81}, nullptr},
                                  {"label_close_set", "widget_close_set", {18, 10, 91, 21}, "关闭主窗体时："},
                                  {"line_split", "widget_close_set", {18, 0, 372, 1}, nullptr},
                                  {"radioButton_close", "widget_close_set", {18, 42, 89, 21}, "退出程序"},
                                  {"radioButton_min_tray", "widget_close_set", {130, 42, 89, 21}, "最小化到托盘"},
                              });
    EXPECT_EQ(child<QLabel>(dialog, "label_title")->font().family(), "微软雅黑");
    auto* close = child<QPushButton>(dialog, "button_close");
    EXPECT_EQ(close->focusPolicy(), Qt::NoFocus);
    EXPECT_EQ(close->cursor().shape(), Qt::PointingHandCursor);
    EXPECT_EQ(close->maximumSize(), QSize(17, 17));
    EXPECT_EQ(child(dialog, "lineEdit_launch_path")->focusPolicy(), Qt::NoFocus);
    EXPECT_EQ(child(dialog, "label_find_launch")->cursor().shape(), Qt::PointingHandCursor);
    auto* line = child<QFrame>(dialog, "line_split");
    EXPECT_EQ(line->frameShape(), QFrame::HLine);
    EXPECT_EQ(line->frameShadow(), QFrame::Sunken);
    // The two close modes exclude each other.
    child<QRadioButton>(dialog, "radioButton_close")->click();
    child<QRadioButton>(dialog, "radioButton_min_tray")->click();
    EXPECT_FALSE(child<QRadioButton>(dialog, "radioButton_close")->isChecked());
}

TEST_F(SettingDialogTest, ShowsTheCurrentToolsLaunchPathAndTheStoredCloseMode)
{
    const QString obs = file("obs", "OBS.exe");
    toolsManager()->setLaunchPath(kObsClassicToolName, obs);
    const QString studio = file("studio/bin", "obs64.exe");
    toolsManager()->setLaunchPath(kObsStudioToolName, studio);

    const struct
    {
        QString tool;
        QString text;
    } cases[] = {{kObsClassicToolName, obs}, {kObsStudioToolName, studio}};
    for (const auto& c : cases) {
        host.tool = c.tool;
        zvSystemSettingDlg dialog;
        auto* edit = child<QLineEdit>(dialog, "lineEdit_launch_path");
        EXPECT_EQ(edit->text(), c.text);
        EXPECT_EQ(edit->cursorPosition(), 1);
        EXPECT_TRUE(edit->isEnabled());
        EXPECT_TRUE(child(dialog, "label_find_launch")->isEnabled());
    }

    // No launch path known: an empty field, still open to a pick.
    toolsManager()->setLaunchPath(kObsStudioToolName, QString());
    host.tool = kObsStudioToolName;
    zvSystemSettingDlg none;
    EXPECT_EQ(child<QLineEdit>(none, "lineEdit_launch_path")->text(), "");
    EXPECT_TRUE(child(none, "label_find_launch")->isEnabled());

    for (int mode : {0, 1, 7}) {
        config->setCloseMode(mode);
        zvSystemSettingDlg dialog;
        EXPECT_EQ(child<QRadioButton>(dialog, "radioButton_close")->isChecked(), mode == 0) << mode;
        EXPECT_EQ(child<QRadioButton>(dialog, "radioButton_min_tray")->isChecked(), mode != 0) << mode;
    }
}

TEST_F(SettingDialogTest, CompanionToolsNeedNoLaunchPathAndTheLinkDoesNothing)
{
    for (const QString& tool : {kZvToolName, kZvShowToolName}) {
        host.tool = tool;
        zvSystemSettingDlg dialog;
        auto* edit = child<QLineEdit>(dialog, "lineEdit_launch_path");
        EXPECT_EQ(edit->text(), kCompanionNoNeedText);
        EXPECT_EQ(edit->cursorPosition(), 1);
        EXPECT_FALSE(edit->isEnabled());
        EXPECT_FALSE(child(dialog, "label_find_launch")->isEnabled());
        ModalResponder responder;
        responder.chooseFile(file("obs", "OBS.exe"));
        QTest::mousePress(child<QLabel>(dialog, "label_find_launch"), Qt::LeftButton);
        settle(50);
        EXPECT_TRUE(responder.records().isEmpty()) << tool.toStdString();
        EXPECT_TRUE(host.updates.isEmpty());
    }
}

TEST_F(SettingDialogTest, ObsClassicTakesOnlyOBSExeInExactCase)
{
    host.tool = kObsClassicToolName;
    zvSystemSettingDlg dialog;
    auto* edit = child<QLineEdit>(dialog, "lineEdit_launch_path");

    for (const char* refused : {"obs.exe", "obs32.exe", "obs64.exe", "OBS.EXE", "obs"}) {
        ASSERT_TRUE(pick(dialog, file("wrong", refused))) << refused;
        EXPECT_EQ(edit->text(), "请选择正确的OBS快捷方式") << refused;
        EXPECT_EQ(edit->styleSheet(), "color:#ff0000");
    }
    EXPECT_EQ(config->getToolLaunchPath(kObsClassicToolName), "");
    EXPECT_TRUE(host.updates.isEmpty());

    // Any folder will do.
    const QString chosen = file("某个 文件夹", "OBS.exe");
    ASSERT_TRUE(pick(dialog, chosen));
    EXPECT_EQ(edit->text(), chosen);
    EXPECT_EQ(edit->cursorPosition(), 1);
    EXPECT_EQ(edit->styleSheet(), "color:#555555");
    EXPECT_EQ(config->getToolLaunchPath(kObsClassicToolName), chosen);
    EXPECT_EQ(config->getToolLaunchPath(kObsStudioToolName), "");
    EXPECT_EQ(host.updates, QStringList{kObsClassicToolName + "|" + chosen});
    // Saved at once: a logout must not lose it.
    EXPECT_EQ(logictest::storedSetting("OBS/launchPath").toString(), chosen);
}

TEST_F(SettingDialogTest, ObsStudioTakesObs32Obs64AndTheDistributionsObs)
{
    host.tool = kObsStudioToolName;
    zvSystemSettingDlg dialog;
    auto* edit = child<QLineEdit>(dialog, "lineEdit_launch_path");
    FileDialogWatch watch;

    ASSERT_TRUE(pick(dialog, file("classic", "OBS.exe")));
    ASSERT_EQ(watch.shown.size(), 1);
    EXPECT_TRUE(watch.shown[0].endsWith("|obs(*.exe obs)")) << watch.shown[0].toStdString();
    EXPECT_EQ(edit->text(), "请选择正确的OBS快捷方式");
    ASSERT_TRUE(pick(dialog, file("upper", "OBS64.exe")));
    EXPECT_EQ(edit->text(), "请选择正确的OBS快捷方式");
    EXPECT_TRUE(host.updates.isEmpty());

    const QString obs32 = file("studio/bin/32bit", "obs32.exe");
    ASSERT_TRUE(pick(dialog, obs32));
    EXPECT_EQ(edit->text(), obs32);
    EXPECT_EQ(edit->styleSheet(), "color:#555555");
    const QString obs64 = file("studio/bin/64bit", "obs64.exe");
    ASSERT_TRUE(pick(dialog, obs64));
    EXPECT_EQ(edit->text(), obs64);
    EXPECT_EQ(config->getToolLaunchPath(kObsStudioToolName), obs64);
    EXPECT_EQ(host.updates, (QStringList{kObsStudioToolName + "|" + obs32, kObsStudioToolName + "|" + obs64}));
    const QString obs = file("usr/bin", "obs");
    ASSERT_TRUE(pick(dialog, obs));
    EXPECT_EQ(config->getToolLaunchPath(kObsStudioToolName), obs);

    // Cancelling the file dialog changes nothing.
    ASSERT_TRUE(pick(dialog, QString()));
    EXPECT_EQ(edit->text(), obs);
    EXPECT_EQ(host.updates.size(), 3);
}

TEST_F(SettingDialogTest, FileDialogStartsAtTheShownPathOrElseTheDesktop)
{
    const QString obs = file("obs", "OBS.exe");
    toolsManager()->setLaunchPath(kObsClassicToolName, obs);
    host.tool = kObsClassicToolName;
    zvSystemSettingDlg dialog;
    FileDialogWatch watch;

    ASSERT_TRUE(pick(dialog, file("wrong", "obs.exe")));
    // The refusal message names nothing: the next pick starts on the desktop.
    ASSERT_TRUE(pick(dialog, QString()));
    ASSERT_EQ(watch.shown.size(), 2);
    // OBS classic's picker lists no "obs": it would be refused.
    EXPECT_EQ(watch.shown[0], "选择|" + dir / "obs" + "|obs(*.exe)");
    EXPECT_EQ(watch.shown[1], "选择|" + QDir(getDesktopDir()).absolutePath() + "|obs(*.exe)");
}

TEST_F(SettingDialogTest, CloseButtonStoresTheModeAndSavesEverything)
{
    config->setCloseMode(1);
    host.tool = kObsStudioToolName;
    {
        zvSystemSettingDlg dialog;
        const QString obs64 = file("studio", "obs64.exe");
        ASSERT_TRUE(pick(dialog, obs64));
        ModalResponder responder;
        responder.clickButton("button_close");
        dialog.exec();
        ASSERT_EQ(responder.records().size(), 1);
        EXPECT_EQ(responder.records()[0].action, "click:button_close");
        // Unchanged: mode 1 written again, with the picked path.
        EXPECT_EQ(config->getCloseMode(), CLOSE_TO_TRAY);
        EXPECT_EQ(logictest::storedSetting("Basic/closeMode").toInt(), 1);
        EXPECT_EQ(logictest::storedSetting("obs-studio/launchPath").toString(), obs64);
    }
    {
        zvSystemSettingDlg dialog;
        child<QRadioButton>(dialog, "radioButton_close")->setChecked(true);
        ModalResponder responder;
        responder.clickButton("button_close");
        dialog.exec();
        EXPECT_EQ(config->getCloseMode(), CLOSE_QUIT);
        EXPECT_EQ(logictest::storedSetting("Basic/closeMode").toInt(), 0);
    }
}

TEST_F(SettingDialogTest, FailedSaveIsLoggedAndTheDialogStillCloses)
{
    config->setCloseMode(1);
    zvSystemSettingDlg dialog;
    child<QRadioButton>(dialog, "radioButton_close")->setChecked(true);
    const QByteArray saved = qgetenv("XDG_DATA_HOME");
    // A data folder below a regular file cannot be created.
    qputenv("XDG_DATA_HOME", "/dev/null/data");
    logictest::LogCapture log;
    // Told in the main window's toast once the dialog is closed.
    QStringList toasts;
    link->toast = [&](const QString& text) { toasts << text + (dialog.isVisible() ? " (open)" : ""); };
    ModalResponder responder;
    responder.clickButton("button_close");
    dialog.exec();
    qputenv("XDG_DATA_HOME", saved);
    EXPECT_EQ(responder.records().size(), 1);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_TRUE(log.contains("zvSystemSettingDlg::on_button_close_clicked {save config failed}"));
    EXPECT_EQ(toasts, QStringList{kSettingsSaveFailedText});
    // Kept in memory for the next save.
    EXPECT_EQ(config->getCloseMode(), CLOSE_QUIT);
}

TEST_F(SettingDialogTest, EscapeKeepsTheOldModeAndTheSavedPickedPath)
{
    config->setCloseMode(0);
    host.tool = kObsClassicToolName;
    zvSystemSettingDlg dialog;
    child<QRadioButton>(dialog, "radioButton_min_tray")->setChecked(true);
    const QString obs = file("obs", "OBS.exe");
    ASSERT_TRUE(pick(dialog, obs));
    ModalResponder responder;
    responder.pressKey(Qt::Key_Escape);
    EXPECT_EQ(dialog.exec(), QDialog::Rejected);
    EXPECT_EQ(config->getCloseMode(), CLOSE_QUIT);
    EXPECT_EQ(config->getToolLaunchPath(kObsClassicToolName), obs);
    EXPECT_EQ(logictest::storedSetting("OBS/launchPath").toString(), obs);
    EXPECT_EQ(logictest::storedSetting("Basic/closeMode").toInt(), 0);
}

TEST_F(SettingDialogTest, WithoutSettingsNothingIsShownNorSaved)
{
    link->config = nullptr;
    toolsManager()->setLaunchPath(kObsClassicToolName, file("obs", "OBS.exe"));
    host.tool = kObsClassicToolName;
    zvSystemSettingDlg dialog;
    EXPECT_EQ(child<QLineEdit>(dialog, "lineEdit_launch_path")->text(), "");
    EXPECT_FALSE(child<QRadioButton>(dialog, "radioButton_close")->isChecked());
    EXPECT_FALSE(child<QRadioButton>(dialog, "radioButton_min_tray")->isChecked());
    // No accepted names were set: even the right file is refused.
    ASSERT_TRUE(pick(dialog, file("other", "OBS.exe")));
    EXPECT_EQ(child<QLineEdit>(dialog, "lineEdit_launch_path")->text(), "请选择正确的OBS快捷方式");
    EXPECT_TRUE(host.updates.isEmpty());
    ModalResponder responder;
    responder.clickButton("button_close");
    dialog.exec();
    EXPECT_EQ(responder.records().size(), 1);
    EXPECT_FALSE(QFile::exists(getSystemSettingPath()));
}

// For people to look at, in the gallery folder.
TEST_F(SettingDialogTest, Screenshots)
{
    config->setCloseMode(1);
    host.tool = kObsStudioToolName;
    toolsManager()->setLaunchPath(kObsStudioToolName, file("obs-studio/bin/64bit", "obs64.exe"));
    zvSystemSettingDlg studio;
    studio.show();
    saveScreenshot(studio, "settings_obs.png");
    ASSERT_TRUE(pick(studio, file("wrong", "OBS.exe")));
    saveScreenshot(studio, "settings_refused.png");

    config->setCloseMode(0);
    host.tool = kZvToolName;
    zvSystemSettingDlg companion;
    companion.show();
    saveScreenshot(companion, "settings_companion.png");
}

} // namespace
