#pragma once
// Runtime repairs: each tells whether its runtime (.NET Framework, DirectX,
// Visual C++ 2013 x86) is missing and runs that runtime's installer from the
// repair folder silently, signalling when the installer's process has gone.
//
// GUI thread. sglRepairFinished is emitted while the repair's mutex is held:
// a receiver that calls back into the same repair must be connected queued.
// The DirectX repair's startRepair blocks up to 600 x 500 ms while its
// package unpacks.

#include <QMutex>
#include <QObject>
#include <QString>

class ZvToolRepair : public QObject
{
    Q_OBJECT
public:
    ZvToolRepair(const QString& repairName, const QString& installerFile);
    ~ZvToolRepair() override;

    QString getRepairName() const { return repairName; }
    // The installer's file name, also the process name polled for its end.
    QString getInstallerFile() const;

public slots:
    // True when the runtime is missing; probes only.
    virtual bool needRepair() = 0;
    // 0 when the installer was started or is still being polled, -1001 when
    // it could not be started.
    virtual int startRepair();

signals:
    void sglRepairFinished(QString repairName);

protected:
    void timerEvent(QTimerEvent* event) override;
    int runInstaller(const QString& installerPath, const QString& parameters);
    void setInstallerFile(const QString& file);

private:
    const QString repairName;
    QString installerFile;
    mutable QMutex mutex;
    bool running = false;
    int pollTimerId = -1;
};

class ZvNetFrameworkRepair : public ZvToolRepair
{
    Q_OBJECT
public:
    using ZvToolRepair::ZvToolRepair;
    bool needRepair() override;
};

class ZvDirectXRepair : public ZvToolRepair
{
    Q_OBJECT
public:
    using ZvToolRepair::ZvToolRepair;
    bool needRepair() override;
    int startRepair() override;

    // False when a mapped system folder ("C:/Windows/Sysnative",
    // "C:/Windows/SysWOW64") exists without the library.
    static bool isDllPresent(const QString& dllName);

private:
    void writeRepairSettings();
};

class ZvVCRedistRepair : public ZvToolRepair
{
    Q_OBJECT
public:
    using ZvToolRepair::ZvToolRepair;
    bool needRepair() override;

    // An Uninstall entry whose name is in braces has a DisplayName holding
    // "Microsoft Visual C++ 2013 Redistributable (x86)".
    static bool isVcRedistRegistered();
    // The Windows Installer reports the product installed (state 2 or 5).
    static bool isMsiProductInstalled(const QString& productCode, bool* installedForCurrentUser = nullptr);
};
