#include "ui/login/zvloginwidget.h"
#include "ui_zvloginwidget.h"

#include "core/serverurltable.h"
#include "core/systemutils.h"
#include "logic/loginmanager.h"
#include "logic/zvlogicfw.h"
#include "ui/login/areacodetable.h"
#include "ui/mainwindow/widgets/cmbitemdelegate.h"
#include "ui/mainwindow/widgets/mainwindowlink.h"
#include "ui/mainwindow/widgets/uilogiclistener.h"
#include "ui/mainwindow/widgets/zvtooltip.h"

#include <QAbstractItemView>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QStyleOption>
#include <QTimer>

namespace {

constexpr int kQRCodeSize = 142;
constexpr int kQRCodeMargin = 10;
constexpr int kQRPollMs = 1000;
constexpr int kQRRefreshMs = 55000;
constexpr int kFirstQRDelayMs = 1000;
constexpr int kInitDelayMs = 2000;

const char kTabSelected[] = "QPushButton{color:#ff5500;font: 14px \"微软雅黑\";border:none}";
const char kTabNormal[] = "QPushButton{color:#89898a;font: 14px \"微软雅黑\";border:none}";

LoginManager* loginManager()
{
    return ZvLogicFW::instance()->getLoginManager();
}

void openPage(const char* address)
{
    const QString url = QString::fromUtf8(address);
    if (!url.isEmpty())
        openUrl(url);
}

// The icon label inside a line edit, right-aligned and centred vertically.
QLabel* fieldIcon(QWidget* field, const QString& picture, int width, int height)
{
    auto* icon = new QLabel(field);
    icon->setPixmap(QPixmap(picture));
    icon->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    icon->setFixedSize(width, height);
    return icon;
}

} // namespace

ZvLoginWidget::ZvLoginWidget(QWidget* parent)
    : QDialog(parent), ui(new Ui::ZvLoginWidget), m_qrPollTimer(nullptr), m_qrRefreshTimer(nullptr), m_toolTip(nullptr)
{
    ui->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint | Qt::WindowSystemMenuHint);
    loadStyleSheet();
    initTitleBackground();

    m_qrPollTimer = new QTimer(this);
    connect(m_qrPollTimer, &QTimer::timeout, this, &ZvLoginWidget::sltCheckQRCode);
    // One refresh timer, restarted by each new code: refreshes never pile up.
    m_qrRefreshTimer = new QTimer(this);
    m_qrRefreshTimer->setSingleShot(true);
    m_qrRefreshTimer->setInterval(kQRRefreshMs);
    connect(m_qrRefreshTimer, &QTimer::timeout, this, &ZvLoginWidget::timerDone);

    ui->button_close->setFocusPolicy(Qt::NoFocus);
    ui->button_loginbypsw->setCursor(Qt::PointingHandCursor);
    ui->button_loginbyQRcode->setCursor(Qt::PointingHandCursor);
    setTabOrder(ui->ledit_phonenumber, ui->ledit_password);
    setTabOrder(ui->ledit_username, ui->ledit_password);
    setTabOrder(ui->ledit_password, ui->button_login);

    if (UILogicListener* listener = mainWindowLink().listener) {
        connect(listener, &UILogicListener::sglBeginLogin, this, &ZvLoginWidget::OnBeginLogin);
        connect(listener, &UILogicListener::sglLoginFinished, this, &ZvLoginWidget::OnLoginFinished);
        connect(listener, &UILogicListener::sglQRCodeChanged, this, &ZvLoginWidget::onQRCodeChanged);
        connect(listener, &UILogicListener::sglLoginSuccessed, this, &ZvLoginWidget::sltLoginSuccess);
        connect(listener, &UILogicListener::sglGetQRCodeFailed, this, &ZvLoginWidget::sltGetQRCodeFailed);
    }
    QTimer::singleShot(kInitDelayMs, this, &ZvLoginWidget::OnInitDelayed);

    m_toolTip = new ZvToolTip(this);
    m_toolTip->resize(300, 40);
    m_toolTip->hide();
    m_toolTip->setTipColors(Qt::white, Qt::black);

    initQRCodeLogin();
    initWidgets();
}

ZvLoginWidget::~ZvLoginWidget()
{
    delete ui;
}

void ZvLoginWidget::loadStyleSheet()
{
    const QString sheet = readFileText2(QStringLiteral(":/Qss/ZvLoginWidgetQss.qss"));
    setStyleSheet(sheet);
    ui->page->setStyleSheet(sheet);
    ui->page_2->setStyleSheet(sheet);
    ui->combo_Area_code->setStyleSheet(sheet);
}

void ZvLoginWidget::initTitleBackground()
{
    ui->widget_title->setAutoFillBackground(true);
    QPalette palette = ui->widget_title->palette();
    palette.setBrush(QPalette::Window, QBrush(QPixmap(QStringLiteral(":/Resources/choose_titleback.png"))));
    ui->widget_title->setPalette(palette);
}

void ZvLoginWidget::initQRCodeLogin()
{
    LoginManager* login = loginManager();
    if (!login)
        return;
    if (login->isServerTimespaceValid()) {
        login->requestQRCode();
        startQRCodePolling();
    } else {
        // The first request waits for the time synchronisation; by then the
        // user may have left the QR page, which then asks for its own code.
        QTimer::singleShot(kFirstQRDelayMs, this, [this] {
            LoginManager* login = loginManager();
            if (!login || m_loginMode != QRCode)
                return;
            login->requestQRCode();
            startQRCodePolling();
        });
    }
    ui->label_4->setPixmap(QPixmap(QStringLiteral(":/Resources/Login/phone.png")));
    ui->label_zavmoAPP->installEventFilter(this);
    ui->label_loginbypsd->installEventFilter(this);
    ui->label_register->installEventFilter(this);
}

void ZvLoginWidget::initWidgets()
{
    ui->ledit_phonenumber->setTextMargins(15, 0, 0, 0);
    ui->page_3->show();
    ui->page_4->hide();

    QComboBox* combo = ui->combo_Area_code;
    combo->setItemDelegate(new CmbItemDelegate(combo));
    for (int i = 0; i < kAreaCodeCount; ++i)
        combo->insertItem(i, areaCodeTable[i].text, areaCodeTable[i].code);
    combo->setMaxVisibleItems(6);
    combo->view()->setFixedWidth(300);
    combo->setEditable(true);
    // A typed code is not a row: Enter must not add one without a code.
    combo->setInsertPolicy(QComboBox::NoInsert);
    connect(combo, QOverload<int>::of(&QComboBox::activated), this, &ZvLoginWidget::onAeroCodeComboClicked);

    QLabel* head = fieldIcon(ui->ledit_username, QStringLiteral(":/Resources/Login/login-head.png"), 15, 16);
    auto* headLayout = new QHBoxLayout(ui->ledit_username);
    headLayout->addWidget(head);
    headLayout->addStretch();
    headLayout->setContentsMargins(10, 0, 10, 0);
    QMargins margins = ui->ledit_username->textMargins();
    margins.setLeft(head->width() + 15);
    ui->ledit_username->setTextMargins(margins);

    QLabel* lock = fieldIcon(ui->ledit_password, QStringLiteral(":/Resources/Login/login_psd.png"), 14, 17);
    m_showPasswordButton = new QPushButton(this);
    m_showPasswordButton->setCheckable(true);
    m_showPasswordButton->setCursor(Qt::PointingHandCursor);
    m_showPasswordButton->setFixedSize(16, 17);
    // Not a candidate for the dialog's default button: Enter logs in.
    m_showPasswordButton->setAutoDefault(false);
    m_showPasswordButton->setStyleSheet(
        QStringLiteral("QPushButton{border-image:url(:/Resources/Login/hidePsd.png);}"
                       "QPushButton:checked{border-image:url(:/Resources/Login/showPsd.png)}"));
    connect(m_showPasswordButton, &QPushButton::clicked, this, &ZvLoginWidget::isShowPsd);
    auto* passwordLayout = new QHBoxLayout(ui->ledit_password);
    passwordLayout->addWidget(lock);
    passwordLayout->addStretch();
    passwordLayout->addWidget(m_showPasswordButton);
    passwordLayout->setSpacing(0);
    const int sideMargin = 10;
    passwordLayout->setContentsMargins(sideMargin, 0, sideMargin, 0);
    // The text ends left of the eye button, which sits inside the layout's
    // right margin.
    margins = ui->ledit_password->textMargins();
    margins.setLeft(lock->width() + 15);
    margins.setRight(m_showPasswordButton->width() + sideMargin);
    ui->ledit_password->setTextMargins(margins);

    for (QLineEdit* field : {ui->ledit_phonenumber, ui->ledit_username, ui->ledit_password})
        field->setContextMenuPolicy(Qt::NoContextMenu);
    ui->ledit_phonenumber->setPlaceholderText(QStringLiteral("请输入电话号码"));
    ui->ledit_username->setPlaceholderText(QStringLiteral("请输入用户昵称"));
    ui->ledit_password->setPlaceholderText(QStringLiteral("请输入您的密码"));
    ui->ledit_password->setEchoMode(QLineEdit::Password);

    ui->ledit_password->installEventFilter(this);
    ui->label_5register->installEventFilter(this);
    ui->label_forgetPsd->installEventFilter(this);
    selectCurrentAreaCode();
}

void ZvLoginWidget::selectCurrentAreaCode()
{
    onAeroCodeComboClicked(ui->combo_Area_code->currentIndex());
}

void ZvLoginWidget::centerToolTip()
{
    m_toolTip->move(x() + (width() - m_toolTip->width()) / 2, y() + (height() - m_toolTip->height()) / 2);
}

void ZvLoginWidget::startQRCodePolling()
{
    m_qrPollTimer->start(kQRPollMs);
}

void ZvLoginWidget::OnInitDelayed()
{
    centerToolTip();
}

void ZvLoginWidget::OnBeginLogin()
{
    ui->button_login->setEnabled(false);
}

void ZvLoginWidget::showFailure(int errorCode, const QString& errorMsg)
{
    m_toolTip->showMessage(errorCode == -1 ? errorMsg : QStringLiteral("错误码：%1，%2").arg(errorCode).arg(errorMsg));
}

void ZvLoginWidget::OnLoginFinished(int errorCode, QString errorMsg)
{
    ui->button_login->setEnabled(true);
    // A failed outside-account sign-in leaves the tab's password login
    // usable again.
    if (m_loginMode >= QQ)
        m_loginMode = m_modeBeforeThirdLogin;
    showFailure(errorCode, errorMsg);
}

void ZvLoginWidget::sltLoginSuccess()
{
    accept();
}

void ZvLoginWidget::sltGetQRCodeFailed(int errorCode, QString errorMsg)
{
    showFailure(errorCode, errorMsg);
}

void ZvLoginWidget::timerDone()
{
    if (m_loginMode != QRCode)
        return;
    if (LoginManager* login = loginManager())
        login->requestQRCode();
}

void ZvLoginWidget::onAeroCodeComboClicked(int index)
{
    // Only a row's code goes into the box, never its whole display text.
    const QString code = ui->combo_Area_code->itemData(index, Qt::UserRole).toString();
    if (!code.isEmpty())
        ui->combo_Area_code->setEditText(code);
}

void ZvLoginWidget::isShowPsd()
{
    ui->ledit_password->setEchoMode(m_showPasswordButton->isChecked() ? QLineEdit::Normal : QLineEdit::Password);
}

void ZvLoginWidget::onQRCodeChanged()
{
    LoginManager* login = loginManager();
    if (!login)
        return;
    ui->label_QR_code->setPixmap(QPixmap::fromImage(login->getQRCodeImage(kQRCodeSize, kQRCodeMargin)));
    m_qrRefreshTimer->start();
}

void ZvLoginWidget::sltCheckQRCode()
{
    if (LoginManager* login = loginManager())
        login->checkQRCodeAuth();
}

void ZvLoginWidget::on_button_close_clicked()
{
    reject();
}

void ZvLoginWidget::on_button_loginbypsw_clicked()
{
    ui->page->hide();
    ui->page_2->show();
    m_loginMode = ui->page_3->isHidden() ? NickName : Phone;
    m_qrPollTimer->stop();
}

void ZvLoginWidget::on_button_loginbyQRcode_clicked()
{
    m_loginMode = QRCode;
    ui->page->show();
    ui->page_2->hide();
    LoginManager* login = loginManager();
    if (!login)
        return;
    login->requestQRCode();
    startQRCodePolling();
}

void ZvLoginWidget::on_button_phonelogin_clicked()
{
    showAccountTab(Phone);
}

void ZvLoginWidget::on_button_nickname_clicked()
{
    showAccountTab(NickName);
}

void ZvLoginWidget::showAccountTab(int mode)
{
    const bool phone = mode == Phone;
    m_loginMode = mode;
    ui->button_phonelogin->setStyleSheet(QString::fromUtf8(phone ? kTabSelected : kTabNormal));
    ui->button_nickname->setStyleSheet(QString::fromUtf8(phone ? kTabNormal : kTabSelected));
    ui->page_3->setVisible(phone);
    ui->page_4->setVisible(!phone);
}

void ZvLoginWidget::on_button_login_clicked()
{
    const QString userName = ui->ledit_username->text();
    const QString password = ui->ledit_password->text();
    const QString phone = ui->ledit_phonenumber->text();
    const QString codeText = ui->combo_Area_code->currentText();
    const QString areaCode = codeText.mid(codeText.lastIndexOf(QLatin1Char('+')) + 1);

    if (m_loginMode == NickName && (userName.isEmpty() || password.isEmpty())) {
        m_toolTip->showMessage(QStringLiteral("用户名或密码为空!"));
        return;
    }
    if (m_loginMode == Phone && (phone.isEmpty() || password.isEmpty())) {
        m_toolTip->showMessage(QStringLiteral("电话号码或密码为空!"));
        return;
    }
    LoginManager* login = loginManager();
    if (!login)
        return;
    if (m_loginMode == Phone)
        login->loginByPhone(phone, password, areaCode, true);
    else if (m_loginMode == NickName)
        login->loginByNickName(userName, password, true);
}

void ZvLoginWidget::runThirdLogin(int mode, bool (LoginManager::*login)())
{
    LoginManager* manager = loginManager();
    if (!manager)
        return;
    // Only a mode of the dialog's own is remembered: a second outside click
    // while one is pending must not make that one the mode to go back to.
    if (m_loginMode < QQ)
        m_modeBeforeThirdLogin = m_loginMode;
    m_loginMode = mode;
    if (!(manager->*login)())
        m_loginMode = m_modeBeforeThirdLogin;
}

void ZvLoginWidget::on_button_QQ_clicked()
{
    runThirdLogin(QQ, &LoginManager::loginByQQ);
}

void ZvLoginWidget::on_button_WeChat_clicked()
{
    runThirdLogin(WeChat, &LoginManager::loginByWeChat);
}

void ZvLoginWidget::on_button_MicroBlog_clicked()
{
    runThirdLogin(Weibo, &LoginManager::loginByWeibo);
}

bool ZvLoginWidget::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::MouseButtonPress) {
        if (watched == ui->label_zavmoAPP)
            openPage(clientDownloadPageUrl());
        else if (watched == ui->label_loginbypsd)
            on_button_loginbypsw_clicked();
        else if (watched == ui->label_register || watched == ui->label_5register)
            openPage(registerUrl());
        else if (watched == ui->label_forgetPsd)
            openPage(findPasswordUrl());
    } else if (event->type() == QEvent::KeyPress && watched == ui->ledit_password) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            on_button_login_clicked();
            // Taken here: passed on, the dialog would press its default
            // button and send the login a second time.
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void ZvLoginWidget::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) {
        // Each left press decides anew: a drag whose release went elsewhere
        // (the moves in between reach the dialog only with buttons held)
        // ends at a press below the title.
        m_dragActive = QRect(QPoint(0, 0), ui->widget_title->size()).contains(event->pos());
        m_dragAnchor = event->globalPos();
    }
    QDialog::mousePressEvent(event);
}

void ZvLoginWidget::mouseReleaseEvent(QMouseEvent* event)
{
    // Any release of the left button ends the drag, so that a later press
    // below the title cannot move the window.
    if (event->button() == Qt::LeftButton)
        m_dragActive = false;
    QDialog::mouseReleaseEvent(event);
}

void ZvLoginWidget::mouseMoveEvent(QMouseEvent* event)
{
    // A release that went elsewhere (to a prompt opened mid-drag) ends the
    // drag as well.
    if (!(event->buttons() & Qt::LeftButton))
        m_dragActive = false;
    if (m_dragActive) {
        move(pos() + event->globalPos() - m_dragAnchor);
        m_dragAnchor = event->globalPos();
    }
    QDialog::mouseMoveEvent(event);
    centerToolTip();
}

void ZvLoginWidget::paintEvent(QPaintEvent* event)
{
    QStyleOption option;
    option.initFrom(this);
    QPainter painter(this);
    style()->drawPrimitive(QStyle::PE_Widget, &option, &painter, this);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath path;
    path.setFillRule(Qt::WindingFill);
    path.addRect(rect());
    painter.fillPath(path, QColor(245, 245, 251));
    // On the pixel centres, so that all four edges show and stay sharp.
    painter.setPen(QPen(QColor(0x53, 0x53, 0x53), 1));
    painter.drawRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5));
    QDialog::paintEvent(event);
}
