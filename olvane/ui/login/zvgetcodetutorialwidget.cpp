#include "ui/login/zvgetcodetutorialwidget.h"
#include "ui_zvgetcodetutorialwidget.h"

#include "core/serverurltable.h"
#include "core/systemutils.h"
#include "ui/login/pushdialogstyle.h"

zvGetCodeTutorialWidget::zvGetCodeTutorialWidget(QWidget* parent) : QDialog(parent), ui(new Ui::zvGetCodeTutorialWidget)
{
    ui->setupUi(this);
    setUpPushDialog(*this);
    setPaperBackground(*ui->scrollAreaWidgetContents);

    // The web site's address follows the server environment in use.
    ui->label_text_1_->setText(QStringLiteral("登录Zavmo官网（%1），鼠标移入官网右上角用户头像，点击【直播设置】")
                                   .arg(QString::fromUtf8(webHomeUrl())));
    for (QLabel* text : {ui->label_text_1_, ui->label_text_2_, ui->label_text_3_, ui->label_text_4_})
        text->setContextMenuPolicy(Qt::NoContextMenu);
}

zvGetCodeTutorialWidget::~zvGetCodeTutorialWidget()
{
    delete ui;
}

void zvGetCodeTutorialWidget::on_button_close_clicked()
{
    close();
}

void zvGetCodeTutorialWidget::on_button_jump_clicked()
{
    openUrl(QString::fromUtf8(myRoomPageUrl()));
}
