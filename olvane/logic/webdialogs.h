#pragma once
// The web dialogs the account client opens in the middle of a login. They are
// widgets and live in the UI layer; the logic reaches them only through this
// seam: the UI registers a factory at start-up, tests register fakes that
// answer as the real dialogs do. GUI thread only.

#include <QString>
#include <QUrl>

#include <functional>
#include <memory>

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
