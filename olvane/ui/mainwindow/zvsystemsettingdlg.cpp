#include "ui/mainwindow/zvsystemsettingdlg.h"
#include "ui_zvsystemsettingdlg.h"

#include "core/appconfig.h"
#include "core/pathlayout.h"
#include "core/stringconstants.h"
#include "core/systemutils.h"
#include "logic/zvlivetoolsmanager.h"
#include "logic/zvlogicfw.h"
#include "ui/mainwindow/widgets/draggabledialog.h"
#include "ui/mainwindow/widgets/mainwindowlink.h"

#include <QEvent>
#include <QFileDialog>
#include <QFileInfo>

namespace {

const QString kWrongObsFileText = QStringLiteral("请选择正确的OBS快捷方式");

SettingsDialogHost* host()
{
    return mainWindowLink().settingsHost;
}

QString currentToolName()
{
    SettingsDialogHost* h = host();
    return h ? h->getCurrentToolName() : QString();
}

} // namespace

zvSystemSettingDlg::zvSystemSettingDlg(QWidget* parent) : QDialog(parent), ui(new Ui::zvSystemSettingDlg)
{
    ui->setupUi(this);
    ui->lineEdit_launch_path->setFocusPolicy(Qt::NoFocus);
    makeDraggableDialog(this);
    loadStyleSheet();
    ui->label_find_launch->installEventFilter(this);
    initSettings();
}

zvSystemSettingDlg::~zvSystemSettingDlg()
{
    delete ui;
}

void zvSystemSettingDlg::loadStyleSheet()
{
    setStyleSheet(readFileText(QStringLiteral(":/Qss/SystemSettingQss.qss")));
}

void zvSystemSettingDlg::showLaunchPath(const QString& text)
{
    ui->lineEdit_launch_path->setText(text);
    // The start of the path stays in view; the position is the one the
    // program has always used.
    ui->lineEdit_launch_path->setCursorPosition(1);
}

void zvSystemSettingDlg::initSettings()
{
    AppConfig* config = mainWindowLink().config;
    if (!config)
        return;
    const QString tool = currentToolName();
    if (tool == kZvToolName || tool == kZvShowToolName) {
        showLaunchPath(kCompanionNoNeedText);
        ui->lineEdit_launch_path->setEnabled(false);
        ui->label_find_launch->setEnabled(false);
    } else {
        if (ZvLiveToolsManager* manager = ZvLogicFW::instance()->getLiveToolsManager())
            showLaunchPath(manager->getLaunchPath(tool));
        // OBS Studio is also the distribution's program "obs"; OBS classic
        // has no Linux build.
        if (tool == kObsClassicToolName)
            m_acceptedNames = QStringList{QStringLiteral("OBS.exe")};
        else
            m_acceptedNames =
                QStringList{QStringLiteral("obs32.exe"), QStringLiteral("obs64.exe"), QStringLiteral("obs")};
    }
    if (config->getCloseMode() != CLOSE_QUIT)
        ui->radioButton_min_tray->setChecked(true);
    else
        ui->radioButton_close->setChecked(true);
}

bool zvSystemSettingDlg::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == ui->label_find_launch && event->type() == QEvent::MouseButtonPress &&
        ui->label_find_launch->isEnabled())
        chooseLaunchFile();
    return QDialog::eventFilter(watched, event);
}

void zvSystemSettingDlg::chooseLaunchFile()
{
    QString start = ui->lineEdit_launch_path->text();
    if (start.isEmpty() || !QFileInfo::exists(start))
        start = getDesktopDir();
    // The picker lists only what may be accepted: "obs" only for OBS Studio.
    const QString filter = m_acceptedNames.contains(QStringLiteral("obs")) ? QStringLiteral("obs(*.exe obs)")
                                                                            : QStringLiteral("obs(*.exe)");
    const QString chosen = QFileDialog::getOpenFileName(this, QStringLiteral("选择"), start, filter);
    if (chosen.isEmpty())
        return;
    const QFileInfo file(chosen);
    const QString path = file.absoluteFilePath();
    const QString name = file.fileName();
    if (!m_acceptedNames.contains(name, Qt::CaseSensitive)) {
        ui->lineEdit_launch_path->setStyleSheet(QStringLiteral("color:#ff0000"));
        ui->lineEdit_launch_path->setText(kWrongObsFileText);
        return;
    }
    ui->lineEdit_launch_path->setStyleSheet(QStringLiteral("color:#555555"));
    showLaunchPath(path);
    AppConfig* config = mainWindowLink().config;
    if (!config)
        return;
    const QString tool = currentToolName();
    config->setToolLaunchPath(tool, path);
    saveSettings(config, "zvSystemSettingDlg::chooseLaunchFile");
    if (SettingsDialogHost* h = host())
        h->updateToolPath(tool, path);
}

void zvSystemSettingDlg::on_button_close_clicked()
{
    bool saved = true;
    if (AppConfig* config = mainWindowLink().config) {
        config->setCloseMode(ui->radioButton_close->isChecked() ? CLOSE_QUIT : CLOSE_TO_TRAY);
        saved = saveSettings(config, "zvSystemSettingDlg::on_button_close_clicked");
    }
    close();
    if (!saved)
        showSettingsSaveFailed();
}
