// Olvane's entry: the process-wide services first (log, crash filter,
// trusted certificates), then the single-instance check, then the main
// window and the event loop.
#include "app/appinit.h"
#include "app/qtsingleapplication.h"
#include "app/quitsignals.h"
#include "core/applogger.h"
#include "core/crashhandler.h"
#include "core/deployment.h"
#include "core/stringconstants.h"
#include "core/zavmopointing.h"
#include "logic/zvlogicfw.h"
#include "ui/login/webdialogfactories.h"
#include "ui/mainwindow/widgets/mainwindowlink.h"
#include "ui/mainwindow/widgets/zvmsgtipwidget.h"
#include "ui/mainwindow/zavmomanager.h"

#include <QElapsedTimer>
#include <QEvent>
#include <QFont>
#include <QIcon>
#include <QTimer>

#include <cstdlib>

namespace {

const char kAppId[] = "Olvane_exe";
constexpr int kSendTimeoutMs = 5000;

// Logs how long the start took once the main window has painted first.
class FirstPaintLog : public QObject
{
public:
    explicit FirstPaintLog(const QElapsedTimer& started) : m_started(started) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint) {
            qInfo("[App] by kx main {main window painted %lld ms after start}", m_started.elapsed());
            watched->removeEventFilter(this);
        }
        return false;
    }

private:
    const QElapsedTimer& m_started;
};

} // namespace

int main(int argc, char* argv[])
{
    QElapsedTimer started;
    started.start();
    AppLogger::instance().install();
    // Marks each start in the day's info log.
    qInfo("%s", "");

    // The crash filter reads the program's folder from the application
    // object, so it comes right after it (and before anything else runs).
    QtSingleApplication app(QString::fromLatin1(kAppId), argc, argv);
    if (!installCrashFilter())
        qWarning("[App] by kx main {crash filter not installed}");
    if (!deployment::installTrustedCertificates())
        qWarning("[App] by kx main {ZAVMO_CA_BUNDLE holds no certificate}");

    if (app.isRunning())
        return app.sendMessage(QString::fromLatin1(kAppId), kSendTimeoutMs) ? 0 : 1;

    // The style sheets ask for the Windows UI font; here the CJK font that
    // Debian ships takes its place, so texts keep the widths they were laid
    // out for (the default fallback sets Latin letters in a wider face).
    QFont::insertSubstitution(QStringLiteral("microsoft yahei"), QStringLiteral("WenQuanYi Micro Hei"));

    pointEvent(PointStartupLoading);
    AppInit::instance()->installToApplication();

    // The account client opens the captcha and outside-login pages in these.
    registerWebDialogFactories();
    zavmoManager window;
    app.setActivationWindow(&window, true);
    QApplication::setActiveWindow(&window);
    QObject::connect(&app, &QtSingleApplication::messageReceived, &window, [&window](const QString& message) {
        // After the activation this message triggers.
        QTimer::singleShot(0, &window, [&window, message] {
            qInfo("[App] by kx main {message from a later copy: %s; window visible:%d minimized:%d}",
                  qPrintable(message), window.isVisible() ? 1 : 0, window.isMinimized() ? 1 : 0);
        });
    });
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/Resources/Install.ico")));
    QApplication::setQuitOnLastWindowClosed(false);

    if (!window.initialize()) {
        zvMsgTipWidget tip(kInitFailedText, false);
        tip.exec();
        // exit() skips the stack: end the hub's thread and network first.
        ZvLogicFW::shutdownInstance();
        std::exit(-1);
    }

    // A logout or shutdown quits as the tray does: the settings are saved.
    QuitSignals quitSignals(&quitApplication);
    FirstPaintLog firstPaint(started);
    window.installEventFilter(&firstPaint);
    window.show();
    return app.exec();
}
