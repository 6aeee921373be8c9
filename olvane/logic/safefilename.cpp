#include "logic/safefilename.h"

namespace {

bool isUnsafeChar(QChar c)
{
    return c == QLatin1Char('/') || c == QLatin1Char('\\') || c.unicode() < 0x20 || c.unicode() == 0x7f;
}

bool isReservedName(const QString& name)
{
    return name.isEmpty() || name == QLatin1String(".") || name == QLatin1String("..");
}

} // namespace

bool isSafeFileName(const QString& name)
{
    if (isReservedName(name))
        return false;
    for (const QChar c : name) {
        if (isUnsafeChar(c))
            return false;
    }
    return true;
}

QString safeFileName(const QString& name)
{
    if (isReservedName(name))
        return QStringLiteral("_");
    QString safe = name;
    for (QChar& c : safe) {
        if (isUnsafeChar(c))
            c = QLatin1Char('_');
    }
    return safe;
}
