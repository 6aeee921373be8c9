#include "logic/loginmanager.h"

#include "core/deployment.h"
#include "core/pathlayout.h"
#include "core/serverurltable.h"
#include "core/systemutils.h"
#include "logic/webdialogs.h"
#include "platform/qrcode.h"
#include "platform/signing.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDebug>
#include <QEventLoop>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMetaEnum>
#include <QNetworkAccessManager>
#include <QNetworkCookieJar>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPainter>
#include <QPointer>
#include <QRegularExpression>
#include <QSettings>
#include <QTimer>
#include <QUrl>
#include <QUrlQuery>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>

namespace {

const char kAppId[] = "zvtool";
const char kBizType[] = "13";
const char kTimeKey[] = "time";
const char kTokenKey[] = "token";

// How often a scan-code request is repeated after error 1003 before the
// failure is reported: a clock the platform keeps refusing must not loop.
constexpr int kQrCodeRetries = 3;

QString busyMessage()
{
    return QStringLiteral("服务器或网络繁忙，请稍后再试");
}

QString dataErrorMessage()
{
    return QStringLiteral("服务器获取数据异常");
}

// Form and query values are percent-encoded exactly once: every byte but
// letters, digits and "-._~", so that "&", "=", "+" or "%" in a value can
// never start another field.
QByteArray encodeForm(const QList<QPair<QString, QString>>& params)
{
    QByteArray out;
    for (const auto& param : params) {
        if (!out.isEmpty())
            out += '&';
        out += param.first.toUtf8() + '=' + QUrl::toPercentEncoding(param.second);
    }
    return out;
}

// The token is a credential: logs carry only its parameter name.
QString maskToken(QString text)
{
    static const QRegularExpression token(QStringLiteral("(\\btoken=)[^&]*"));
    return text.replace(token, QStringLiteral("\\1****"));
}

// Addresses compare without query and fragment, as Qt normalises them (a
// reply's host name comes back in lower case).
QUrl addressOf(const QUrl& url)
{
    return url.adjusted(QUrl::RemoveQuery | QUrl::RemoveFragment);
}

bool isAddress(const QUrl& url, const char* (*tableEntry)())
{
    return addressOf(url) == addressOf(QUrl(QString::fromUtf8(tableEntry())));
}

bool parseObject(const QByteArray& body, QJsonObject& object)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(body, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return false;
    object = document.object();
    return true;
}

// A JSON number that is a whole number of seconds, as 64 bits.
bool wholeNumber(const QJsonValue& value, qint64& out)
{
    if (!value.isDouble())
        return false;
    const double number = value.toDouble();
    if (number != std::floor(number) || std::fabs(number) > 9.0e15)
        return false;
    out = static_cast<qint64>(number);
    return true;
}

// The envelope of the logged-in replies: errorNo -1 and `busy` when the body
// is no object with "error"; -1 and `fallback` when "error" is no number;
// else its value, with the "data" text as message on failure.
struct ReplyOutcome
{
    int errorNo = -1;
    QString message;
    QJsonObject object;
};

ReplyOutcome readReply(const QByteArray& body, const QString& fallback, const QString& busy)
{
    ReplyOutcome outcome;
    outcome.message = fallback;
    if (!parseObject(body, outcome.object) || !outcome.object.contains(QStringLiteral("error"))) {
        outcome.message = busy;
        return outcome;
    }
    const QJsonValue error = outcome.object.value(QStringLiteral("error"));
    if (!error.isDouble())
        return outcome;
    outcome.errorNo = error.toInt(-1);
    const QJsonValue data = outcome.object.value(QStringLiteral("data"));
    if (outcome.errorNo != 0 && data.isString())
        outcome.message = data.toString();
    return outcome;
}

// Passwords travel only as the lower-case hexadecimal MD5 of their UTF-8.
QString passwordDigest(const QString& password)
{
    return QString::fromLatin1(QCryptographicHash::hash(password.toUtf8(), QCryptographicHash::Md5).toHex());
}

// The saved-login file holds the long token: it is created 0600, and kept so
// (the settings writer keeps an existing file's permissions).
void protectCredentialFile(const QString& path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0 || ::fchmod(fd, 0600) != 0)
        qWarning().noquote()
            << QStringLiteral("[Logic] by kx LoginManager::protectCredentialFile {cannot restrict %1}").arg(path);
    if (fd >= 0)
        ::close(fd);
}

} // namespace

void LoginTokenInfo::reset()
{
    uid.clear();
    shortToken.clear();
    createTime.clear();
    bizType = -1;
    longTokenId = -1;
    clientType = -1;
    expireIn = -1;
}

QString LoginTokenInfo::toToken() const
{
    // One pass: a "%1" inside the server's texts stays as it is.
    return QStringLiteral("%1_%2_%3_%4_%5")
        .arg(uid, QString::number(bizType), shortToken, QString::number(clientType), QString::number(longTokenId));
}

LoginManager::LoginManager() : QObject(nullptr)
{
    m_deviceId = getDeviceId();
    m_networkManager = new QNetworkAccessManager(this);
    connect(m_networkManager, &QNetworkAccessManager::finished, this, &LoginManager::handleNetworkResponse);
    connect(m_networkManager, &QNetworkAccessManager::sslErrors, this, &LoginManager::sltSSLErrorDeal);

    syncServerTime();
}

LoginManager::~LoginManager()
{
    // Replies aborted by the manager's deletion must not reach the handlers.
    m_networkManager->disconnect(this);
    delete m_networkManager;
    zvQrFree(m_qrCode);
}

bool LoginManager::isServerTimespaceValid()
{
    if (m_serverTimeOffset != SERVER_TIME_INVALID)
        return true;
    qWarning() << "[Logic] by kx LoginManager::isServerTimespaceValid {server timespace is invalid}";
    return false;
}

qint64 LoginManager::currentServerTime()
{
    syncServerTime();
    return QDateTime::currentMSecsSinceEpoch() / 1000 + m_serverTimeOffset;
}

QNetworkReply* LoginManager::syncServerTime()
{
    if (m_serverTimeOffset != SERVER_TIME_INVALID)
        return nullptr;
    QNetworkRequest request(QUrl(QString::fromUtf8(toolTimeStampUrl())));
    request.setTransferTimeout(m_requestTimeoutMs);
    return m_networkManager->get(request);
}

QByteArray LoginManager::getUserDevice() const
{
    return (m_deviceId.toUtf8() + '|' + m_version.toUtf8()).toBase64();
}

QString LoginManager::getDeviceId()
{
    return getLocalMacAddress();
}

bool LoginManager::sendSigned(const char* (*urlOf)(), const QString& signPath, Params params, bool post,
                              bool userDevice)
{
    const Param time(QString::fromLatin1(kTimeKey), QString());
    const Param auth(QStringLiteral("auth"), QString());
    if (post)
        return sendSigned({urlOf, signPath, Params{time} + params, {time, auth}, params, true}, userDevice);
    return sendSigned({urlOf, signPath, params, params + Params{auth}, {}, false}, userDevice);
}

QUrl LoginManager::signedUrl(const SignedRequest& request)
{
    // The table's buffer is shared: copy before anything else looks up.
    QUrl url(QString::fromUtf8(request.urlOf()));
    const QString time = QString::number(currentServerTime());

    QString signText = request.signPath + QStringLiteral("?aid=") + QLatin1String(kAppId);
    for (const Param& param : request.sign) {
        const bool isTime = param.first == QLatin1String(kTimeKey);
        signText += QLatin1Char('&') + param.first + QLatin1Char('=') + (isTime ? time : param.second);
        if (isTime)
            signText += QStringLiteral("%s");
    }
    char* code = GenerateAuthCode(signText.toUtf8().constData());
    if (!code) {
        qCritical().noquote()
            << QStringLiteral("[Logic] by kx LoginManager::sendSigned {no auth code for %1}").arg(request.signPath);
        return QUrl();
    }
    const QString auth = QString::fromUtf8(code);
    FreeAuthCode(code);

    Params query{qMakePair(QStringLiteral("aid"), QString::fromLatin1(kAppId))};
    for (Param param : request.query) {
        if (param.first == QLatin1String(kTimeKey))
            param.second = time;
        else if (param.first == QLatin1String("auth"))
            param.second = auth;
        query.append(param);
    }
    url.setQuery(QString::fromLatin1(encodeForm(query)), QUrl::StrictMode);
    return url;
}

bool LoginManager::sendSigned(const SignedRequest& request, bool userDevice)
{
    const QUrl target = signedUrl(request);
    if (target.isEmpty()) {
        dispatch(QUrl(QString::fromUtf8(request.urlOf())), QByteArray());
        return false;
    }
    QNetworkRequest networkRequest(target);
    networkRequest.setTransferTimeout(m_requestTimeoutMs);
    if (!request.post) {
        m_networkManager->get(networkRequest);
        return true;
    }
    networkRequest.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/x-www-form-urlencoded"));
    if (userDevice)
        networkRequest.setRawHeader("User-Device", getUserDevice());
    m_networkManager->post(networkRequest, encodeForm(request.form));
    return true;
}

// ---------------------------------------------------------------------------
// Password login and saved login

void LoginManager::loginByNickName(const QString& nickName, const QString& password, bool keepLogin)
{
    if (nickName.isEmpty() || password.isEmpty()) {
        emit sglLoginFinished(-1, QStringLiteral("用户名和密码不能为空！"));
        return;
    }
    m_loginByNickName = true;
    emit sglBeginLogin();
    m_nickName = nickName;
    m_autoLogin = keepLogin;
    m_password = passwordDigest(password);
    postLogin({{QStringLiteral("biz_type"), QString::fromLatin1(kBizType)},
               {QStringLiteral("nickname"), m_nickName},
               {QStringLiteral("password"), m_password}});
}

void LoginManager::loginByPhone(const QString& phoneNum, const QString& password, const QString& areaCode,
                                bool keepLogin)
{
    if (phoneNum.isEmpty() || password.isEmpty()) {
        emit sglLoginFinished(-1, QStringLiteral("手机号和密码不能为空！"));
        return;
    }
    m_loginByNickName = false;
    emit sglBeginLogin();
    m_areaCode = areaCode;
    m_phoneNum = phoneNum;
    m_autoLogin = keepLogin;
    m_password = passwordDigest(password);
    postLogin({{QStringLiteral("areaCode"), m_areaCode},
               {QStringLiteral("biz_type"), QString::fromLatin1(kBizType)},
               {QStringLiteral("password"), m_password},
               {QStringLiteral("phoneNum"), m_phoneNum}});
}

void LoginManager::postLogin(const Params& body)
{
    sendSigned(loginCheckUrl, QStringLiteral("app/loginCheck2"), body, true, true);
}

bool LoginManager::loginWithCaptcha()
{
    if (m_captchaOpen)
        return false;
    std::unique_ptr<CaptchaDialog> dialog = createCaptchaDialog();
    if (!dialog) {
        qWarning() << "[Logic] by kx LoginManager::loginWithCaptcha {no captcha dialog}";
        return false;
    }
    m_captchaOpen = true;
    const QString page = QString::fromUtf8(appCaptchaUrl()) + QStringLiteral("?style=3&client_sys=") +
                         QLatin1String(kAppId) + QStringLiteral("&deviceid=") + m_deviceId +
                         QStringLiteral("&version=") + m_version;
    dialog->load(QUrl(page, QUrl::TolerantMode));
    if (!dialog->exec()) {
        m_captchaOpen = false;
        return false;
    }

    emit sglBeginLogin();
    Params body;
    if (!m_loginByNickName)
        body.append(qMakePair(QStringLiteral("areaCode"), m_areaCode));
    body += Params{{QStringLiteral("biz_type"), QString::fromLatin1(kBizType)},
                   {QStringLiteral("captcha_key"), dialog->getCaptchaKey()},
                   {QStringLiteral("captcha_word"), dialog->getCaptchaWord()},
                   {QStringLiteral("geetest_challenge"), dialog->getGeetestChallenge()},
                   {QStringLiteral("geetest_seccode"), dialog->getGeetestSeccode()},
                   {QStringLiteral("geetest_validate"), dialog->getGeetestValidate()}};
    if (m_loginByNickName) {
        body.append(qMakePair(QStringLiteral("nickname"), m_nickName));
        body.append(qMakePair(QStringLiteral("password"), m_password));
    } else {
        body.append(qMakePair(QStringLiteral("password"), m_password));
        body.append(qMakePair(QStringLiteral("phoneNum"), m_phoneNum));
    }
    // A request that cannot be signed has had its failure reported already.
    postLogin(body);
    m_captchaOpen = false;
    return true;
}

void LoginManager::requestShortToken(const QString& longToken)
{
    m_longToken = longToken;
    sendSigned(getShortTokenUrl, QStringLiteral("app/getShortToken"),
               {{QStringLiteral("biz_type"), QString::fromLatin1(kBizType)}, {QStringLiteral("long_token"), longToken}},
               true, false);
}

void LoginManager::autoLogin()
{
    if (m_isLogin)
        return;
    const QSettings settings(getUserInfoPath(), QSettings::IniFormat);
    const QString longToken = settings.value(QStringLiteral("UserInfo/longToken")).toString();
    if (!longToken.isEmpty())
        requestShortToken(longToken);
}

void LoginManager::saveLogin(const QString& longToken)
{
    writeSavedLogin(false, m_autoLogin ? longToken : QString(), "saveLogin");
}

void LoginManager::writeSavedLogin(bool forgetAccount, const QString& longToken, const char* operation)
{
    const QString path = getUserInfoPath();
    protectCredentialFile(path);
    QSettings settings(path, QSettings::IniFormat);
    settings.beginGroup(QStringLiteral("UserInfo"));
    if (m_loginByNickName) {
        settings.setValue(QStringLiteral("nickName"), forgetAccount ? QString() : m_nickName);
    } else {
        settings.setValue(QStringLiteral("PhoneNum"), forgetAccount ? QString() : m_phoneNum);
        settings.setValue(QStringLiteral("codeArea"), forgetAccount ? QString() : m_areaCode);
    }
    settings.setValue(QStringLiteral("autoLogin"), m_autoLogin);
    settings.setValue(QStringLiteral("longToken"), longToken);
    settings.endGroup();
    settings.sync();
    if (settings.status() != QSettings::NoError)
        qWarning().noquote()
            << QStringLiteral("[Logic] by kx LoginManager::%1 {cannot write %2}").arg(QLatin1String(operation), path);
}

void LoginManager::logout()
{
    m_isLogin = false;
    m_roomId = 0;
    m_uid = 0;
    m_avatarUrl.clear();
    m_nickName.clear();
    m_tokenInfo.reset();
    writeSavedLogin(true, QString(), "logout");
    emit sglLogout();
}

// ---------------------------------------------------------------------------
// Reply dispatch

void LoginManager::handleNetworkResponse(QNetworkReply* reply)
{
    if (!reply)
        return;
    QT_WARNING_PUSH
    QT_WARNING_DISABLE_DEPRECATED
    QNetworkAccessManager* manager = reply->manager();
    if (manager && manager->networkAccessible() == QNetworkAccessManager::NotAccessible)
        manager->setNetworkAccessible(QNetworkAccessManager::Accessible);
    QT_WARNING_POP

    if (reply->error() != QNetworkReply::NoError) {
        qCritical().noquote() << "NetworkError:"
                              << QMetaEnum::fromType<QNetworkReply::NetworkError>().valueToKey(reply->error());
        qCritical().noquote() << "error URL:" << maskToken(reply->url().toString());
    }
    const QUrl url = reply->url();
    const QByteArray body = reply->readAll();
    reply->deleteLater();
    dispatch(url, body);
    // After the time reply was handled, whatever it said: its time-out bounds
    // the wait.
    if (m_qrCodeRetrySync == reply) {
        m_qrCodeRetrySync.clear();
        requestQRCode();
    }
}

void LoginManager::sltSSLErrorDeal(QNetworkReply* reply, const QList<QSslError>& errors)
{
    Q_UNUSED(reply);
    for (const QSslError& error : errors)
        qWarning().noquote()
            << QStringLiteral("[Logic] by kx LoginManager::sltSSLErrorDeal {%1}").arg(error.errorString());
}

LoginManager::Handler LoginManager::handlerFor(const QUrl& url) const
{
    struct Route
    {
        const char* (*address)();
        Handler handler;
    };
    static const Route routes[] = {
        {toolTimeStampUrl, &LoginManager::responseServerTime},
        {loginCheckUrl, &LoginManager::responseLogin},
        {getShortTokenUrl, &LoginManager::responseLogin},
        {remoteLoginUrl, &LoginManager::responseLogin},
        {scanAuthUrl, &LoginManager::responseLogin},
        {scanCodeUrl, &LoginManager::responseQRCode},
        {myRoomUrl, &LoginManager::responseRoomInfo},
        {startLiveRoomUrl, &LoginManager::responseOpenRoom},
        {getRtmpListUrl, &LoginManager::responseRtmpList},
        {myInfoUrl, &LoginManager::responseGetUserInfo},
        {closeRoomUrl, &LoginManager::responseCloseLiveRoom},
        {checkAnchorInGuildUrl, &LoginManager::responseCheckInGuild},
    };
    for (const Route& route : routes)
        if (isAddress(url, route.address))
            return route.handler;
    return &LoginManager::responseLogin;
}

void LoginManager::dispatch(const QUrl& url, const QByteArray& body)
{
    (this->*handlerFor(url))(url, body);
}

void LoginManager::responseServerTime(const QUrl&, const QByteArray& body)
{
    QJsonObject object;
    if (!parseObject(body, object) || !object.value(QStringLiteral("error")).isDouble())
        return;
    if (object.value(QStringLiteral("error")).toInt(-1) != 0)
        return;
    qint64 serverSeconds = 0;
    if (!wholeNumber(object.value(QStringLiteral("data")), serverSeconds) || serverSeconds < 0)
        return;
    m_serverTimeOffset = serverSeconds - QDateTime::currentMSecsSinceEpoch() / 1000;
    autoLogin();
}

void LoginManager::responseLogin(const QUrl& url, const QByteArray& body)
{
    int code = -1;
    QString message = busyMessage();
    QJsonObject object;
    if (parseObject(body, object)) {
        const QJsonValue error = object.value(QStringLiteral("error"));
        if (!object.contains(QStringLiteral("error"))) {
            message = QStringLiteral("返回数据格式错误");
        } else if (error.isDouble()) {
            code = error.toInt(-1);
            const QJsonValue data = object.value(QStringLiteral("data"));
            if (code == 0) {
                if (data.isObject() && data.toObject().contains(QStringLiteral("newuser"))) {
                    code = -1;
                    message = QStringLiteral("该账号第一次在Zavmo使用，为确保您正常使用Zavmo客户端，"
                                             "请先到Zavmo网站通过第三方账号登录设置昵称");
                    openUrl(deployment::origin(deployment::HostKind::Web, 0, true) + QStringLiteral("/#pc_client"));
                } else if (data.isObject() && data.toObject().value(QStringLiteral("short_token")).isObject()) {
                    const QJsonObject dataObject = data.toObject();
                    const QJsonObject token = dataObject.value(QStringLiteral("short_token")).toObject();
                    m_tokenInfo.uid = token.value(QStringLiteral("uid")).toString();
                    m_tokenInfo.clientType = token.value(QStringLiteral("client_type")).toInt();
                    m_tokenInfo.createTime = token.value(QStringLiteral("create_time")).toString();
                    m_tokenInfo.expireIn = token.value(QStringLiteral("expire_in")).toInt();
                    m_tokenInfo.longTokenId = token.value(QStringLiteral("long_token_id")).toInt();
                    m_tokenInfo.shortToken = token.value(QStringLiteral("short_token")).toString();
                    m_tokenInfo.bizType = token.value(QStringLiteral("biz_type")).toInt();
                    m_uid = m_tokenInfo.uid.toInt();
                    saveLogin(dataObject.value(QStringLiteral("long_token")).toString());
                    requestUserInfo();
                    return;
                }
            } else if (isAddress(url, scanAuthUrl)) {
                // A QR-code poll that is not answered yet ends silently; an
                // expired code is replaced.
                if (code == -2)
                    requestQRCode();
                return;
            } else if (code == 81) {
                if (loginWithCaptcha())
                    return;
                message = QStringLiteral("登录需要验证");
            } else if (code == 130014) {
                // Confirming a login from another place is not offered here,
                // with or without "ext": the login ends instead of waiting.
                message = QStringLiteral("异地登录异常数据");
            } else {
                message = data.isString() ? data.toString() : QString();
            }
        }
    }
    if (code == 1003) {
        m_serverTimeOffset = SERVER_TIME_INVALID;
        syncServerTime();
        message = QStringLiteral("请检查设备时间，或稍后重新登录");
    }
    emit sglLoginFinished(code, message);
}

// ---------------------------------------------------------------------------
// QR-code and outside-account login

void LoginManager::requestQRCode()
{
    const Param biz(QStringLiteral("biz_type"), QString::fromLatin1(kBizType));
    const Param time(QString::fromLatin1(kTimeKey), QString());
    // The platform signs over biz_type before and after the time.
    sendSigned({scanCodeUrl,
                QStringLiteral("scan/code"),
                {biz, time, biz},
                {biz, time, qMakePair(QStringLiteral("auth"), QString())},
                {biz},
                true});
}

void LoginManager::responseQRCode(const QUrl&, const QByteArray& body)
{
    const ReplyOutcome outcome = readReply(body, QString(), busyMessage());
    const QJsonValue data = outcome.object.value(QStringLiteral("data"));
    if (outcome.errorNo == 1003) {
        m_serverTimeOffset = SERVER_TIME_INVALID;
        QNetworkReply* sync = syncServerTime();
        if (sync && m_qrCodeRetries < kQrCodeRetries) {
            ++m_qrCodeRetries;
            m_qrCodeRetrySync = sync;
            return;
        }
    }
    m_qrCodeRetries = 0;
    if (outcome.errorNo == 0 && data.isObject()) {
        const QJsonObject scan = data.toObject();
        m_qrCodeText = scan.value(QStringLiteral("code")).toString();
        const QString text = scan.value(QStringLiteral("url")).toString() + m_qrCodeText;
        zvQrFree(m_qrCode);
        m_qrCode = zvQrEncode(text.toUtf8().constData(), 1, 0, 3, 1);
        emit sglQRCodeChanged();
        return;
    }
    qCritical().noquote() << "responseQRCode:" << QString::fromUtf8(body);
    emit sglGetQRCodeFailed(outcome.errorNo, outcome.message);
}

QImage LoginManager::getQRCodeImage(int size, int margin) const
{
    if (!m_qrCode || size <= 0)
        return QImage();
    QImage image(size, size, QImage::Format_Mono);
    QPainter painter(&image);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QBrush(Qt::white, Qt::SolidPattern));
    painter.drawRect(0, 0, size, size);
    painter.setBrush(QBrush(Qt::black, Qt::SolidPattern));
    // A symbol without modules leaves the image blank.
    const int width = m_qrCode->width;
    if (width <= 0 || !m_qrCode->modules)
        return image;
    const double side = static_cast<double>(size - 2 * margin) / width;
    for (int row = 0; row < width; ++row)
        for (int column = 0; column < width; ++column)
            if (m_qrCode->modules[row * width + column] & 1)
                painter.drawRect(QRectF(margin + column * side, margin + row * side, side, side));
    return image;
}

void LoginManager::checkQRCodeAuth()
{
    const Param biz(QStringLiteral("biz_type"), QString::fromLatin1(kBizType));
    const Param time(QString::fromLatin1(kTimeKey), QString());
    const Param code(QStringLiteral("code"), m_qrCodeText);
    sendSigned({scanAuthUrl,
                QStringLiteral("lapi/passport/scan/auth"),
                {biz, code, time},
                {biz, time, qMakePair(QStringLiteral("auth"), QString()), code},
                {},
                false});
}

namespace {

// The providers of the outside-account login, by ThirdLoginType.
struct ThirdLoginProvider
{
    int type;
    const char* (*address)();
    const char* signPath;
    const char* title;
};

const ThirdLoginProvider kThirdLoginProviders[] = {
    {3, oauthQQUrl, "tandrel/oauthSignin/qq", "QQ登录"},
    {4, oauthWeixinUrl, "tandrel/oauthSignin/weixin", "微信登录"},
    {5, oauthWeiboUrl, "tandrel/oauthSignin/weibo", "微博登录"},
};

const ThirdLoginProvider* thirdLoginProvider(int type)
{
    for (const ThirdLoginProvider& provider : kThirdLoginProviders)
        if (provider.type == type)
            return &provider;
    return nullptr;
}

} // namespace

QUrl LoginManager::thirdLoginPage(int type)
{
    const ThirdLoginProvider* provider = thirdLoginProvider(type);
    const Param biz(QStringLiteral("biz_type"), QString::fromLatin1(kBizType));
    const Param time(QString::fromLatin1(kTimeKey), QString());
    return signedUrl({provider->address,
                      QString::fromLatin1(provider->signPath),
                      {biz, time},
                      {biz, time, qMakePair(QStringLiteral("auth"), QString())},
                      {},
                      false});
}

QUrl LoginManager::GenerateQQLoginUrl()
{
    const QUrl url = thirdLoginPage(3);
    qCritical().noquote() << "GenerateQQLoginUrl:" << url.toString();
    return url;
}

QUrl LoginManager::GenerateWeChatLoginUrl()
{
    return thirdLoginPage(4);
}

QUrl LoginManager::GenerateWeiboLoginUrl()
{
    return thirdLoginPage(5);
}

bool LoginManager::loginByQQ()
{
    return runThirdLogin(3);
}

bool LoginManager::loginByWeChat()
{
    return runThirdLogin(4);
}

bool LoginManager::loginByWeibo()
{
    return runThirdLogin(5);
}

bool LoginManager::runThirdLogin(int type)
{
    // A second login would redirect the running one's sign-in.
    if (m_thirdLoginDlg) {
        qWarning() << "[Logic] by kx LoginManager::runThirdLogin {another outside-account login is open}";
        return false;
    }
    m_thirdLoginType = type;
    std::unique_ptr<ThirdLoginDialog> dialog = createThirdLoginDialog();
    ThirdLoginView* view = dialog ? dialog->getWebView() : nullptr;
    if (!view) {
        qWarning() << "[Logic] by kx LoginManager::runThirdLogin {no outside-account login dialog}";
        return false;
    }
    dialog->setTitle(QString::fromUtf8(thirdLoginProvider(type)->title));
    const QUrl page = type == 3 ? GenerateQQLoginUrl() : type == 4 ? GenerateWeChatLoginUrl() : GenerateWeiboLoginUrl();
    if (page.isEmpty())
        return false;
    m_thirdLoginDlg = dialog.get();
    m_thirdLoginView = view;
    view->load(page);
    connect(view, &ThirdLoginView::urlChanged, this, &LoginManager::OnThirdLoginUrlChanged);
    const bool accepted = dialog->exec() == 1;
    m_thirdLoginView = nullptr;
    m_thirdLoginDlg = nullptr;
    return accepted;
}

bool LoginManager::isThirdLoginDenied(const QUrl& url)
{
    const auto items = QUrlQuery(url).queryItems(QUrl::FullyDecoded);
    return std::any_of(items.begin(), items.end(), [](const auto& item) {
        return item.first == QLatin1String("error") && item.second == QLatin1String("access_denied");
    });
}

bool LoginManager::parseThirdLoginCode(const QUrl& url, QString& code, QString& state)
{
    bool hasCode = false;
    bool hasState = false;
    for (const auto& item : QUrlQuery(url).queryItems(QUrl::FullyDecoded)) {
        if (item.first == QLatin1String("code")) {
            code = item.second;
            hasCode = true;
        } else if (item.first == QLatin1String("state")) {
            state = item.second;
            hasState = true;
        }
    }
    return hasCode && hasState;
}

void LoginManager::OnThirdLoginUrlChanged(const QUrl& url)
{
    if (url.isEmpty())
        return;
    if (isThirdLoginDenied(url)) {
        if (m_thirdLoginDlg) {
            m_thirdLoginDlg->reject();
            m_thirdLoginDlg = nullptr;
            m_thirdLoginView = nullptr;
        }
        return;
    }
    QString code;
    QString state;
    const ThirdLoginProvider* provider = thirdLoginProvider(m_thirdLoginType);
    if (!parseThirdLoginCode(url, code, state) || !m_thirdLoginDlg || !m_thirdLoginView || !provider)
        return;
    // The dialog ends with this address: whatever its page shows before it
    // closes sends no second sign-in.
    ThirdLoginDialog* dialog = m_thirdLoginDlg;
    ThirdLoginView* view = m_thirdLoginView;
    m_thirdLoginDlg = nullptr;
    m_thirdLoginView = nullptr;

    emit sglBeginLogin();
    // The sign-in rides on the web login's session; the store stays with
    // this manager for all later requests.
    if (QNetworkCookieJar* jar = view->cookieJar())
        m_networkManager->setCookieJar(jar);
    const Param time(QString::fromLatin1(kTimeKey), QString());
    Params query{time, qMakePair(QStringLiteral("auth"), QString())};
    query += QUrlQuery(url).queryItems(QUrl::FullyDecoded);
    sendSigned({provider->address,
                QString::fromLatin1(provider->signPath),
                {qMakePair(QStringLiteral("code"), code), qMakePair(QStringLiteral("state"), state), time},
                query,
                {},
                false});
    dialog->accept();
}

// ---------------------------------------------------------------------------
// Account information, push address and live room

void LoginManager::requestUserInfo()
{
    sendSigned(myInfoUrl, QStringLiteral("my_info"), {{QString::fromLatin1(kTokenKey), m_tokenInfo.toToken()}}, true,
               false);
}

void LoginManager::responseGetUserInfo(const QUrl&, const QByteArray& body)
{
    ReplyOutcome outcome = readReply(body, dataErrorMessage(), dataErrorMessage());
    if (outcome.errorNo == 0) {
        const QJsonValue data = outcome.object.value(QStringLiteral("data"));
        if (data.isObject()) {
            const QJsonObject info = data.toObject();
            m_nickName = info.value(QStringLiteral("nickname")).toString();
            if (info.value(QStringLiteral("avatar")).isObject())
                m_avatarUrl =
                    info.value(QStringLiteral("avatar")).toObject().value(QStringLiteral("middle")).toString();
            if (info.value(QStringLiteral("room")).isObject())
                m_roomId = info.value(QStringLiteral("room")).toObject().value(QStringLiteral("room_id")).toInt();
            m_isLogin = true;
            emit sglLoginSucceeded();
            return;
        }
        outcome.errorNo = -1;
    }
    qCritical().noquote() << QStringLiteral("[Logic] by kx LoginManager::responseGetUserInfo {errorNo : %1, msg : %2}")
                                 .arg(outcome.errorNo)
                                 .arg(outcome.message);
    emit sglLoginFinished(outcome.errorNo, outcome.message);
}

void LoginManager::getRtmpInfo()
{
    requestRtmpList();
}

void LoginManager::requestRtmpList()
{
    sendSigned(getRtmpListUrl, QStringLiteral("get_rtmplist"),
               {{QString::fromLatin1(kTokenKey), m_tokenInfo.toToken()}}, true, false);
}

void LoginManager::requestRoomInfo()
{
    sendSigned(myRoomUrl, QStringLiteral("my_room"), {{QString::fromLatin1(kTokenKey), m_tokenInfo.toToken()}}, true,
               false);
}

void LoginManager::requestStartLiveRoom(const QString& fmsVal, int rtmpId)
{
    const Params body{{QStringLiteral("fms_val"), fmsVal},
                      {QStringLiteral("rtmp_id"), QString::number(rtmpId)},
                      {QString::fromLatin1(kTokenKey), m_tokenInfo.toToken()}};
    qCritical().noquote() << "--post:" << maskToken(QString::fromUtf8(encodeForm(body)));
    sendSigned(startLiveRoomUrl, QStringLiteral("start_liveroom"), body, true, false);
}

void LoginManager::responseRtmpList(const QUrl&, const QByteArray& body)
{
    const ReplyOutcome outcome = readReply(body, QString(), busyMessage());
    const QJsonValue data = outcome.object.value(QStringLiteral("data"));
    if (outcome.errorNo == 0 && data.isObject() && data.toObject().value(QStringLiteral("fms_val")).isString()) {
        m_fmsVal = data.toObject().value(QStringLiteral("fms_val")).toString();
        m_roomOpened = false;
        requestRoomInfo();
    } else if (outcome.errorNo == 605) {
        m_roomOpened = true;
        requestRoomInfo();
    } else {
        notifyRtmpFailed(outcome.errorNo, outcome.message);
    }
}

void LoginManager::responseRoomInfo(const QUrl&, const QByteArray& body)
{
    const ReplyOutcome outcome = readReply(body, QString(), busyMessage());
    const QJsonObject room = outcome.object.value(QStringLiteral("data")).toObject();
    const QJsonValue sendId = room.value(QStringLiteral("rtmp_send_id"));
    if (outcome.errorNo == 0 && outcome.object.value(QStringLiteral("data")).isObject() &&
        room.contains(QStringLiteral("rtmp_send_id")) && room.contains(QStringLiteral("rtmp_send_url")) &&
        room.contains(QStringLiteral("rtmp_send_live"))) {
        int id = -1;
        if (sendId.isString())
            id = sendId.toString().toInt();
        else if (sendId.isDouble())
            id = sendId.toInt();
        const QString url = room.value(QStringLiteral("rtmp_send_url")).toString();
        const QString live = room.value(QStringLiteral("rtmp_send_live")).toString();
        if (m_roomOpened) {
            notifyRtmpSuccessed(url, live);
            return;
        }
        m_rtmpId = id;
        requestStartLiveRoom(m_fmsVal, m_rtmpId);
        return;
    }
    if (outcome.errorNo == 1003) {
        m_serverTimeOffset = SERVER_TIME_INVALID;
        syncServerTime();
    }
    qCritical().noquote() << "responseRoomInfo:" << QString::fromUtf8(body);
    notifyRtmpFailed(outcome.errorNo, outcome.message);
}

void LoginManager::responseOpenRoom(const QUrl&, const QByteArray& body)
{
    const ReplyOutcome outcome = readReply(body, QString(), busyMessage());
    if (outcome.errorNo == 0) {
        m_roomOpened = true;
        requestRoomInfo();
        return;
    }
    qCritical().noquote() << "responseOpenRoom:" << QString::fromUtf8(body);
    notifyRtmpFailed(outcome.errorNo, outcome.message);
}

void LoginManager::notifyRtmpSuccessed(const QString& rtmpUrl, const QString& liveCode)
{
    emit sglGetRtmpSuccessed(rtmpUrl, liveCode);
}

void LoginManager::notifyRtmpFailed(int errorNo, const QString& msg)
{
    qCritical().noquote() << QStringLiteral("[Logic] by kx LoginManager::notifyRtmpFailed {errorNo : %1, msg : %2}")
                                 .arg(errorNo)
                                 .arg(msg);
    emit sglGetRtmpFailed(errorNo, msg);
}

void LoginManager::closeLiveRoom()
{
    // Counted first: an unsigned request is answered at once.
    ++m_closeRoomPending;
    sendSigned(closeRoomUrl, QStringLiteral("zhubo_closeroom"),
               {{QString::fromLatin1(kTokenKey), m_tokenInfo.toToken()}}, true, false);
}

void LoginManager::waitForCloseLiveRoom(int timeoutMs)
{
    if (m_closeRoomPending == 0)
        return;
    QEventLoop loop;
    QTimer limit;
    limit.setSingleShot(true);
    limit.setTimerType(Qt::PreciseTimer);
    connect(&limit, &QTimer::timeout, &loop, &QEventLoop::quit);
    connect(this, &LoginManager::sglCloseLiveRoomSuccess, &loop, &QEventLoop::quit);
    connect(this, &LoginManager::sglCloseLiveRommFailed, &loop, &QEventLoop::quit);
    limit.start(timeoutMs);
    // -1: the loop could not run (the application is leaving its own).
    while (m_closeRoomPending > 0 && limit.isActive())
        if (loop.exec() != 0)
            break;
}

void LoginManager::responseCloseLiveRoom(const QUrl&, const QByteArray& body)
{
    m_closeRoomPending = qMax(m_closeRoomPending - 1, 0);
    const ReplyOutcome outcome = readReply(body, dataErrorMessage(), dataErrorMessage());
    if (outcome.errorNo == 0 || outcome.errorNo == 612) {
        emit sglCloseLiveRoomSuccess();
        return;
    }
    qCritical().noquote() << QStringLiteral(
                                 "[Logic] by kx LoginManager::responseCloseLiveRoom {errorNo : %1, msg : %2}")
                                 .arg(outcome.errorNo)
                                 .arg(outcome.message);
    emit sglCloseLiveRommFailed(outcome.errorNo, outcome.message);
}

void LoginManager::checkAnchorInGuild()
{
    m_inGuild = false;
    sendSigned(checkAnchorInGuildUrl, QStringLiteral("checkAnchorInGuild"),
               {{QStringLiteral("biz_type"), QString::fromLatin1(kBizType)},
                {QString::fromLatin1(kTokenKey), m_tokenInfo.toToken()},
                {QString::fromLatin1(kTimeKey), QString()}},
               false, false);
}

void LoginManager::responseCheckInGuild(const QUrl&, const QByteArray& body)
{
    const ReplyOutcome outcome = readReply(body, QString(), busyMessage());
    bool check = true;
    const QJsonValue data = outcome.object.value(QStringLiteral("data"));
    if (outcome.errorNo == 0 && data.isObject() && data.toObject().value(QStringLiteral("in")).isDouble()) {
        check = data.toObject().value(QStringLiteral("in")).toDouble() == 1;
        m_inGuild = check;
    }
    emit sglCheckInGuildRequest(outcome.errorNo, outcome.message, check);
}
