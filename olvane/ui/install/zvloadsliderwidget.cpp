#include "ui/install/zvloadsliderwidget.h"
#include "ui_zvloadsliderwidget.h"

#include "core/systemutils.h"
#include "ui/mainwindow/widgets/draggabledialog.h"
#include "ui/mainwindow/widgets/mainwindowlink.h"
#include "ui/mainwindow/widgets/uilogiclistener.h"

#include <QDebug>

zvLoadSliderWidget::zvLoadSliderWidget(const QString& downloadName, QWidget* parent)
    : QDialog(parent), m_downloadName(downloadName), ui(new Ui::zvLoadSliderWidget)
{
    ui->setupUi(this);
    makeDraggableDialog(this);
    setProgress(0);
    setStyleSheet(readFileText(QStringLiteral(":/Qss/MainWidgetQss.qss")));

    UILogicListener* listener = mainWindowLink().listener;
    if (!listener) {
        qWarning().noquote() << "by kx zvLoadSliderWidget {no logic listener: the download cannot be followed}";
        return;
    }
    connect(listener, &UILogicListener::sglUpdateDownloadProgress, this,
            &zvLoadSliderWidget::sltUpdateDownloadProgress);
    connect(listener, &UILogicListener::sglDownloadFinished, this, &zvLoadSliderWidget::sltDownloadFinished);
    connect(listener, &UILogicListener::sglDownloadFailed, this, &zvLoadSliderWidget::sltDownloadFailed);
}

zvLoadSliderWidget::~zvLoadSliderWidget()
{
    delete ui;
}

void zvLoadSliderWidget::setProgress(int percent)
{
    ui->progressBar->setValue(percent);
}

void zvLoadSliderWidget::on_button_close_clicked()
{
    close();
}

void zvLoadSliderWidget::sltUpdateDownloadProgress(QString name, int progress)
{
    if (name == m_downloadName)
        setProgress(progress);
}

void zvLoadSliderWidget::sltDownloadFinished(QString name, QString /*downloadedFile*/)
{
    if (name == m_downloadName)
        accept();
}

void zvLoadSliderWidget::sltDownloadFailed(QString name)
{
    if (name == m_downloadName)
        reject();
}
