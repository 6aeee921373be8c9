#include "ui/install/zvinstallwidget.h"
#include "ui_zvinstallwidget.h"

#include "core/appconfig.h"
#include "core/serverurltable.h"
#include "core/stringconstants.h"
#include "core/systemutils.h"
#include "ui/install/installdialogs.h"
#include "ui/mainwindow/widgets/mainwindowlink.h"

#include <QEvent>

namespace {

// What an InstallToolType gives the dialog; the empty entry for any other.
struct ToolType
{
    QString toolName;
    QString styleSheet;
    QString title;
    bool obs = false;
};

ToolType toolType(int type)
{
    const QString zavmoSheet = QStringLiteral(":/Qss/ZavmoWidgetQss.qss");
    const QString obsSheet = QStringLiteral(":/Qss/OBSWidgetQss.qss");
    switch (type) {
    case INSTALL_ZV_TOOL:
        return {kZvToolName, zavmoSheet, kInstallZvToolText, false};
    case INSTALL_ZV_SHOW:
        return {kZvShowToolName, zavmoSheet, kInstallZvToolText, false};
    case INSTALL_OBS_CLASSIC:
        return {kObsClassicToolName, obsSheet, kInstallObsText, true};
    case INSTALL_OBS_STUDIO:
        return {kObsStudioToolName, obsSheet, kInstallObsText, true};
    default:
        return {};
    }
}

} // namespace

zvInstallWidget::zvInstallWidget(QWidget* parent) : QDialog(parent), ui(new Ui::zvInstallWidget)
{
    ui->setupUi(this);
    installdialogs::initWindow(this);
}

zvInstallWidget::~zvInstallWidget()
{
    delete ui;
}

void zvInstallWidget::setToolType(int type)
{
    loadStyleSheet(type);
    initWidget(type);
    m_toolType = type;
    AppConfig* config = mainWindowLink().config;
    const QString toolName = toolType(type).toolName;
    ui->ledit_installPath->setText(config && !toolName.isEmpty() ? config->getToolInstallPath(toolName) : QString());
    ui->ledit_installPath->setCursorPosition(0);
}

void zvInstallWidget::loadStyleSheet(int type)
{
    const QString sheet = toolType(type).styleSheet;
    setStyleSheet(sheet.isEmpty() ? QString() : readFileText(sheet));
}

void zvInstallWidget::initWidget(int type)
{
    const ToolType t = toolType(type);
    installdialogs::setHeaderBackground(this, {ui->widget});
    // Another type leaves the form's texts as they are.
    if (!t.title.isEmpty())
        ui->label_install->setText(t.title);
    if (t.obs) {
        ui->label_OBSurl->setText(kVisitObsSiteText);
        ui->label_OBSurl->show();
    } else if (!t.toolName.isEmpty()) {
        ui->label_OBSurl->hide();
    }
    ui->label_OBSurl->installEventFilter(this);
}

bool zvInstallWidget::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == ui->label_OBSurl && event->type() == QEvent::MouseButtonPress)
        openUrl(QString::fromUtf8(obsWebsiteUrl()));
    return false;
}

void zvInstallWidget::on_button_chosePath_clicked()
{
    installdialogs::chooseFolder(this, ui->ledit_installPath);
}

void zvInstallWidget::on_button_confirmInstall_clicked()
{
    if (installdialogs::acceptInstallFolder(mainWindowLink().config, toolType(m_toolType).toolName,
                                            ui->ledit_installPath->text()))
        accept();
}

void zvInstallWidget::on_button_close_clicked()
{
    close();
}
