#include "ui/mainwindow/zvchooserecordpath.h"
#include "ui_zvchooserecordpath.h"

#include "core/stringconstants.h"
#include "core/systemutils.h"
#include "logic/toolconfigfiles.h"
#include "logic/zvlivetoolsmanager.h"
#include "logic/zvlogicfw.h"
#include "ui/mainwindow/widgets/draggabledialog.h"
#include "ui/mainwindow/widgets/zvmsgtipwidget.h"

#include <QDebug>
#include <QDir>
#include <QFileInfo>

zvChooseRecordPath::zvChooseRecordPath(QWidget* parent) : QDialog(parent), ui(new Ui::zvChooseRecordPath)
{
    ui->setupUi(this);
    makeDraggableDialog(this);
    loadStyleSheet();
    for (QLineEdit* edit : {ui->lineEdit, ui->lineEdit_2, ui->lineEdit_3, ui->lineEdit_4})
        edit->setFocusPolicy(Qt::NoFocus);
    initRecordPaths();
    ui->label_zavmoShow->hide();
    ui->lineEdit_2->hide();
    ui->button_openFolder_2->hide();
}

zvChooseRecordPath::~zvChooseRecordPath()
{
    delete ui;
}

void zvChooseRecordPath::loadStyleSheet()
{
    setStyleSheet(readFileText(QStringLiteral(":/Qss/MainWidgetQss.qss")));
}

void zvChooseRecordPath::initRecordPaths()
{
    initRecordPath(kZvToolName, getZVToolRecordPath, ui->lineEdit, ui->button_openFolder_1);
    initRecordPath(kZvShowToolName, getZVShowRecordPath, ui->lineEdit_2, ui->button_openFolder_2);
    initRecordPath(kObsClassicToolName, getObsClassicRecordPath, ui->lineEdit_3, ui->button_openFolder_3);
    initRecordPath(kObsStudioToolName, getObsStudioRecordPath, ui->lineEdit_4, ui->button_openFolder_4);
}

void zvChooseRecordPath::initRecordPath(const QString& toolName, QString (*recordPath)(), QLineEdit* edit,
                                        QPushButton* button)
{
    QString path;
    ZvLiveToolsManager* manager = ZvLogicFW::instance()->getLiveToolsManager();
    if (manager && manager->getAppInstallStatus(toolName) == APP_INSTALLED)
        path = recordPath();
    if (path.isEmpty())
        button->setEnabled(false);
    edit->setText(path);
}

void zvChooseRecordPath::openRowFolder(QLineEdit* edit)
{
    // A tool records into its folder once it streams: a fresh account's
    // Videos folder may not exist yet.
    const QString folder = edit->text();
    if (!QFileInfo(folder).isDir() && (!folder.startsWith(QLatin1Char('/')) || !QDir().mkpath(folder))) {
        qWarning().noquote() << "[UI] by kx zvChooseRecordPath::openRowFolder {cannot create " + folder + "}";
        zvMsgTipWidget tip(kRecordFolderCreateFailedText, false, this);
        tip.exec();
        return;
    }
    if (!openFolder(folder))
        qWarning("[UI] by kx zvChooseRecordPath::openRowFolder {not an existing folder, or no file manager}");
}

void zvChooseRecordPath::on_button_close_clicked()
{
    close();
}

void zvChooseRecordPath::on_button_openFolder_1_clicked()
{
    openRowFolder(ui->lineEdit);
}

void zvChooseRecordPath::on_button_openFolder_2_clicked()
{
    openRowFolder(ui->lineEdit_2);
}

void zvChooseRecordPath::on_button_openFolder_3_clicked()
{
    openRowFolder(ui->lineEdit_3);
}

void zvChooseRecordPath::on_button_openFolder_4_clicked()
{
    openRowFolder(ui->lineEdit_4);
}
