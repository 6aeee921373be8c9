#pragma once
// The install half of a reinstall. A wizard that reinstalls a tool starts
// the old copy's uninstall here, with the installer it has downloaded; once
// that uninstall has finished, this object starts the installer, whether or
// not the wizard is still open, and says how that went. Closing the wizard
// during the uninstall therefore no longer leaves the tool uninstalled.
//
// The wizards share one object per listener, which goes with the listener
// (the main window's lives until the window goes). GUI thread only.

#include <QMap>
#include <QObject>
#include <QString>

class UILogicListener;

class ZvInstallAfterUninstall : public QObject
{
    Q_OBJECT

public:
    // Follows the listener's uninstall-finished events; without a listener
    // a recorded install never starts (logged).
    explicit ZvInstallAfterUninstall(UILogicListener* listener, QObject* parent = nullptr);

    // The listener's one object, made on first use as its child; null
    // without a listener.
    static ZvInstallAfterUninstall* forListener(UILogicListener* listener);

    // Starts the uninstall of the tool's current copy and records the
    // installer for it. False, with nothing recorded, when no uninstall was
    // started (nothing installed, or the uninstaller could not start).
    bool uninstallThenInstall(const QString& toolName, const QString& installerFile);
    // The installer waiting for the tool's uninstall; empty when none.
    QString waitingInstaller(const QString& toolName) const;

signals:
    // The tool's uninstall has finished and its recorded installer was
    // started (true) or could not be (false; the user has been told).
    void sglInstallAfterUninstall(QString toolName, bool started);

private slots:
    void sltLiveToolUnInstallFinished(QString toolName);

private:
    // Tool name -> installer file.
    QMap<QString, QString> m_installers;
};
