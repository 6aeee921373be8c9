#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "core/systeminfo.h"

namespace {

// A fake system root (proc/cpuinfo, sys/bus/pci/devices) selected through
// ZAVMO_SYSINFO_ROOT while the object lives.
class FakeRoot
{
public:
    FakeRoot() { qputenv("ZAVMO_SYSINFO_ROOT", dir_.path().toLocal8Bit()); }
    ~FakeRoot() { qunsetenv("ZAVMO_SYSINFO_ROOT"); }
    void write(const QString& relative, const QByteArray& text)
    {
        const QString path = dir_.filePath(relative);
        QDir().mkpath(QFileInfo(path).path());
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(text);
    }
    void displayDevice(const QString& address, const QByteArray& vendor, const QByteArray& device)
    {
        const QString base = QStringLiteral("sys/bus/pci/devices/") + address + QLatin1Char('/');
        write(base + QStringLiteral("class"), "0x030000\n");
        write(base + QStringLiteral("vendor"), vendor + "\n");
        write(base + QStringLiteral("device"), device + "\n");
    }

private:
    QTemporaryDir dir_;
};

QString osName(const char* version)
{
    if (version)
        qputenv("ZAVMO_OS_VERSION", version);
    else
        qunsetenv("ZAVMO_OS_VERSION");
    QString name = QStringLiteral("unset");
    osShortName(name);
    qunsetenv("ZAVMO_OS_VERSION");
    return name;
}

} // namespace

TEST(OlvaneSystemInfo, OsShortNameMapsVersions)
{
    EXPECT_EQ(osName(nullptr), "Windows_10");
    EXPECT_EQ(osName("5.1"), "Windows_XP");
    EXPECT_EQ(osName("6.1"), "Windows_7");
    EXPECT_EQ(osName("6.2"), "Windows_8");
    EXPECT_EQ(osName("6.3"), "Windows_8.1");
    EXPECT_EQ(osName("10.0"), "Windows_10");
    EXPECT_EQ(osName("10.7"), "Windows_10");
    for (const char* other : {"5.0", "5.2", "6.0", "6.4", "11.0", "0.0", "garbage"})
        EXPECT_EQ(osName(other), "Unknown") << other;
}

// One sequence: the cache lives for the whole process.
TEST(OlvaneSystemInfo, CpuInfoIsCachedOnceAModelWasRead)
{
    QString model, vendor;
    int count = -1, mhz = -1;
    {
        FakeRoot noModel;
        noModel.write(QStringLiteral("proc/cpuinfo"), "processor : 0\nprocessor : 1\n");
        EXPECT_TRUE(cpuInfo(model, vendor, count, mhz));
        EXPECT_EQ(model, "");
        EXPECT_EQ(count, 2);
        EXPECT_EQ(mhz, 0);
    }
    {
        // Without a model the next call reads again.
        FakeRoot first;
        first.write(QStringLiteral("proc/cpuinfo"),
                    "processor\t: 0\nvendor_id\t: AuthenticAMD\nmodel name\t: AMD Ryzen 5 3600 6-Core Processor\n"
                    "cpu MHz\t\t: 3599.871\n\nprocessor\t: 1\n\nprocessor\t: 2\n");
        EXPECT_TRUE(cpuInfo(model, vendor, count, mhz));
        EXPECT_EQ(model, "AMD Ryzen 5 3600 6-Core Processor");
        EXPECT_EQ(vendor, "AuthenticAMD");
        EXPECT_EQ(count, 3);
        EXPECT_EQ(mhz, 3600);
    }
    {
        // Later calls answer from the cache, whatever the system says now.
        FakeRoot second;
        second.write(QStringLiteral("proc/cpuinfo"), "processor : 0\nvendor_id : X\nmodel name : Y\ncpu MHz : 1.0\n");
        QString m2, v2;
        int c2 = 0, f2 = 0;
        EXPECT_TRUE(cpuInfo(m2, v2, c2, f2));
        EXPECT_EQ(m2, "AMD Ryzen 5 3600 6-Core Processor");
        EXPECT_EQ(v2, "AuthenticAMD");
        EXPECT_EQ(c2, 3);
        EXPECT_EQ(f2, 3600);
    }
}

// One sequence: the cache lives for the whole process.
TEST(OlvaneSystemInfo, AdapterNamesAppendAndCacheOnlyEnumeratedNames)
{
    {
        FakeRoot nothing; // no PCI folder: the list stays as it was
        QStringList list{QStringLiteral("keep")};
        dxgiAdapterNames(list);
        EXPECT_EQ(list, QStringList{QStringLiteral("keep")});
    }
    const QStringList both{QStringLiteral("Intel Corporation CoffeeLake-S GT2 [UHD Graphics 630]"),
                           QStringLiteral("NVIDIA Corporation GP106 [GeForce GTX 1060 6GB]")};
    {
        FakeRoot two;
        two.displayDevice(QStringLiteral("0000:01:00.0"), "0x10de", "0x1c03");
        two.displayDevice(QStringLiteral("0000:00:02.0"), "0x8086", "0x3e92");
        QStringList list{QStringLiteral("keep")};
        dxgiAdapterNames(list);
        EXPECT_EQ(list, QStringList{QStringLiteral("keep")} + both);
    }
    {
        FakeRoot gone; // answered from the cache, without the caller's earlier entry
        QStringList list;
        dxgiAdapterNames(list);
        EXPECT_EQ(list, both);
        QStringList again{QStringLiteral("x")};
        dxgiAdapterNames(again);
        EXPECT_EQ(again, QStringList{QStringLiteral("x")} + both);
    }
}
