#include "logic/webdialogs.h"

namespace {

CaptchaDialogFactory& captchaFactory()
{
    static CaptchaDialogFactory factory;
    return factory;
}

} // namespace

void setCaptchaDialogFactory(CaptchaDialogFactory factory)
{
    captchaFactory() = std::move(factory);
}

std::unique_ptr<CaptchaDialog> createCaptchaDialog()
{
    return captchaFactory() ? captchaFactory()() : nullptr;
}
