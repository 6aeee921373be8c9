#include "ui/install/zvinstallwizard.h"

#include "core/appconfig.h"
#include "core/pathlayout.h"
#include "core/serverurltable.h"
#include "core/stringconstants.h"
#include "core/systemutils.h"
#include "core/zavmopointing.h"
#include "logic/zvfiledownloader.h"
#include "logic/zvlivetoolsmanager.h"
#include "ui/install/installdialogs.h"
#include "ui/install/zvinstallafteruninstall.h"
#include "ui/mainwindow/widgets/mainwindowlink.h"
#include "ui/mainwindow/widgets/uilogiclistener.h"

#include <QDebug>
#include <QEvent>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>

using installdialogs::downloaderMgr;
using installdialogs::toolsManager;

ZvInstallWizard::ZvInstallWizard(QWidget* parent) : QDialog(parent) {}

ZvInstallWizard::~ZvInstallWizard() = default;

void ZvInstallWizard::initWizard(const Form& form, const QList<Edition>& editions, Qt::ConnectionType connection)
{
    m_form = form;
    m_editions = editions;
    m_currentTool = editions.value(0).toolName;

    installdialogs::setHeaderBackground(this, form.headers);
    if (form.webLink)
        form.webLink->installEventFilter(this);
    for (const Edition& e : qAsConst(m_editions))
        e.reload->installEventFilter(this);

    UILogicListener* listener = mainWindowLink().listener;
    m_installAfterUninstall = ZvInstallAfterUninstall::forListener(listener);
    if (!m_installAfterUninstall) // no listener: nothing can follow (logged)
        m_installAfterUninstall = new ZvInstallAfterUninstall(listener, this);
    connect(m_installAfterUninstall, &ZvInstallAfterUninstall::sglInstallAfterUninstall, this,
            &ZvInstallWizard::sltInstallAfterUninstall);
    if (listener) {
        connect(listener, &UILogicListener::sglUpdateDownloadProgress, this,
                &ZvInstallWizard::sltUpdateDownloadProgress, connection);
        connect(listener, &UILogicListener::sglDownloadFinished, this, &ZvInstallWizard::sltDownloadFinished,
                connection);
        connect(listener, &UILogicListener::sglDownloadFailed, this, &ZvInstallWizard::sltDownloadFailed, connection);
        connect(listener, &UILogicListener::sglLiveToolInstallProgress, this,
                &ZvInstallWizard::sltLiveToolInstallProgress, connection);
        connect(listener, &UILogicListener::sglLiveToolInstallFinished, this,
                &ZvInstallWizard::sltLiveToolInstallFinished, connection);
    } else {
        qWarning().noquote() << "[UI] by kx " + objectName() + " {no logic listener: tasks cannot be followed}";
    }

    refreshInstallState();
    for (const Edition& e : qAsConst(m_editions))
        if (resumeTask(e.toolName))
            break;
}

const ZvInstallWizard::Edition* ZvInstallWizard::edition(const QString& toolName) const
{
    for (const Edition& e : m_editions)
        if (e.toolName == toolName)
            return &e;
    return nullptr;
}

void ZvInstallWizard::showPage(Page page)
{
    for (int i = 0; i < m_form.pages.size(); ++i)
        if (i != page)
            m_form.pages.at(i)->hide();
    m_form.pages.at(page)->show();
}

void ZvInstallWizard::refreshInstallState()
{
    ZvLiveToolsManager* manager = toolsManager();
    for (const Edition& e : qAsConst(m_editions)) {
        e.confirm->hide();
        // Never shown: an uninstall shows as the install page.
        e.uninstalling->hide();
        e.name->setVisible(e.offered);
        e.installed->setVisible(e.offered);
        e.reload->setVisible(e.offered);
        if (e.offered && !(manager && manager->getAppInstallStatus(e.toolName) != APP_NOT_INSTALLED)) {
            // The button lies over the reinstall label.
            e.confirm->show();
            e.installed->hide();
        }
    }
}

bool ZvInstallWizard::resumeTask(const QString& toolName)
{
    ZvFileDownloaderMgr* downloads = downloaderMgr();
    ZvLiveToolsManager* manager = toolsManager();
    int progress = downloads ? downloads->getDownloadProgress(toolName) : -1;
    if (progress >= 0) {
        showPage(DownloadPage);
    } else if (manager && manager->isUnInstalling(toolName)) {
        showPage(InstallPage);
        progress = 0;
    } else {
        progress = manager ? manager->getInstallProgress(toolName) : -1;
        if (progress >= 0)
            showPage(InstallPage);
    }
    setProgress(progress);
    if (progress < 0)
        return false;
    m_currentTool = toolName;
    return true;
}

void ZvInstallWizard::setProgress(int percent)
{
    const int value = qBound(0, percent, 100);
    m_form.download->setValue(value);
    m_form.installing->setValue(value);
}

void ZvInstallWizard::chooseEdition(const Edition& e, bool sendEvent)
{
    if (sendEvent)
        pointEventWithInt(PointClickInstall, QStringLiteral("type"), pointToolType(e.toolName));
    m_currentTool = e.toolName;
    m_installerFile.clear();
    if (installdialogs::refuseWhileRunning(m_currentTool))
        return;
    if (!e.choosesFolder) {
        showPage(DownloadPage);
        downloadInstaller();
        return;
    }
    showPage(FolderPage);
    AppConfig* config = mainWindowLink().config;
    m_form.folder->setText(config ? config->getToolInstallPath(m_currentTool) : QString());
    m_form.folder->setCursorPosition(0);
}

void ZvInstallWizard::on_button_confirmInstall_clicked()
{
    chooseEdition(m_editions.at(0), true);
}

void ZvInstallWizard::on_button_confirmInstall_2_clicked()
{
    chooseEdition(m_editions.at(1), true);
}

bool ZvInstallWizard::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() != QEvent::MouseButtonPress)
        return false;
    if (m_form.webLink && watched == m_form.webLink) {
        openUrl(QString::fromUtf8(obsWebsiteUrl()));
        return false;
    }
    for (const Edition& e : qAsConst(m_editions)) {
        if (watched == e.reload) {
            // A copy: the prompt's event loop may run while it is used.
            const Edition chosen = e;
            chooseEdition(chosen, false);
            break;
        }
    }
    return false;
}

void ZvInstallWizard::on_button_chosePath_clicked()
{
    installdialogs::chooseFolder(this, m_form.folder);
}

void ZvInstallWizard::on_button_return_clicked()
{
    showPage(EditionPage);
    refreshInstallState();
}

void ZvInstallWizard::on_button_nextStep_clicked()
{
    if (installdialogs::refuseWhileRunning(m_currentTool))
        return;
    if (!installdialogs::acceptInstallFolder(mainWindowLink().config, m_currentTool, m_form.folder->text()))
        return;
    showPage(DownloadPage);
    downloadInstaller();
}

void ZvInstallWizard::downloadInstaller()
{
    const QString dir = getDownloadDir();
    ZvLiveToolsManager* manager = toolsManager();
    ZvFileDownloaderMgr* downloads = downloaderMgr();
    const QString url = manager ? manager->getDownloadUrl(m_currentTool) : QString();
    const int result =
        downloads ? downloads->startDownload(m_currentTool, url, dir, false, QString()) : kDownloadNoRequest;
    if (result == kDownloadStarted) {
        setProgress(0);
        return;
    }
    if (result == kDownloadTargetExists) {
        uninstallThenInstall(installerFileOfCurrentTool());
        return;
    }
    qWarning().noquote() << "[UI] by kx download " + m_currentTool + " not started: " + QString::number(result);
    installdialogs::prompt(kPackageDownloadFailedText, true);
}

QString ZvInstallWizard::installerFileOfCurrentTool() const
{
    ZvLiveToolsManager* manager = toolsManager();
    const QString url = manager ? manager->getDownloadUrl(m_currentTool) : QString();
    // The file the pool writes for a download with no file name of its own.
    return getDownloadDir() + QLatin1Char('/') + ZvFileDownloader::targetFileName(url, QString());
}

void ZvInstallWizard::uninstallThenInstall(const QString& installerFile)
{
    m_installerFile = installerFile;
    if (m_installAfterUninstall && m_installAfterUninstall->uninstallThenInstall(m_currentTool, installerFile)) {
        setProgress(0);
        showPage(InstallPage);
        return;
    }
    installTool(m_currentTool, installerFile);
}

void ZvInstallWizard::installTool(const QString& toolName, const QString& installerFile)
{
    if (!installdialogs::startInstall(toolName, installerFile)) {
        close();
        return;
    }
    setProgress(0);
    showPage(InstallPage);
}

bool ZvInstallWizard::isInstalled(const QString& toolName) const
{
    ZvLiveToolsManager* manager = toolsManager();
    if (!manager || !manager->knowsInstallState(toolName))
        return true;
    return manager->getAppInstallStatus(toolName) != APP_NOT_INSTALLED;
}

void ZvInstallWizard::sltUpdateDownloadProgress(QString name, int progress)
{
    if (name == m_currentTool)
        setProgress(progress);
}

void ZvInstallWizard::sltDownloadFinished(QString name, QString downloadedFile)
{
    if (name == m_currentTool)
        uninstallThenInstall(downloadedFile);
}

void ZvInstallWizard::sltDownloadFailed(QString name)
{
    if (name != m_currentTool)
        return;
    installdialogs::prompt(kPackageDownloadFailedText, true);
    close();
}

void ZvInstallWizard::sltInstallAfterUninstall(QString name, bool started)
{
    if (name != m_currentTool)
        return;
    if (!started) {
        close();
        return;
    }
    setProgress(0);
    showPage(InstallPage);
}

void ZvInstallWizard::sltLiveToolInstallProgress(QString name, int progress)
{
    if (name == m_currentTool)
        setProgress(progress);
}

void ZvInstallWizard::sltLiveToolInstallFinished(QString name)
{
    if (name != m_currentTool)
        return;
    if (!isInstalled(name)) {
        qWarning().noquote() << "[UI] by kx install " + name + " {installer ended, tool not installed}";
        installdialogs::discardFailedInstaller(m_installerFile.isEmpty() ? installerFileOfCurrentTool()
                                                                         : m_installerFile);
        installdialogs::prompt(kInstallFailedText, true);
        close();
        return;
    }
    showPage(DonePage);
}

void ZvInstallWizard::on_button_confirm_clicked()
{
    if (const Edition* e = edition(m_currentTool))
        pointEventWithInt(PointClickInstallSucc, QStringLiteral("type"), pointToolType(e->toolName));
    close();
}

void ZvInstallWizard::on_button_close_clicked()
{
    close();
}

void ZvInstallWizard::on_button_close_2_clicked()
{
    close();
}

void ZvInstallWizard::on_button_close_3_clicked()
{
    if (ZvFileDownloaderMgr* downloads = downloaderMgr())
        downloads->cancelDownload(m_currentTool);
    close();
}

void ZvInstallWizard::on_button_close_4_clicked()
{
    close();
}

void ZvInstallWizard::on_button_close_5_clicked()
{
    close();
}
