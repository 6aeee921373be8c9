#pragma once
// Shown when the push address could not be fetched. The caller reads
// getResult after exec:
//   0 closed (also Escape or any other close): do nothing further
//   1 get the live code by hand: the user's room page has been opened in the
//     browser, the caller shows the push-address dialog
//   2 start OBS without an address from the platform
// Every exec starts from 0.

#include <QDialog>

namespace Ui {
class zvGetRtmpFalseWidget;
}

class zvGetRtmpFalseWidget : public QDialog
{
    Q_OBJECT

public:
    explicit zvGetRtmpFalseWidget(QWidget* parent = nullptr);
    ~zvGetRtmpFalseWidget() override;

    int getResult() const { return m_result; }

public slots:
    int exec() override;

    void on_button_close_clicked();
    void on_button_getRtmp_clicked();
    void on_button_reRun_OBS_clicked();

private:
    int m_result = 0;
    Ui::zvGetRtmpFalseWidget* ui;
};
