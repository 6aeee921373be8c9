#pragma once
// What the two web dialogs share: dragging the frameless window by presses
// on the dialog itself, and the log of a page's certificate errors.

#include <QList>
#include <QPoint>
#include <QSslError>

class QMouseEvent;
class QWidget;

// A press (any button) anchors the drag; moves with the left button held
// move the window so that the anchored point stays under the cursor.
class WebDialogDrag
{
public:
    void press(const QWidget& window, const QMouseEvent& event);
    void move(QWidget& window, const QMouseEvent& event) const;

private:
    QPoint m_windowPos;
    QPoint m_mousePos;
    QPoint m_offset;
};

// Logs the errors; the reply is not told to ignore them, so a page whose
// certificate fails verification does not load.
void logSslErrors(const QList<QSslError>& errors);
