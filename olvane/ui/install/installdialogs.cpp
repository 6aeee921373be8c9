#include "ui/install/installdialogs.h"

#include "core/appconfig.h"
#include "core/pathlayout.h"
#include "core/stringconstants.h"
#include "core/systemutils.h"
#include "logic/zvfiledownloader.h"
#include "logic/zvlivetoolsmanager.h"
#include "logic/zvlogicfw.h"
#include "ui/mainwindow/widgets/draggabledialog.h"
#include "ui/mainwindow/widgets/mainwindowlink.h"
#include "ui/mainwindow/widgets/zvmsgtipwidget.h"

#include <QDebug>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QPixmap>

namespace installdialogs {

void initWindow(QDialog* dialog)
{
    makeDraggableDialog(dialog, 142);
}

void setHeaderBackground(QDialog* dialog, const QList<QWidget*>& headers)
{
    const QPixmap background = QPixmap(QStringLiteral(":/Resources/label_titleback.png"))
                                   .scaled(dialog->size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    for (QWidget* header : headers) {
        header->setAutoFillBackground(true);
        QPalette palette = dialog->palette();
        palette.setBrush(QPalette::Window, QBrush(background));
        header->setPalette(palette);
    }
}

ZvLiveToolsManager* toolsManager()
{
    ZvLogicFW* hub = ZvLogicFW::instance();
    return hub ? hub->getLiveToolsManager() : nullptr;
}

ZvFileDownloaderMgr* downloaderMgr()
{
    ZvLogicFW* hub = ZvLogicFW::instance();
    return hub ? hub->getFileDownloaderMgr() : nullptr;
}

void prompt(const QString& message, bool showCancel)
{
    zvMsgTipWidget tip(message, showCancel, nullptr);
    tip.exec();
}

bool refuseWhileRunning(const QString& toolName)
{
    ZvLiveToolsManager* manager = toolsManager();
    if (!manager || manager->getAppStatus(toolName) != APP_RUNNING)
        return false;
    prompt(kToolRunningText.arg(toolName), false);
    return true;
}

void chooseFolder(QDialog* dialog, QLineEdit* field)
{
    const QString folder = QFileDialog::getExistingDirectory(
        dialog, kInstallDirText, QStringLiteral("/"), QFileDialog::ShowDirsOnly | QFileDialog::DontResolveSymlinks);
    if (folder.isEmpty())
        return;
    field->setText(folder);
    field->setCursorPosition(1);
}

QString installSubFolder(const QString& toolName)
{
    if (toolName == kZvToolName)
        return QStringLiteral("ZVTool");
    if (toolName == kZvShowToolName)
        return QStringLiteral("ZVShowTool");
    if (toolName == kObsClassicToolName)
        return QStringLiteral("OBS");
    if (toolName == kObsStudioToolName)
        return QStringLiteral("obs-studio");
    return QString();
}

QString installFolderFor(const QString& typed, const QString& configured, const QString& subFolder)
{
    QString path = QString(typed).replace(QLatin1Char('\\'), QLatin1Char('/'));
    while (path.endsWith(QLatin1Char('/')))
        path.chop(1);
    // Nothing left would become "/<sub-folder>", a folder in the root.
    if (path.isEmpty())
        return QString();
    if (path != QString(configured).replace(QLatin1Char('\\'), QLatin1Char('/')))
        path += QLatin1Char('/') + subFolder;
    return path;
}

bool acceptInstallFolder(AppConfig* config, const QString& toolName, const QString& typed)
{
    const QString subFolder = installSubFolder(toolName);
    QString folder;
    if (!config)
        qWarning().noquote() << "[UI] by kx install folder {no settings: nothing can be stored}";
    else if (subFolder.isEmpty())
        qWarning().noquote() << "[UI] by kx install folder {unknown tool: " + toolName + "}";
    else
        folder = installFolderFor(typed, config->getToolInstallPath(toolName), subFolder);
    if (folder.isEmpty() || !makePath(folder)) {
        prompt(kInstallDirMissingText.arg(typed), false);
        return false;
    }
    config->setToolInstallPath(toolName, folder);
    saveSettings(config, "installdialogs::acceptInstallFolder");
    return true;
}

bool startInstall(const QString& toolName, const QString& installerFile)
{
    ZvLiveToolsManager* manager = toolsManager();
    AppConfig* config = mainWindowLink().config;
    const QString folder = config ? config->getToolInstallPath(toolName) : QString();
    if (!manager || folder.isEmpty() ||
        !manager->installLiveTool(toolName, installerFile, folder, kExpectedInstallMs)) {
        qWarning().noquote() << "[UI] by kx install " + toolName + " {installer not started: " + installerFile + "}";
        discardFailedInstaller(installerFile);
        prompt(kInstallFailedText, true);
        return false;
    }
    return true;
}

void discardFailedInstaller(const QString& installerFile)
{
    const QFileInfo file(installerFile);
    if (installerFile.isEmpty() || file.absoluteDir() != QDir(getDownloadDir()))
        return;
    if (!file.exists() && !file.isSymLink()) // already gone (another window's failure)
        return;
    QFile installer(installerFile);
    if (installer.remove())
        qInfo().noquote() << "[UI] by kx install {failed installer removed: " + installerFile + "}";
    else
        qWarning().noquote() << "[UI] by kx install {failed installer not removed: " + installerFile + ": " +
                                    installer.errorString() + "}";
}

} // namespace installdialogs
