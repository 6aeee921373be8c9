#pragma once
// The drop-down of the title bar's login button while a user is logged in:
// room management and log out. A frameless, translucent top-level window
// painted as a light panel with a small arrow at the top; it hides as soon
// as the focus goes anywhere else.

#include <QWidget>

namespace Ui {
class zvTitleMenu;
}

class zvTitleMenu : public QWidget
{
    Q_OBJECT

public:
    explicit zvTitleMenu(QWidget* parent = nullptr);
    ~zvTitleMenu() override;

public slots:
    void on_button_roomManage_clicked();
    void on_button_logout_clicked();

protected:
    void focusOutEvent(QFocusEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    Ui::zvTitleMenu* ui;
};
