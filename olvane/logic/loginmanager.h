#pragma once
// LoginManager: Olvane's client of the platform's account and live-room API.
// One object lives for the whole run, on the GUI thread; all requests go out
// asynchronously through its own network manager and every reply comes back
// through handleNetworkResponse, which hands it to the handler of its address.
//
// Every request but the time synchronisation is signed: a sign text built from
// the request's path and values goes to the signing library (GenerateAuthCode),
// whose answer travels as the query value "auth", beside "time", the server's
// idea of now. Until a time synchronisation has succeeded that time is the
// local one minus 65535 s, and each signed request sends one more
// synchronisation.
//
// Outcomes leave as signals; none is emitted while a lock is held (there are
// no locks). Failures to reach the server are reported like server errors,
// with code -1 and a "busy" message.

#include <QByteArray>
#include <QImage>
#include <QList>
#include <QObject>
#include <QPair>
#include <QPointer>
#include <QSslError>
#include <QString>

class QNetworkAccessManager;
class QNetworkReply;
class QUrl;
class ThirdLoginDialog;
class ThirdLoginView;
struct ZvQrSymbol;

// The token record of the last login reply.
struct LoginTokenInfo
{
    QString uid;
    QString shortToken;
    int bizType = -1;
    int longTokenId = -1;
    int clientType = -1;
    QString createTime;
    int expireIn = -1;

    // Empties the texts and sets the numbers to -1.
    void reset();
    // "uid_bizType_shortToken_clientType_longTokenId": the token parameter of
    // the logged-in requests.
    QString toToken() const;
};

class LoginManager : public QObject
{
    Q_OBJECT
public:
    // The offset that means "no time synchronisation has succeeded".
    static constexpr qint64 SERVER_TIME_INVALID = -65535;

    // Sends the first time synchronisation at once.
    LoginManager();
    ~LoginManager() override;

    bool isLogin() const { return m_isLogin; }
    int getRoomId() const { return m_roomId; }
    int getUid() const { return m_uid; }
    QString getNickName() const { return m_nickName; }
    QString getAvatarUrl() const { return m_avatarUrl; }
    bool isInGuild() const { return m_inGuild; }
    void setVersion(const QString& version) { m_version = version; }
    // False (with a warning in the log) while no synchronisation succeeded.
    bool isServerTimespaceValid();

    // Password logins. An empty name, phone number or password ends at once
    // with sglLoginFinished(-1, ...) and sends nothing; otherwise
    // sglBeginLogin, then the request. keepLogin saves the long token.
    void loginByNickName(const QString& nickName, const QString& password, bool keepLogin);
    void loginByPhone(const QString& phoneNum, const QString& password, const QString& areaCode, bool keepLogin);
    // The repeated login after a captcha check, run by the login reply on
    // error 81. True when a new request went out; false when the dialog was
    // closed, cannot be created, or another captcha check is open.
    bool loginWithCaptcha();
    // Logs in with a saved long token; no sglBeginLogin.
    void requestShortToken(const QString& longToken);
    // Logs in from the saved login file, unless logged in already.
    void autoLogin();
    // Forgets the login here and in the saved login file (no request), then
    // sglLogout.
    void logout();

    // The push-address chain: get_rtmplist, my_room, and when the room is
    // closed start_liveroom and my_room again; ends in sglGetRtmpSuccessed or
    // sglGetRtmpFailed.
    void getRtmpInfo();
    // Sends the close request; its answer comes as sglCloseLiveRoomSuccess
    // or sglCloseLiveRommFailed.
    void closeLiveRoom();
    // Runs the event loop until every close request sent is answered, for
    // timeoutMs at most: at quit, a close the user asked for still leaves.
    void waitForCloseLiveRoom(int timeoutMs);
    // Clears the guild flag and asks again; every reply ends in
    // sglCheckInGuildRequest.
    void checkAnchorInGuild();

    // QR-code login. requestQRCode asks for a new scan code; a good reply
    // stores it, encodes its QR text (url followed by code) and emits
    // sglQRCodeChanged, a failed one sglGetQRCodeFailed. Error 1003
    // resynchronises the time and asks again once that time reply has been
    // handled, a few times at most before it fails too. checkQRCodeAuth
    // polls the scan state of the last code; its reply is a login reply (-2
    // asks for a new code, other errors are silent).
    void requestQRCode();
    void checkQRCodeAuth();
    // The current symbol drawn black on white into a size x size one-bit
    // image, inside a margin; a null image before any symbol.
    QImage getQRCodeImage(int size, int margin) const;

    // Outside-account login: runs the provider's signed sign-in page in the
    // modal web dialog (webdialogs.h). When the page reaches an address with
    // "code" and "state", the sign-in request goes out with the page's
    // cookies (sglBeginLogin first) and the dialog is accepted: true. False
    // when the user refused or closed the dialog, no dialog could be made,
    // or another outside-account login is running.
    bool loginByQQ();
    bool loginByWeChat();
    bool loginByWeibo();
    // The providers' signed sign-in page addresses; empty when they cannot be
    // signed.
    QUrl GenerateQQLoginUrl();
    QUrl GenerateWeChatLoginUrl();
    QUrl GenerateWeiboLoginUrl();
    // A query item error=access_denied.
    static bool isThirdLoginDenied(const QUrl& url);
    // The last values of the query items "code" and "state"; true when both
    // occur.
    static bool parseThirdLoginCode(const QUrl& url, QString& code, QString& state);

    // How long one request may take before it fails as a network error.
    void setRequestTimeout(int ms) { m_requestTimeoutMs = ms; }

signals:
    void sglBeginLogin();
    void sglLoginSucceeded();
    void sglLoginFinished(int errorCode, QString errorMsg);
    void sglQRCodeChanged();
    void sglGetQRCodeFailed(int errorCode, QString errorMsg);
    void sglGetRtmpSuccessed(QString rtmpUrl, QString liveCode);
    void sglGetRtmpFailed(int errorNo, QString msg);
    void sglLogout();
    void sglCloseLiveRoomSuccess();
    void sglCloseLiveRommFailed(int errorNo, QString msg);
    void sglCheckInGuildRequest(int errorNo, QString msg, bool check);

public slots:
    // Logs a network error, dispatches the reply by its address (without the
    // query) and frees it.
    void handleNetworkResponse(QNetworkReply* reply);
    // An address the outside-account dialog's page reached: a refusal
    // rejects the dialog; code and state send the sign-in, once per dialog,
    // and accept it; anything else is left to the page.
    void OnThirdLoginUrlChanged(const QUrl& url);
    // Logs each TLS error; the certificate is not ignored, so the request
    // fails and its handler reports the failure.
    void sltSSLErrorDeal(QNetworkReply* reply, const QList<QSslError>& errors);

private:
    using Param = QPair<QString, QString>;
    using Params = QList<Param>;
    // A reply handler: the address and the body (empty after a network error).
    using Handler = void (LoginManager::*)(const QUrl& url, const QByteArray& body);

    qint64 currentServerTime();
    // The time request sent, or null when the offset is valid already.
    QNetworkReply* syncServerTime();
    QByteArray getUserDevice() const;
    static QString getDeviceId();

    // Signs and sends one request to the URL-table entry `urlOf`. A POST
    // signs the time and then `params`, which it sends as its form; a GET
    // signs and sends `params` as its query, the time (an item "time" with any
    // value) where the request puts it. When no auth code can be made, the
    // request's handler gets an empty body, as after a network failure, and
    // the result is false.
    bool sendSigned(const char* (*urlOf)(), const QString& signPath, Params params, bool post, bool userDevice);

    // A request laid out by hand. The sign text is signPath, "?aid=zvtool",
    // then `sign` as "&key=value"; the query is aid=zvtool, then `query`. An
    // item "time" of either takes the time (followed by "%s" in the sign
    // text), an item "auth" of `query` the auth code. A POST sends `form`.
    struct SignedRequest
    {
        const char* (*urlOf)();
        QString signPath;
        Params sign;
        Params query;
        Params form;
        bool post = false;
    };
    // The signed address; empty (logged) when no auth code can be made.
    QUrl signedUrl(const SignedRequest& request);
    // Sends it, or, when it cannot be signed, hands its handler an empty body
    // as after a network failure and returns false.
    bool sendSigned(const SignedRequest& request, bool userDevice = false);
    void dispatch(const QUrl& url, const QByteArray& body);
    Handler handlerFor(const QUrl& url) const;

    void postLogin(const Params& body);
    void saveLogin(const QString& longToken);
    // The saved-login file: this login's account fields (or, forgetting it,
    // empty ones), the keep-login choice and the long token.
    void writeSavedLogin(bool forgetAccount, const QString& longToken, const char* operation);

    void responseServerTime(const QUrl& url, const QByteArray& body);
    void responseLogin(const QUrl& url, const QByteArray& body);
    void responseQRCode(const QUrl& url, const QByteArray& body);
    // The outside-account login of `type` (3 QQ, 4 WeChat, 5 Weibo) and its
    // signed sign-in page.
    bool runThirdLogin(int type);
    QUrl thirdLoginPage(int type);
    void responseGetUserInfo(const QUrl& url, const QByteArray& body);
    void responseRtmpList(const QUrl& url, const QByteArray& body);
    void responseRoomInfo(const QUrl& url, const QByteArray& body);
    void responseOpenRoom(const QUrl& url, const QByteArray& body);
    void responseCloseLiveRoom(const QUrl& url, const QByteArray& body);
    void responseCheckInGuild(const QUrl& url, const QByteArray& body);

    void requestUserInfo();
    void requestRtmpList();
    void requestRoomInfo();
    void requestStartLiveRoom(const QString& fmsVal, int rtmpId);
    void notifyRtmpSuccessed(const QString& rtmpUrl, const QString& liveCode);
    void notifyRtmpFailed(int errorNo, const QString& msg);

    bool m_isLogin = false;
    QString m_avatarUrl;
    int m_roomId = 0;
    int m_uid = 0;
    int m_thirdLoginType = 0;
    QString m_nickName;
    QString m_phoneNum;
    QString m_areaCode;
    QString m_password;
    QString m_longToken;
    bool m_autoLogin = true;
    ThirdLoginDialog* m_thirdLoginDlg = nullptr;
    ThirdLoginView* m_thirdLoginView = nullptr;
    QString m_qrCodeText;
    ZvQrSymbol* m_qrCode = nullptr;
    qint64 m_serverTimeOffset = SERVER_TIME_INVALID;
    LoginTokenInfo m_tokenInfo;
    QNetworkAccessManager* m_networkManager = nullptr;
    bool m_loginByNickName = false;
    QString m_deviceId;
    QString m_version;
    QString m_fmsVal;
    int m_rtmpId = -1;
    bool m_roomOpened = false;
    bool m_inGuild = false;

    // One captcha check at a time, across all logins.
    bool m_captchaOpen = false;
    // Scan-code requests repeated after error 1003 since the last other reply,
    // and the time request whose handled reply sends the next one.
    int m_qrCodeRetries = 0;
    QPointer<QNetworkReply> m_qrCodeRetrySync;
    // Close-room requests not answered yet.
    int m_closeRoomPending = 0;
    int m_requestTimeoutMs = 15000;
};
