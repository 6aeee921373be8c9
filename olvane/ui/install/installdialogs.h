#pragma once
// What the three install dialogs (the install path dialog and the two
// install wizards) share: their window and header, the install folder rule,
// the prompts, and the start of an installer. GUI thread only.

#include <QList>
#include <QString>

class AppConfig;
class QDialog;
class QLineEdit;
class QWidget;
class ZvFileDownloaderMgr;
class ZvLiveToolsManager;

namespace installdialogs {

// The time an installer is expected to take; the tools manager turns the
// time it has run into a percentage of this.
const int kExpectedInstallMs = 15000;

// Frameless modal window that the application-wide drag filter lets the user
// drag by its 142-pixel header.
void initWindow(QDialog* dialog);
// Each header gets the title background, scaled to the dialog's size.
void setHeaderBackground(QDialog* dialog, const QList<QWidget*>& headers);

// The hub's tools manager and download pool; null before the hub is
// initialised and after its shutdown.
ZvLiveToolsManager* toolsManager();
ZvFileDownloaderMgr* downloaderMgr();

// A modal prompt without parent; its answer is not needed.
void prompt(const QString& message, bool showCancel);
// True, after telling the user, when the tool runs now.
bool refuseWhileRunning(const QString& toolName);

// The folder chooser of the install folder field: a chosen folder replaces
// the field's text; cancelling changes nothing.
void chooseFolder(QDialog* dialog, QLineEdit* field);

// The tool's own folder name, appended to a folder the user chose; empty for
// a name that is not one of the four tools.
QString installSubFolder(const QString& toolName);
// The install folder rule: backslashes become "/" and trailing "/" go; a
// folder other than the configured one (exact comparison) gets the tool's
// sub-folder, the configured one is kept as it is. Empty when the field
// holds nothing but separators.
QString installFolderFor(const QString& typed, const QString& configured, const QString& subFolder);
// The rule for what the user typed; the folder is created and stored as the
// tool's install path. Otherwise the user is told, with the text as typed,
// nothing is stored, and the result is false.
bool acceptInstallFolder(AppConfig* config, const QString& toolName, const QString& typed);

// Runs the tool's installer silently into the tool's configured install
// folder. False, after telling the user and discarding the installer, when
// it could not be started.
bool startInstall(const QString& toolName, const QString& installerFile);

// Removes the installer of an install that failed, so that the next attempt
// downloads it anew instead of finding and running the same file again.
// Only a file directly in the download folder is removed; a failure to
// remove it is logged.
void discardFailedInstaller(const QString& installerFile);

} // namespace installdialogs
