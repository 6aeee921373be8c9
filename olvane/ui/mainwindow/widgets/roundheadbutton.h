#pragma once
// The user's head picture as a round push button. The picture is loaded at
// each paint from a resource or file path and stretched to the button; the
// button's widget mask is an ellipse over its size, so clicks outside the
// ellipse do not reach it. Text, frame and style-sheet background are not
// painted. An empty or unreadable path paints nothing (the caller sets a
// default picture).

#include <QPushButton>

class RoundHeadButton : public QPushButton
{
    Q_OBJECT

public:
    explicit RoundHeadButton(QWidget* parent = nullptr);

    void setHeadImage(QString path);
    QString headImage() const { return m_headImage; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString m_headImage;
};
