#include "qtwait.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTest>

namespace zavmo::test {

bool waitUntil(const std::function<bool()>& done, int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

void settle(int ms)
{
    QTest::qWait(ms);
}

} // namespace zavmo::test
