#pragma once
// The selected live tool's preview pictures, one at a time, with position
// markers below and two arrows that show while the mouse is over the widget.
// No timer: pictures change only on the arrows or on a tool switch.

#include <QString>
#include <QWidget>

namespace Ui {
class zvCenterPictureWidget;
}

class zvCenterPictureWidget : public QWidget
{
    Q_OBJECT

public:
    explicit zvCenterPictureWidget(QWidget* parent = nullptr);
    ~zvCenterPictureWidget() override;

    // Selects the pictures of a tool (by tool name) and shows the first; an
    // unknown name keeps the previous pictures but still goes back to the first.
    void setLiveTool(QString toolName);

    int currentIndex() const { return m_currentIndex; }

public slots:
    void on_button_left_clicked();
    void on_button_right_clicked();

protected:
    void enterEvent(QEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    void showPicture(int index);
    // Index of the last picture: 1 with two pictures, 2 with three.
    int lastIndex() const;

    Ui::zvCenterPictureWidget* ui;
    QString m_pictures[3];
    int m_currentIndex = 0;
};
