#include "ui/mainwindow/waitingdialogs.h"

#include "core/stringconstants.h"

#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

WaitingDialog::WaitingDialog(const QString& what, QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("WaitingDialog"));
    auto* layout = new QVBoxLayout(this);
    m_label = new QLabel(this);
    m_label->setObjectName(QStringLiteral("label_tip"));
    layout->addWidget(m_label);
    auto* button = new QPushButton(QStringLiteral("确定"), this);
    button->setObjectName(QStringLiteral("button_confirm"));
    layout->addWidget(button);
    // Nothing was done, so the dialog never reports success.
    connect(button, &QPushButton::clicked, this, &QDialog::reject);
    setWhat(what);
}

void WaitingDialog::setWhat(const QString& what)
{
    setWindowTitle(what);
    m_label->setText(QStringLiteral("%1：此功能即将推出").arg(what));
}

zvSystemSettingDlg::zvSystemSettingDlg(QWidget* parent) : WaitingDialog(QStringLiteral("系统设置"), parent) {}

zvChooseRecordPath::zvChooseRecordPath(QWidget* parent) : WaitingDialog(QStringLiteral("选择文件录制路径"), parent) {}
