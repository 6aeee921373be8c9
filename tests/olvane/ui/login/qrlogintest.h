#pragma once
// Shared by the QR-code login tests: the scan requests the simulator saw and
// the dialog's timers.

#include "logintest.h"

namespace logintest {

class QRLoginTest : public LoginDialogTest
{
protected:
    static size_t polls() { return requests("scanAuth").size(); }
    static size_t codes() { return requests("scanCode").size(); }
};

// The dialog's timers of the given interval.
inline QList<QTimer*> timersOf(const ZvLoginWidget& dialog, int intervalMs)
{
    QList<QTimer*> found;
    for (QTimer* timer : dialog.findChildren<QTimer*>())
        if (timer->interval() == intervalMs)
            found.append(timer);
    return found;
}

} // namespace logintest
