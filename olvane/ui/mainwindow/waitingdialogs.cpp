#include "ui/mainwindow/waitingdialogs.h"

#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

WaitingDialog::WaitingDialog(const QString& what, QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("WaitingDialog"));
    setWindowTitle(what);
    auto* layout = new QVBoxLayout(this);
    auto* label = new QLabel(QStringLiteral("%1：此功能即将推出").arg(what), this);
    label->setObjectName(QStringLiteral("label_tip"));
    layout->addWidget(label);
    auto* button = new QPushButton(QStringLiteral("确定"), this);
    button->setObjectName(QStringLiteral("button_confirm"));
    layout->addWidget(button);
    // Nothing was done, so the dialog never reports success.
    connect(button, &QPushButton::clicked, this, &QDialog::reject);
}

ZvLoginWidget::ZvLoginWidget(QWidget* parent) : WaitingDialog(QStringLiteral("登录"), parent) {}
