#include "ui/mainwindow/widgets/zvmsgtipwidget.h"
#include "ui_zvmsgtipwidget.h"

#include "core/systemutils.h"
#include "ui/mainwindow/widgets/draggabledialog.h"

zvMsgTipWidget::zvMsgTipWidget(const QString& message, bool showCancel, QWidget* parent)
    : QDialog(parent), m_message(message), m_showCancel(showCancel), ui(new Ui::zvMsgTipWidget)
{
    ui->setupUi(this);
    // The title picture is created after the close button and the title:
    // keep it beneath them.
    ui->liveAddress_titleback->lower();

    makeDraggableDialog(this);
    setStyleSheet(readFileText(QStringLiteral(":/Qss/MainWidgetQss.qss")));

    ui->label_tip->setText(m_message);
    if (!m_showCancel)
        ui->button_cancel->hide();
}

zvMsgTipWidget::~zvMsgTipWidget()
{
    delete ui;
}

void zvMsgTipWidget::setButtonText(const QString& confirmText, const QString& cancelText)
{
    ui->button_confirm->setText(confirmText);
    ui->button_cancel->setText(cancelText);
}

void zvMsgTipWidget::setMessage(const QString& message)
{
    m_message = message;
    ui->label_tip->setText(m_message);
}

void zvMsgTipWidget::on_button_confirm_clicked()
{
    accept();
}

void zvMsgTipWidget::on_button_cancel_clicked()
{
    reject();
}

void zvMsgTipWidget::on_button_close_clicked()
{
    close();
}
