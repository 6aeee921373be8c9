#pragma once
// AppInit: the application-wide event filter that drags frameless windows by
// their title area. A widget takes part by carrying the dynamic properties
// "CanMove" (true) and "TitleHeight" (pixels from its top edge). Every left
// press on such a widget itself is swallowed; one inside the title height
// starts a drag, which follows mouse moves with the left button held and ends
// with the release of any button (also swallowed) or a move without the left
// button. Presses on child widgets reach them as usual. One drag at a time in
// the whole process.
//
// It also keeps every window that has a parent out of the task bar, as
// Windows does with owned windows.
//
// GUI thread only; the object lives until the process ends.

#include <QObject>

class AppInit : public QObject
{
    Q_OBJECT

public:
    static AppInit* instance();

    void installToApplication();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    AppInit() = default;
};
