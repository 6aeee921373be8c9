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

zvInstallWidget::zvInstallWidget(QWidget* parent) : WaitingDialog(QStringLiteral("安装"), parent) {}

void zvInstallWidget::setToolType(int kind)
{
    static const QString* const names[] = {&kZvToolName, &kZvShowToolName, &kObsClassicToolName, &kObsStudioToolName};
    m_kind = kind;
    if (kind >= 0 && kind < 4)
        setWhat(QStringLiteral("安装%1").arg(*names[kind]));
}

zvZavmoInstallWidget::zvZavmoInstallWidget(QWidget* parent)
    : WaitingDialog(QStringLiteral("安装%1").arg(kZvToolName), parent)
{
}

zvOBSInstallWidget::zvOBSInstallWidget(QWidget* parent) : WaitingDialog(QStringLiteral("安装OBS"), parent) {}

zvChooseRecordPath::zvChooseRecordPath(QWidget* parent) : WaitingDialog(QStringLiteral("选择文件录制路径"), parent) {}
