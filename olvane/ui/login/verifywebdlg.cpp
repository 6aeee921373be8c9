#include "ui/login/verifywebdlg.h"
#include "ui_verifywebdlg.h"

#include <QNetworkAccessManager>
#include <QPainter>
#include <QStyleOption>
#include <QUrlQuery>
#include <QWebPage>
#include <QWebView>

namespace {

constexpr int kMargin = 0;
constexpr int kWidth = 360;
constexpr int kHeight = 445;
constexpr int kTitleHeight = 42;
constexpr int kCloseSize = 13;

} // namespace

VerifyWebDlg::VerifyWebDlg(QWidget* parent) : QDialog(parent), ui(new Ui::VerifyWebDlg)
{
    ui->setupUi(this);
    ui->closeBtn->setStyleSheet(QStringLiteral(
        "QPushButton{background: transparent;border:none;border-image:url(:/Resources/dialog_close_normal.png) "
        "stretch stretch }QPushButton:hover{border-image:url(:/Resources/dialog_close_normal.png)}"
        "QPushButton:pressed{border-image:url(:/Resources/dialog_close_normal.png)}"));
    setStyleSheet(QStringLiteral(
        "background-color: white;border-width: 1px 1px 1px 1px;border-style: solid;border-color: #ff5500;"));

    QPalette palette = ui->lbTitle->palette();
    palette.setColor(QPalette::WindowText, QColor(137, 137, 137));
    palette.setColor(QPalette::Window, Qt::white);
    ui->lbTitle->setPalette(palette);
    ui->lbTitle->setText(QStringLiteral("登录验证"));
    ui->lbTitle->setAttribute(Qt::WA_TranslucentBackground);

    setFixedSize(kWidth, kHeight);
    ui->lbTitle->move(kWidth / 2 - 40, kMargin + 7);
    ui->closeBtn->setGeometry(kWidth - kCloseSize - 10 - kMargin, kMargin + 10, kCloseSize, kCloseSize);
    ui->webView->setGeometry(kMargin + 1, kMargin + kTitleHeight, kWidth - 2 * kMargin - 2,
                             kHeight - kTitleHeight - 2 * kMargin - 1);

    // The form connects on_webView_urlChanged by name.
    connect(ui->webView->page()->networkAccessManager(), &QNetworkAccessManager::sslErrors, this,
            &VerifyWebDlg::on_sslErrors);
    setWindowFlags(Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::Dialog);
    setMouseTracking(true);
    setModal(true);
}

VerifyWebDlg::~VerifyWebDlg()
{
    delete ui;
}

QWebView* VerifyWebDlg::getWebView() const
{
    return ui->webView;
}

void VerifyWebDlg::on_closeBtn_clicked()
{
    reject();
}

void VerifyWebDlg::on_webView_urlChanged(const QUrl& url)
{
    if (url.toString().isEmpty())
        return;
    const std::pair<const char*, QString*> keys[] = {
        {"captcha_word", &m_captchaWord},           {"captcha_key", &m_captchaKey},
        {"geetest_challenge", &m_geetestChallenge}, {"geetest_validate", &m_geetestValidate},
        {"geetest_seccode", &m_geetestSeccode},
    };
    for (const auto& item : QUrlQuery(url).queryItems(QUrl::FullyDecoded))
        for (const auto& key : keys)
            if (item.first == QLatin1String(key.first))
                *key.second = item.second;

    const bool captcha = !m_captchaWord.isEmpty() && !m_captchaKey.isEmpty();
    const bool geetest = !m_geetestChallenge.isEmpty() && !m_geetestSeccode.isEmpty() && !m_geetestValidate.isEmpty();
    if (captcha || geetest)
        accept();
}

void VerifyWebDlg::on_sslErrors(QNetworkReply*, const QList<QSslError>& errors)
{
    logSslErrors(errors);
}

void VerifyWebDlg::mousePressEvent(QMouseEvent* event)
{
    m_drag.press(*this, *event);
}

void VerifyWebDlg::mouseMoveEvent(QMouseEvent* event)
{
    m_drag.move(*this, *event);
}

void VerifyWebDlg::paintEvent(QPaintEvent* event)
{
    // The style sheet's white background and orange border.
    QStyleOption option;
    option.initFrom(this);
    QPainter painter(this);
    style()->drawPrimitive(QStyle::PE_Widget, &option, &painter, this);
    QDialog::paintEvent(event);
}
