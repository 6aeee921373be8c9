#pragma once
// Shared fixture of the login dialog tests: the program's hub with its
// account client against one simulator for the suite, the window link's
// listener, the real web dialogs registered, and helpers to reach the
// dialog's widgets and toast.

#include "account.h"
#include "logic_support.h"
#include "mouse.h"
#include "olvaneworld.h"
#include "qtwait.h"
#include "widgettest.h"

#include "core/pathlayout.h"
#include "logic/loginmanager.h"
#include "logic/zvlogicfw.h"
#include "ui/login/webdialogfactories.h"
#include "ui/login/zvloginwidget.h"
#include "ui/mainwindow/widgets/mainwindowlink.h"
#include "ui/mainwindow/widgets/uilogiclistener.h"
#include "ui/mainwindow/widgets/zvtooltip.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QTest>
#include <QTimer>

#include <functional>
#include <memory>

namespace logintest {

namespace account = zavmo::sim::account;
using zavmo::test::settle;
using zavmo::test::waitUntil;

inline QString toastText(const ZvLoginWidget& dialog)
{
    const ZvToolTip* toast = dialog.findChild<ZvToolTip*>();
    return toast && toast->isVisible() ? toast->text() : QString();
}

// What the desktop was asked to open since this object was made, one
// "open <target>" line each (the record is the test binary's).
class ShellRecord
{
public:
    ShellRecord() : m_start(all().size()) {}
    QString lines() const { return all().mid(m_start); }

private:
    static QString all()
    {
        QFile record(qEnvironmentVariable("ZAVMO_SHELL_RECORD"));
        return record.open(QIODevice::ReadOnly) ? QString::fromUtf8(record.readAll()) : QString();
    }
    int m_start;
};

inline void typeInto(const ZvLoginWidget& dialog, const char* field, const QString& text)
{
    auto* edit = child<QLineEdit>(dialog, field);
    edit->clear();
    QTest::keyClicks(edit, text);
}

// The dialog on its account page, on the given tab ("button_phonelogin" or
// "button_nickname"), shown.
inline void showAccountPage(ZvLoginWidget& dialog, const char* tab)
{
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    child<QPushButton>(dialog, "button_loginbypsw")->click();
    child<QPushButton>(dialog, tab)->click();
}

// Ends a modal that outlives its test: any web dialog still open after
// `ms` is rejected, so a failing test never hangs in exec().
inline void rejectWebDialogsAfter(int ms, QObject* context)
{
    QTimer::singleShot(ms, context, [] {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            auto* dialog = qobject_cast<QDialog*>(w);
            if (dialog && dialog->isVisible() && !qobject_cast<ZvLoginWidget*>(w))
                dialog->reject();
        }
    });
}

// Runs `act` once on the first visible top-level T, looking every 20 ms for
// up to `ms`; a modal opened inside a test's call is reached this way.
template <typename T> void whenShown(QObject* context, std::function<void(T&)> act, int ms = 5000)
{
    auto* timer = new QTimer(context);
    auto left = std::make_shared<int>(ms / 20);
    QObject::connect(timer, &QTimer::timeout, timer, [timer, act, left] {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (T* found = qobject_cast<T*>(w); found && found->isVisible()) {
                timer->deleteLater();
                timer->stop();
                act(*found);
                return;
            }
        if (--*left <= 0) {
            timer->stop();
            timer->deleteLater();
        }
    });
    timer->start(20);
}

// The simulator, the program's hub and its listener.
class LoginDialogTest : public OlvaneWorld
{
protected:
    static void SetUpTestSuite()
    {
        ASSERT_NO_FATAL_FAILURE(listener = startListener());
        registerWebDialogFactories();
        ASSERT_TRUE(waitUntil([] { return manager()->isServerTimespaceValid(); }));
    }
    // Requests the suite's last dialog left queued reach the simulator before
    // the next suite's first reset, not during its first test.
    static void TearDownTestSuite() { settle(100); }
    void SetUp() override
    {
        OlvaneWorld::SetUp();
        link->listener = listener;
        if (manager()->isLogin())
            manager()->logout();
        QFile::remove(getUserInfoPath());
    }

    static LoginManager* manager() { return ZvLogicFW::instance()->getLoginManager(); }

    static std::vector<Json::Value> requests(const std::string& endpoint) { return sim->requests(endpoint); }

    // The saved-login file's value.
    static QString savedLogin(const char* key)
    {
        QSettings file(getUserInfoPath(), QSettings::IniFormat);
        return file.value(QStringLiteral("UserInfo/") + QLatin1String(key)).toString();
    }

    static inline UILogicListener* listener = nullptr;
    ScopedMainWindowLink link;
};

} // namespace logintest
