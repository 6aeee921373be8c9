#pragma once
// The quit prompt of the title bar's close button: quit the program or hide
// it to the notification area, and whether to ask again. Confirm writes the
// answer into the main window's settings and saves them to disk before the
// dialog accepts; cancel and the close button change nothing (Rejected).
// Frameless; dragged by its top 36 pixels through the application-wide
// drag filter.

#include <QDialog>

namespace Ui {
class zvAppQuitTip;
}

class zvAppQuitTip : public QDialog
{
    Q_OBJECT

public:
    explicit zvAppQuitTip(QWidget* parent = nullptr);
    ~zvAppQuitTip() override;

    // Checks the radio button of the stored close mode; neither without a
    // settings object.
    void initCloseMode();
    void loadStyleSheet();

public slots:
    void on_button_confirm_clicked();
    void on_button_cancel_clicked();
    void on_button_close_clicked();

private:
    Ui::zvAppQuitTip* ui;
};
