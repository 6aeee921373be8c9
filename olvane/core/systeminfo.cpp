#include "core/systeminfo.h"

#include <cmath>

#include "platform/sysinfo.h"

void osShortName(QString& result)
{
    const platform::sysinfo::OsVersion v = platform::sysinfo::osVersion();
    if (v.major == 5 && v.minor == 1)
        result = QStringLiteral("Windows_XP");
    else if (v.major == 6 && v.minor == 1)
        result = QStringLiteral("Windows_7");
    else if (v.major == 6 && v.minor == 2)
        result = QStringLiteral("Windows_8");
    else if (v.major == 6 && v.minor == 3)
        result = QStringLiteral("Windows_8.1");
    else if (v.major == 10)
        result = QStringLiteral("Windows_10");
    else
        result = QStringLiteral("Unknown");
}

bool cpuInfo(QString& model, QString& vendor, int& count, int& mhz)
{
    static QString s_model;
    static QString s_vendor;
    static int s_count = 0;
    static int s_mhz = 0;

    if (s_model.isEmpty()) {
        const platform::sysinfo::Processor p = platform::sysinfo::processor();
        s_model = QString::fromStdString(p.model);
        s_vendor = QString::fromStdString(p.vendor);
        s_count = p.logicalCount;
        s_mhz = int(std::lround(p.mhz));
    }
    model = s_model;
    vendor = s_vendor;
    count = s_count;
    mhz = s_mhz;
    return true;
}

void dxgiAdapterNames(QStringList& result)
{
    // Only the enumerated names are cached, never what the caller's list
    // already held.
    static QStringList s_names;
    if (!s_names.isEmpty()) {
        result += s_names;
        return;
    }
    bool ok = false;
    const std::vector<platform::sysinfo::DisplayAdapter> adapters = platform::sysinfo::displayAdapters(&ok);
    if (!ok)
        return;
    QStringList names;
    for (const platform::sysinfo::DisplayAdapter& a : adapters)
        names << QString::fromStdString(a.name);
    result += names;
    s_names = names;
}
