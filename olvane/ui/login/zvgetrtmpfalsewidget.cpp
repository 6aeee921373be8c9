#include "ui/login/zvgetrtmpfalsewidget.h"
#include "ui_zvgetrtmpfalsewidget.h"

#include "core/serverurltable.h"
#include "core/systemutils.h"
#include "ui/login/pushdialogstyle.h"

zvGetRtmpFalseWidget::zvGetRtmpFalseWidget(QWidget* parent) : QDialog(parent), ui(new Ui::zvGetRtmpFalseWidget)
{
    ui->setupUi(this);
    setUpPushDialog(*this);
    setPaperBackground(*this);
    m_result = 0;
}

zvGetRtmpFalseWidget::~zvGetRtmpFalseWidget()
{
    delete ui;
}

int zvGetRtmpFalseWidget::exec()
{
    m_result = 0;
    return QDialog::exec();
}

void zvGetRtmpFalseWidget::on_button_close_clicked()
{
    m_result = 0;
    close();
}

void zvGetRtmpFalseWidget::on_button_getRtmp_clicked()
{
    openUrl(QString::fromUtf8(myRoomPageUrl()));
    m_result = 1;
    close();
}

void zvGetRtmpFalseWidget::on_button_reRun_OBS_clicked()
{
    m_result = 2;
    close();
}
