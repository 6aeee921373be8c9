#pragma once
// The tutorial on finding the RTMP address and live code on the platform's
// web site: four illustrated steps in a vertical scroll area, and a button
// that opens the user's room page (the tutorial stays open). No result.

#include <QDialog>

namespace Ui {
class zvGetCodeTutorialWidget;
}

class zvGetCodeTutorialWidget : public QDialog
{
    Q_OBJECT

public:
    explicit zvGetCodeTutorialWidget(QWidget* parent = nullptr);
    ~zvGetCodeTutorialWidget() override;

public slots:
    void on_button_close_clicked();
    void on_button_jump_clicked();

private:
    Ui::zvGetCodeTutorialWidget* ui;
};
