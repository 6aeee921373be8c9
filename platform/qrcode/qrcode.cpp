#include "platform/qrcode.h"

#include <qrencode.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace {

constexpr int kMaxVersion = 40;

// libqrencode's own record is copied into ours, so that callers never depend
// on its layout or its allocator.
ZvQrSymbol* encode(const char* text, int minVersion, int level)
{
    if (!text || !*text || level < QR_ECLEVEL_L || level > QR_ECLEVEL_H || minVersion > kMaxVersion) {
        errno = EINVAL;
        return nullptr;
    }
    QRcode* code = QRcode_encodeString8bit(text, minVersion < 0 ? 0 : minVersion, static_cast<QRecLevel>(level));
    if (!code)
        return nullptr;
    const size_t count = static_cast<size_t>(code->width) * static_cast<size_t>(code->width);
    auto* symbol = static_cast<ZvQrSymbol*>(std::malloc(sizeof(ZvQrSymbol)));
    auto* modules = static_cast<unsigned char*>(std::malloc(count));
    if (!symbol || !modules) {
        std::free(symbol);
        std::free(modules);
        QRcode_free(code);
        errno = ENOMEM;
        return nullptr;
    }
    std::memcpy(modules, code->data, count);
    *symbol = ZvQrSymbol{code->version, code->width, modules};
    QRcode_free(code);
    return symbol;
}

} // namespace

ZvQrSymbol* zvQrEncode(const char* text, int minVersion, int level, int, int)
{
    return encode(text, minVersion, level);
}

void zvQrFree(ZvQrSymbol* symbol)
{
    if (!symbol)
        return;
    std::free(symbol->modules);
    std::free(symbol);
}
