#include "ui/login/webviewdlg.h"
#include "ui_webviewdlg.h"

#include "ui/login/myqwebpage.h"

#include <QNetworkAccessManager>
#include <QWebView>

namespace {

constexpr int kWidth = 832;
constexpr int kHeight = 619;
constexpr int kTitleHeight = 56;
constexpr int kCloseSize = 24;

} // namespace

WebViewDlg::WebViewDlg(QWidget* parent) : QDialog(parent), ui(new Ui::WebViewDlg), m_page(nullptr)
{
    ui->setupUi(this);
    // Normal, hover and pressed are cut from one strip of 24-pixel frames.
    ui->closeBtn->setStyleSheet(QStringLiteral(
        "QPushButton{background: transparent;border:none;border-image:url(:/Resources/Login/btn_ThirdParty_close.png) "
        "0 72 0 0 stretch stretch }QPushButton:hover{border-image:url(:/Resources/Login/btn_ThirdParty_close.png) 0 48 "
        "0 24}QPushButton:pressed{border-image:url(:/Resources/Login/btn_ThirdParty_close.png) 0 24 0 48}"));
    setStyleSheet(QStringLiteral("background-color: #f9f9f9;"));
    QPalette palette = ui->label->palette();
    palette.setColor(QPalette::WindowText, QColor(169, 101, 101));
    ui->label->setPalette(palette);
    ui->label->setText(QStringLiteral("第三方登录"));

    setFixedSize(kWidth, kHeight);
    ui->closeBtn->setGeometry(kWidth - kCloseSize - 2, 2, kCloseSize, kCloseSize);
    ui->webView->setGeometry(0, kTitleHeight, kWidth, kHeight - kTitleHeight);
    m_page = new MyQWebPage(this);
    ui->webView->setPage(m_page);

    // No window type: without a parent it is a top-level window all the same.
    setWindowFlags(Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
    setMouseTracking(true);
    connect(m_page->networkAccessManager(), &QNetworkAccessManager::sslErrors, this, &WebViewDlg::handleSslErrors);
    setModal(true);
}

WebViewDlg::~WebViewDlg()
{
    delete ui;
}

QWebView* WebViewDlg::getWebView() const
{
    return ui->webView;
}

void WebViewDlg::setTitle(const QString& title)
{
    ui->label->setText(title);
}

void WebViewDlg::on_closeBtn_clicked()
{
    reject();
}

void WebViewDlg::handleSslErrors(QNetworkReply*, const QList<QSslError>& errors)
{
    logSslErrors(errors);
}

void WebViewDlg::mousePressEvent(QMouseEvent* event)
{
    m_drag.press(*this, *event);
}

void WebViewDlg::mouseMoveEvent(QMouseEvent* event)
{
    m_drag.move(*this, *event);
}
