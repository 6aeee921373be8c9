#pragma once
// The captcha check a password login may have to pass (login error 81): the
// platform's captcha page in a web view. The page ends on an address whose
// query carries the solved values; once it holds captcha_word and
// captcha_key, or geetest_challenge, geetest_seccode and geetest_validate,
// all non-empty, the dialog accepts. Each value keeps the last one seen in
// any address. The close button rejects. Frameless, stays on top, modal;
// dragged by any press inside it outside the page.
//
// Certificates are verified: a page whose certificate fails does not load,
// and its errors are logged.

#include "ui/login/webdialogsupport.h"

#include <QDialog>
#include <QList>
#include <QNetworkReply>
#include <QSslError>
#include <QUrl>

class QWebView;

namespace Ui {
class VerifyWebDlg;
}

class VerifyWebDlg : public QDialog
{
    Q_OBJECT

public:
    explicit VerifyWebDlg(QWidget* parent = nullptr);
    ~VerifyWebDlg() override;

    QString getCaptchaWord() const { return m_captchaWord; }
    QString getCaptchaKey() const { return m_captchaKey; }
    QString getGeetestChallenge() const { return m_geetestChallenge; }
    QString getGeetestValidate() const { return m_geetestValidate; }
    QString getGeetestSeccode() const { return m_geetestSeccode; }

    // The view the caller loads the captcha page into.
    QWebView* getWebView() const;

public slots:
    void on_closeBtn_clicked();
    void on_webView_urlChanged(const QUrl& url);
    void on_sslErrors(QNetworkReply* reply, const QList<QSslError>& errors);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    Ui::VerifyWebDlg* ui;
    WebDialogDrag m_drag;
    QString m_captchaWord;
    QString m_captchaKey;
    QString m_geetestChallenge;
    QString m_geetestValidate;
    QString m_geetestSeccode;
};
