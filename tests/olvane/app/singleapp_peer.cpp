// One copy of a program using QtSingleApplication, for the two-process tests.
//   singleapp_peer ID [MESSAGE [TIMEOUT_MS]]
// A later copy sends MESSAGE (default "Olvane_exe") and exits 0 when it was
// delivered, 1 when not. The first copy prints "first", shows a minimised
// window as its activation window and, for the message, prints
// "received:<message> visible:<0|1> minimized:<0|1>" once the window has
// been activated, then exits 0. It ends by itself after 20 s.
#include "app/qtsingleapplication.h"

#include <QTimer>
#include <QWidget>

#include <cstdio>

int main(int argc, char** argv)
{
    if (argc < 2)
        return 2;
    QtSingleApplication app(QString::fromUtf8(argv[1]), argc, argv);
    if (app.isRunning()) {
        const QString message = argc > 2 ? QString::fromUtf8(argv[2]) : QStringLiteral("Olvane_exe");
        const int timeoutMs = argc > 3 ? atoi(argv[3]) : 5000;
        return app.sendMessage(message, timeoutMs) ? 0 : 1;
    }
    QWidget window;
    window.resize(200, 100);
    window.showMinimized();
    app.setActivationWindow(&window, true);
    QObject::connect(&app, &QtSingleApplication::messageReceived, &app, [&](const QString& message) {
        // Activation runs after this slot; report what it left.
        QTimer::singleShot(0, &app, [&, message] {
            std::printf("received:%s visible:%d minimized:%d\n", message.toUtf8().constData(),
                        window.isVisible() ? 1 : 0, window.isMinimized() ? 1 : 0);
            std::fflush(stdout);
            app.quit();
        });
    });
    std::printf("first\n");
    std::fflush(stdout);
    QTimer::singleShot(20000, &app, &QCoreApplication::quit);
    return app.exec();
}
