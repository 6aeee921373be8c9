#pragma once
// The modal prompt of every window: title "提示", a message, a confirm button
// and optionally a cancel button. exec() gives 1 after confirm and 0 after
// cancel, the close button, Escape or any other close. Frameless; dragged by
// its top 36 pixels through the application-wide drag filter.

#include <QDialog>

namespace Ui {
class zvMsgTipWidget;
}

class zvMsgTipWidget : public QDialog
{
    Q_OBJECT

public:
    zvMsgTipWidget(const QString& message, bool showCancel, QWidget* parent = nullptr);
    ~zvMsgTipWidget() override;

    void setButtonText(const QString& confirmText, const QString& cancelText);
    void setMessage(const QString& message);

public slots:
    void on_button_confirm_clicked();
    void on_button_cancel_clicked();
    void on_button_close_clicked();

private:
    QString m_message;
    bool m_showCancel;
    Ui::zvMsgTipWidget* ui;
};
