#pragma once
// Runtime repairs: each tells whether its runtime (.NET Framework, DirectX,
// Visual C++ 2013 x86) is missing and runs that runtime's installer from the
// repair folder silently, signalling when the installer's process has gone.
//
// GUI thread. sglRepairFinished may be emitted while the repair's mutex is held:
// a receiver that calls back into the same repair must be connected queued.
// Nothing here blocks: the DirectX repair's package unpacks while the event
// loop runs, and the repair counts as running from the unpacker's start.

#include <QDeadlineTimer>
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
    bool isRunning() const;
    // A stage of the repair's own before the installer: running from now on
    // (true), or ended (false) so that runInstaller may start the installer.
    void setRunning(bool running);

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
    // 0 at once when already running; else unpacks the package first when
    // the tool is not there yet (polled every 200 ms, at most 300 s), then
    // configures and starts the tool. A tool that then cannot start, or an
    // unpacking that does not end, finishes the repair (sglRepairFinished).
    int startRepair() override;

    // False when a mapped system folder ("C:/Windows/Sysnative",
    // "C:/Windows/SysWOW64") exists without the library.
    static bool isDllPresent(const QString& dllName);

protected:
    void timerEvent(QTimerEvent* event) override;

private:
    void writeRepairSettings();
    // The repair tool, unpacked below the repair folder.
    QString toolPath() const;
    int runTool();

    int unpackTimerId = -1;
    QDeadlineTimer unpackDeadline;
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
