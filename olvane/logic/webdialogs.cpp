#include "logic/webdialogs.h"

namespace {

// The one factory of each kind of dialog.
template <typename Dialog> std::function<std::unique_ptr<Dialog>()>& factoryOf()
{
    static std::function<std::unique_ptr<Dialog>()> factory;
    return factory;
}

template <typename Dialog> std::unique_ptr<Dialog> create()
{
    const auto& factory = factoryOf<Dialog>();
    return factory ? factory() : nullptr;
}

} // namespace

void setCaptchaDialogFactory(CaptchaDialogFactory factory)
{
    factoryOf<CaptchaDialog>() = std::move(factory);
}

std::unique_ptr<CaptchaDialog> createCaptchaDialog()
{
    return create<CaptchaDialog>();
}

void setThirdLoginDialogFactory(ThirdLoginDialogFactory factory)
{
    factoryOf<ThirdLoginDialog>() = std::move(factory);
}

std::unique_ptr<ThirdLoginDialog> createThirdLoginDialog()
{
    return create<ThirdLoginDialog>();
}
