#pragma once
// The login dialog: scan a QR code with the platform's app (the page shown
// first), a password login by phone number with its dialing code or by user
// name, or an outside QQ, WeChat or Weibo account. It only collects input and
// calls the account client; the outcome arrives through the main window's
// logic listener. exec() gives 1 once a login succeeded, 0 when the user
// closed the dialog. Every opening starts afresh; password logins keep the
// login for the next start.
//
// The QR code is polled every second only while the QR page is shown, and
// one timer asks for a new code 55 s after the last one arrived.

#include <QDialog>
#include <QPoint>

class LoginManager;
class QPushButton;
class QTimer;
class ZvToolTip;

namespace Ui {
class ZvLoginWidget;
}

class ZvLoginWidget : public QDialog
{
    Q_OBJECT

public:
    // LoginType: how the dialog logs in.
    enum LoginMode { QRCode = 0, NickName = 1, Phone = 2, QQ = 3, WeChat = 4, Weibo = 5 };

    explicit ZvLoginWidget(QWidget* parent = nullptr);
    ~ZvLoginWidget() override;

    int loginMode() const { return m_loginMode; }

    bool eventFilter(QObject* watched, QEvent* event) override;

public slots:
    void OnInitDelayed();
    void OnBeginLogin();
    void OnLoginFinished(int errorCode, QString errorMsg);
    void sltLoginSuccess();
    void sltGetQRCodeFailed(int errorCode, QString errorMsg);
    void timerDone();
    void onAeroCodeComboClicked(int index);
    void isShowPsd();
    void onQRCodeChanged();
    void sltCheckQRCode();
    void on_button_close_clicked();
    void on_button_loginbypsw_clicked();
    void on_button_loginbyQRcode_clicked();
    void on_button_phonelogin_clicked();
    void on_button_nickname_clicked();
    void on_button_login_clicked();
    void on_button_QQ_clicked();
    void on_button_WeChat_clicked();
    void on_button_MicroBlog_clicked();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void loadStyleSheet();
    void initTitleBackground();
    void initQRCodeLogin();
    void initWidgets();
    void selectCurrentAreaCode();
    void centerToolTip();
    // Polls the scan state every second (QR page only).
    void startQRCodePolling();
    void showFailure(int errorCode, const QString& errorMsg);
    // Phone or NickName: that tab orange, its sub-page shown.
    void showAccountTab(int mode);
    void runThirdLogin(int mode, bool (LoginManager::*login)());

    Ui::ZvLoginWidget* ui;
    bool m_dragActive = false;
    QPoint m_dragAnchor;
    QPushButton* m_showPasswordButton = nullptr;
    int m_loginMode = QRCode;
    // The last QR-code, user-name or phone mode before an outside-account
    // click: the mode to go back to when that login fails.
    int m_modeBeforeThirdLogin = Phone;
    QTimer* m_qrPollTimer;
    QTimer* m_qrRefreshTimer;
    ZvToolTip* m_toolTip;
};
