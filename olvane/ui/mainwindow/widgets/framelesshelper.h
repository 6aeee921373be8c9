#pragma once
// Gives frameless windows what a system frame would: moving by dragging the
// title area and, when enabled, resizing by dragging the borders, with resize
// cursors while hovering a border. Works purely as an event filter on each
// registered widget: press, release, double-click, move, leave and hover-move
// events of a registered widget are consumed here and never reach it.
//
// It does not make a window frameless; the window sets its own flags first.
// The border width and the title height are shared by every FramelessHelper.

#include <QObject>

class QWidget;
class FramelessHelperPrivate;

class FramelessHelper : public QObject
{
    Q_OBJECT

public:
    explicit FramelessHelper(QObject* parent = nullptr);
    // Restores every registered widget (flags, mouse tracking, hover).
    ~FramelessHelper() override;

    // A second registration of the same widget changes nothing.
    void addWidget(QWidget* widget);
    // Gives back the widget's window flags, mouse tracking off, hover off.
    void removeWidget(QWidget* widget);

    void setMovable(bool movable);
    bool isMovable() const;
    void setResizable(bool resizable);
    bool isResizable() const;
    // With a rubber band, the widget takes the new geometry only on release.
    void setResizeRubberBand(bool enabled);
    bool hasResizeRubberBand() const;
    void setMoveRubberBand(bool enabled);
    bool hasMoveRubberBand() const;

    // Class-wide; 0 is ignored and keeps the previous value.
    static void setBorderWidth(int width);
    static int borderWidth();
    static void setTitleHeight(int height);
    static int titleHeight();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    FramelessHelperPrivate* d;
};
