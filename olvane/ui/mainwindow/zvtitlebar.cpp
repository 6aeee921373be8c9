#include "ui/mainwindow/zvtitlebar.h"
#include "ui_zvtitlebar.h"

#include "core/appconfig.h"
#include "core/pathlayout.h"
#include "core/serverurltable.h"
#include "core/stringconstants.h"
#include "core/systemutils.h"
#include "core/zavmopointing.h"
#include "logic/loginmanager.h"
#include "logic/safefilename.h"
#include "logic/zvfiledownloader.h"
#include "logic/zvlogicfw.h"
#include "ui/login/zvloginwidget.h"
#include "ui/mainwindow/widgets/mainwindowlink.h"
#include "ui/mainwindow/widgets/uilogiclistener.h"
#include "ui/mainwindow/widgets/zvappquittip.h"
#include "ui/mainwindow/zvsystemsettingdlg.h"
#include "ui/mainwindow/zvtitlemenu.h"

#include <QFile>
#include <QPointer>
#include <QTimer>

namespace {

constexpr int kQuitDelayMs = 100;

LoginManager* loginManager()
{
    return ZvLogicFW::instance()->getLoginManager();
}

} // namespace

zvTitleBar::zvTitleBar(QWidget* parent) : QWidget(parent), ui(new Ui::zvTitleBar)
{
    ui->setupUi(this);
    loadStyleSheet();
    initUi();
}

zvTitleBar::~zvTitleBar()
{
    delete m_titleMenu;
    delete ui;
}

void zvTitleBar::loadStyleSheet()
{
    setStyleSheet(readFileText(QStringLiteral(":/Qss/MainWidgetQss.qss")));
}

void zvTitleBar::initUi()
{
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setBrush(QPalette::Window, QPixmap(QStringLiteral(":/Resources/titlebar_back.png"))
                                       .scaled(size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
    setPalette(pal);

    ui->button_live->setCheckable(true);
    ui->button_toolbox->setCheckable(true);
    ui->label_myRoom->installEventFilter(this);
    ui->Button_user_header->hide();
    on_button_live_clicked();
}

void zvTitleBar::initialize()
{
    if (UILogicListener* listener = mainWindowLink().listener) {
        connect(listener, &UILogicListener::sglLoginSuccessed, this, &zvTitleBar::sltLoginSuccess,
                Qt::QueuedConnection);
        connect(listener, &UILogicListener::sglLogout, this, &zvTitleBar::sltLogout, Qt::QueuedConnection);
        connect(listener, &UILogicListener::sglDownloadFinished, this, &zvTitleBar::sltDownloadFinished,
                Qt::QueuedConnection);
    }
    LoginManager* login = loginManager();
    if (!login)
        return;
    login->setVersion(getAppVersion());
}

void zvTitleBar::setHeadImage(QString path)
{
    ui->Button_user_header->setHeadImage(path);
}

void zvTitleBar::on_button_min_clicked()
{
    if (QWidget* window = parentWidget())
        window->showMinimized();
}

void zvTitleBar::on_button_close_clicked()
{
    QWidget* window = parentWidget();
    if (!window)
        return;
    int closeMode = CLOSE_QUIT;
    bool cancelled = false;
    if (AppConfig* config = mainWindowLink().config) {
        saveSettings(config, "zvTitleBar::on_button_close_clicked");
        if (config->getShowCloseTipEnable()) {
            zvAppQuitTip tip(window);
            cancelled = tip.exec() != QDialog::Accepted;
        }
        // Read after the prompt: the choice just made counts.
        closeMode = config->getCloseMode();
    }
    if (cancelled)
        return;
    if (closeMode != CLOSE_QUIT) {
        hideToTray(window);
        return;
    }
    window->hide();
    pointEventWithInt(PointEndupQuit, QStringLiteral("type"), 1);
    QTimer::singleShot(kQuitDelayMs, this, &zvTitleBar::closeAndQuit);
}

void zvTitleBar::closeAndQuit()
{
    if (QWidget* window = parentWidget())
        window->close();
    quitApplication();
}

void zvTitleBar::on_button_setting_clicked()
{
    zvSystemSettingDlg dialog(mainWindowLink().window);
    dialog.exec();
}

void zvTitleBar::on_button_live_clicked()
{
    emit slg_Openpage(PAGE_LIVE);
    ui->button_live->setChecked(true);
    ui->button_toolbox->setChecked(false);
}

void zvTitleBar::on_button_toolbox_clicked()
{
    emit slg_Openpage(PAGE_TOOLBOX);
    ui->button_live->setChecked(false);
    ui->button_toolbox->setChecked(true);
}

void zvTitleBar::runLoginDialog()
{
    ZvLoginWidget dialog(mainWindowLink().window);
    dialog.exec();
}

void zvTitleBar::on_Button_login_clicked()
{
    LoginManager* login = loginManager();
    if (!login)
        return;
    if (!login->isLogin()) {
        // A login made there shows up through sltLoginSuccess.
        runLoginDialog();
        return;
    }
    if (!m_titleMenu)
        m_titleMenu = new zvTitleMenu(this);
    m_titleMenu->show();
    const QPoint corner(ui->Button_login->x() - 50, ui->Button_login->y() + 24);
    m_titleMenu->move(mapToGlobal(corner));
    m_titleMenu->setFocus();
}

bool zvTitleBar::eventFilter(QObject* watched, QEvent* event)
{
    LoginManager* login = loginManager();
    if (!login || watched != ui->label_myRoom || event->type() != QEvent::MouseButtonPress)
        return false;
    pointEvent(PointClickTopnaviMystudio);
    if (login->isLogin())
        openUrl(QString::fromUtf8(webHomeUrl()) + QString::number(login->getRoomId()));
    else
        runLoginDialog();
    return true;
}

QString zvTitleBar::avatarTaskName() const
{
    return kUserHeaderImageDownloadKey + QStringLiteral("_") + m_userName;
}

void zvTitleBar::sltLoginSuccess()
{
    LoginManager* login = loginManager();
    if (!login)
        return;
    m_userName = login->getNickName();
    // A button reads "&" as a mnemonic marker: the nickname shows as it is.
    ui->Button_login->setText(QString(m_userName).replace(QLatin1Char('&'), QLatin1String("&&")));
    ui->Button_user_header->show();
    setHeadImage(QStringLiteral(":/Resources/icon_login_user.png"));

    const QString avatarUrl = login->getAvatarUrl();
    ZvFileDownloaderMgr* downloads = ZvLogicFW::instance()->getFileDownloaderMgr();
    // The nickname comes from the server: the file name must stay one name
    // inside the image folder.
    if (!avatarUrl.isEmpty() && downloads)
        downloads->startDownload(avatarTaskName(), avatarUrl, getImageDir(), true,
                                 safeFileName(m_userName + QStringLiteral("_middle")));
}

void zvTitleBar::sltDownloadFinished(QString name, QString file)
{
    if (name == avatarTaskName()) {
        setHeadImage(file);
        return;
    }
    // The avatar of a user who has logged out since.
    if (name.split(QLatin1Char('_')).first() == kUserHeaderImageDownloadKey)
        QFile::remove(file);
}

void zvTitleBar::sltLogout()
{
    const QString taskName = avatarTaskName();
    m_userName.clear();
    if (ZvFileDownloaderMgr* downloads = ZvLogicFW::instance()->getFileDownloaderMgr())
        downloads->cancelDownload(taskName);
    ui->Button_login->setText(QStringLiteral("登录"));
    ui->Button_user_header->hide();
}
