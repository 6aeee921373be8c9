#pragma once
// The web dialogs the account client opens in the middle of a login. They are
// widgets and live in the UI layer; the logic reaches them only through this
// seam: the UI registers a factory at start-up, tests register fakes that
// answer as the real dialogs do. GUI thread only.

#include <QObject>
#include <QString>
#include <QUrl>

#include <functional>
#include <memory>

class QNetworkCookieJar;

// The captcha check the platform may ask for before a password login
// (error 81).
class CaptchaDialog
{
public:
    virtual ~CaptchaDialog() = default;

    // Loads the captcha page into the dialog's web view.
    virtual void load(const QUrl& page) = 0;
    // Runs the dialog modally, in a nested event loop (replies keep being
    // dispatched meanwhile). True when the page reached an address carrying
    // a solved captcha; false when the user closed the dialog.
    virtual bool exec() = 0;

    // The query values last seen in the page's address; empty when never seen.
    virtual QString getCaptchaWord() const = 0;
    virtual QString getCaptchaKey() const = 0;
    virtual QString getGeetestChallenge() const = 0;
    virtual QString getGeetestValidate() const = 0;
    virtual QString getGeetestSeccode() const = 0;
};

using CaptchaDialogFactory = std::function<std::unique_ptr<CaptchaDialog>()>;

// Replaces the factory; an empty one unregisters it.
void setCaptchaDialogFactory(CaptchaDialogFactory factory);
// A new dialog, or null when no factory is registered or it made none: then
// no captcha can be solved and the login that asked for one fails.
std::unique_ptr<CaptchaDialog> createCaptchaDialog();

// The web view of the outside-account login dialog.
class ThirdLoginView : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;

    // Starts loading the page; the page navigates on its own from there.
    virtual void load(const QUrl& page) = 0;
    // The cookie store of the page's network access manager: the cookies the
    // web login gathered. A caller may take it over (setCookieJar of its own
    // manager); the view then neither deletes nor replaces it.
    virtual QNetworkCookieJar* cookieJar() const = 0;

signals:
    // Every address the page navigates to (redirects included), each after
    // load() has returned.
    void urlChanged(const QUrl& url);
};

// The outside-account (QQ, WeChat, Weibo) login dialog: the provider's
// sign-in page in a web view, run modally.
class ThirdLoginDialog
{
public:
    virtual ~ThirdLoginDialog() = default;

    virtual void setTitle(const QString& title) = 0;
    // Alive as long as the dialog.
    virtual ThirdLoginView* getWebView() = 0;
    // Runs the dialog modally, in a nested event loop (replies keep being
    // dispatched meanwhile), until accept() or reject(); the dialog's close
    // button rejects. 1 when accepted, 0 when rejected.
    virtual int exec() = 0;
    // End a running exec() once control returns to its event loop.
    virtual void accept() = 0;
    virtual void reject() = 0;
};

using ThirdLoginDialogFactory = std::function<std::unique_ptr<ThirdLoginDialog>()>;

// Replaces the factory; an empty one unregisters it.
void setThirdLoginDialogFactory(ThirdLoginDialogFactory factory);
// A new dialog, or null when no factory is registered or it made none: then
// no outside-account login can run.
std::unique_ptr<ThirdLoginDialog> createThirdLoginDialog();
