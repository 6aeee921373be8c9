#include "ui/mainwindow/widgets/zvappquittip.h"
#include "ui_zvappquittip.h"

#include "core/appconfig.h"
#include "core/systemutils.h"
#include "ui/mainwindow/widgets/draggabledialog.h"
#include "ui/mainwindow/widgets/mainwindowlink.h"

zvAppQuitTip::zvAppQuitTip(QWidget* parent) : QDialog(parent), ui(new Ui::zvAppQuitTip)
{
    ui->setupUi(this);
    makeDraggableDialog(this);
    loadStyleSheet();
    initCloseMode();
}

zvAppQuitTip::~zvAppQuitTip()
{
    delete ui;
}

void zvAppQuitTip::initCloseMode()
{
    AppConfig* config = mainWindowLink().config;
    if (!config)
        return;
    if (config->getCloseMode() != CLOSE_QUIT)
        ui->radio_btn_hide->setChecked(true);
    else
        ui->radio_btn_quit->setChecked(true);
}

void zvAppQuitTip::loadStyleSheet()
{
    setStyleSheet(readFileText(QStringLiteral(":/Qss/SystemSettingQss.qss")));
}

void zvAppQuitTip::on_button_confirm_clicked()
{
    bool saved = true;
    if (AppConfig* config = mainWindowLink().config) {
        config->setCloseMode(ui->radio_btn_quit->isChecked() ? CLOSE_QUIT : CLOSE_TO_TRAY);
        config->setShowCloseTipEnable(!ui->checkBox_not_tip->isChecked());
        saved = saveSettings(config, "zvAppQuitTip::on_button_confirm_clicked");
    }
    accept();
    if (!saved)
        showSettingsSaveFailed();
}

void zvAppQuitTip::on_button_cancel_clicked()
{
    close();
}

void zvAppQuitTip::on_button_close_clicked()
{
    close();
}
