#include "core/serverurltable.h"

#include "core/appconfig.h"
#include "core/deployment.h"

#include <algorithm>
#include <cstring>

namespace {

using deployment::HostKind;

// How the three variants of a row share hosts.
enum Hosts {
    OneHost,    // all variants name the same host
    TwoHosts,   // environments 1 and 2 share one host
    ThreeHosts, // each environment has its own
};

struct ServerUrlRow
{
    const char* path;
    HostKind kind;
    Hosts hosts;
    const char* schemes; // environments 0, 1, 2: 'S' HTTPS, 'P' plain HTTP
};

const ServerUrlRow ServerUrlTable[44] = {
    {"/app/getShortToken", HostKind::Passport, ThreeHosts, "SPS"},
    {"/app/loginCheck2", HostKind::Passport, ThreeHosts, "SPS"},
    {"/app/remoteLogin", HostKind::Passport, ThreeHosts, "SPS"},
    {"/app/sendPhoneCaptcha", HostKind::Passport, ThreeHosts, "SPS"},
    {"/api/v1/my_info", HostKind::ClientApi, ThreeHosts, "SPP"},
    {"/api/v1/my_room", HostKind::ClientApi, ThreeHosts, "SPP"},
    {"/scan/code", HostKind::Passport, ThreeHosts, "SPS"},
    {"/lapi/passport/scan/auth", HostKind::Passport, ThreeHosts, "SPS"},
    {"/v2/tool/timeStamp", HostKind::ToolApi, ThreeHosts, "SPP"},
    {"/api/v1/start_liveroom", HostKind::ClientApi, ThreeHosts, "SPP"},
    {"/api/v1/get_rtmplist", HostKind::ClientApi, ThreeHosts, "SPP"},
    {"/api/v1/zhubo_closeroom", HostKind::ClientApi, ThreeHosts, "SPP"},
    {"/api/tandrel/oauthSignin/weibo", HostKind::ClientApi, ThreeHosts, "SPP"},
    {"/api/tandrel/oauthSignin/qq", HostKind::ClientApi, ThreeHosts, "SPP"},
    {"/api/tandrel/oauthSignin/weixin", HostKind::ClientApi, ThreeHosts, "SPP"},
    {"/H5nc/src/timestamp", HostKind::ToolApi, ThreeHosts, "SPP"},
    {"/api/appCaptchaV3", HostKind::Passport, ThreeHosts, "SPS"},
    {"/", HostKind::Web, ThreeHosts, "SPP"},
    {"/member/login?type=reg", HostKind::Passport, ThreeHosts, "SSS"},
    {"/member/findpassword", HostKind::Web, ThreeHosts, "SPP"},
    {"/?_wv=1027&k=Kp4rT9x", HostKind::GroupInvite, OneHost, "SPP"},
    {"/client?platform=2", HostKind::Web, ThreeHosts, "SSS"},
    {"/deliver/pelk2", HostKind::Analytics, TwoHosts, "SSS"},
    {"/", HostKind::ObsSite, OneHost, "SSS"},
    {"/", HostKind::CustomerService, OneHost, "SSS"},
    {"/cms/zhibo/list_16.shtml", HostKind::Web, OneHost, "SSS"},
    {"/room/my", HostKind::Web, ThreeHosts, "SSS"},
    {"/cms/zhibo/list_16.shtml", HostKind::Web, OneHost, "SSS"},
    {"/cms/zhibo/201708/07/5983.shtml", HostKind::Web, OneHost, "SSS"},
    {"/cms/zhibo/201311/13/250.shtml", HostKind::Web, OneHost, "SSS"},
    {"/client_download/Olvane/files/ModuleDownload/version.ini", HostKind::PictureCdn, OneHost, "SPP"},
    {"/client_download/Olvane/files/ModuleDownload/LiveCodeModule.zip", HostKind::PictureCdn, OneHost, "SPP"},
    {"/zavmo/2018/08/a088ea2078cd92b0b8a0e78a32c5c082/OBS_installer.exe", HostKind::StaticCdn, OneHost, "SSS"},
    {"/zavmo/2018/08/a088ea2078cd92b0b8a0e78a32c5c082/OBS_Studio_installer.exe", HostKind::StaticCdn, OneHost, "SSS"},
    {"/zavmo/2018/08/a088ea2078cd92b0b8a0e78a32c5c082/ZVTool_installer.exe", HostKind::StaticCdn, OneHost, "SSS"},
    {"/zavmo/2018/08/a088ea2078cd92b0b8a0e78a32c5c082/ZVShow-installer.exe", HostKind::StaticCdn, OneHost, "SSS"},
    {"/api/v1/get_zbpc_client?appid=zbpc&token=7D3A90C4E1B65F28A4C07E9D2B31F6A5", HostKind::Web, OneHost, "SSS"},
    {"/zavmo/2018/08/a088ea2078cd92b0b8a0e78a32c5c082/NET_Framework4.exe", HostKind::StaticCdn, OneHost, "SSS"},
    {"/zavmo/2018/08/a088ea2078cd92b0b8a0e78a32c5c082/DirectX.exe", HostKind::StaticCdn, OneHost, "SSS"},
    {"/zavmo/2018/08/a088ea2078cd92b0b8a0e78a32c5c082/vcredist_x86.exe", HostKind::StaticCdn, OneHost, "SSS"},
    {"/club/home", HostKind::Creator, ThreeHosts, "SSS"},
    {"/api/v1/checkAnchorInGuild", HostKind::ClientApi, ThreeHosts, "SSS"},
    {"/cms/zhibo/201903/25/10020.shtml", HostKind::Web, OneHost, "SSS"},
    {"/talven/release/pc/checkPackage?appCode=ZVTool", HostKind::Release, OneHost, "SSS"},
};

char g_urlBuffer[2048];

int hostSlot(Hosts hosts, int variant)
{
    switch (hosts) {
    case OneHost:
        return 0;
    case TwoHosts:
        return variant == 0 ? 0 : 1;
    case ThreeHosts:
        break;
    }
    return variant;
}

} // namespace

const char* getServerUrl(unsigned int index)
{
    static const char kEmpty[] = "";
    if (index > 43)
        return kEmpty;

    const int env = getAppEnvironment();
    const int variant = (env == 1 || env == 2) ? env : 0;
    const ServerUrlRow& row = ServerUrlTable[index];
    const bool https = row.schemes[variant] == 'S';
    const QByteArray url =
        (deployment::origin(row.kind, hostSlot(row.hosts, variant), https) + QLatin1String(row.path)).toUtf8();

    // Deployment data could make a URL longer than the buffer: cut it.
    const size_t length = std::min(static_cast<size_t>(url.size()), sizeof(g_urlBuffer) - 1);
    std::memcpy(g_urlBuffer, url.constData(), length);
    g_urlBuffer[length] = '\0';
    return g_urlBuffer;
}

#define ZAVMO_URL_ACCESSOR(name, index)                                                                                \
    const char* name()                                                                                                 \
    {                                                                                                                  \
        return getServerUrl(index);                                                                                    \
    }

ZAVMO_URL_ACCESSOR(getShortTokenUrl, 0)
ZAVMO_URL_ACCESSOR(loginCheckUrl, 1)
ZAVMO_URL_ACCESSOR(remoteLoginUrl, 2)
ZAVMO_URL_ACCESSOR(sendPhoneCaptchaUrl, 3)
ZAVMO_URL_ACCESSOR(myInfoUrl, 4)
ZAVMO_URL_ACCESSOR(myRoomUrl, 5)
ZAVMO_URL_ACCESSOR(scanCodeUrl, 6)
ZAVMO_URL_ACCESSOR(scanAuthUrl, 7)
ZAVMO_URL_ACCESSOR(toolTimeStampUrl, 8)
ZAVMO_URL_ACCESSOR(startLiveRoomUrl, 9)
ZAVMO_URL_ACCESSOR(getRtmpListUrl, 10)
ZAVMO_URL_ACCESSOR(closeRoomUrl, 11)
ZAVMO_URL_ACCESSOR(oauthWeiboUrl, 12)
ZAVMO_URL_ACCESSOR(oauthQQUrl, 13)
ZAVMO_URL_ACCESSOR(oauthWeixinUrl, 14)
ZAVMO_URL_ACCESSOR(h5TimestampUrl, 15)
ZAVMO_URL_ACCESSOR(appCaptchaUrl, 16)
ZAVMO_URL_ACCESSOR(webHomeUrl, 17)
ZAVMO_URL_ACCESSOR(registerUrl, 18)
ZAVMO_URL_ACCESSOR(findPasswordUrl, 19)
ZAVMO_URL_ACCESSOR(supportGroupUrl, 20)
ZAVMO_URL_ACCESSOR(clientDownloadPageUrl, 21)
ZAVMO_URL_ACCESSOR(pointingUrl, 22)
ZAVMO_URL_ACCESSOR(obsWebsiteUrl, 23)
ZAVMO_URL_ACCESSOR(customerServiceUrl, 24)
ZAVMO_URL_ACCESSOR(helpListUrl, 25)
ZAVMO_URL_ACCESSOR(myRoomPageUrl, 26)
ZAVMO_URL_ACCESSOR(introduceListUrl, 27)
ZAVMO_URL_ACCESSOR(helpArticleUrl, 28)
ZAVMO_URL_ACCESSOR(helpArticle2Url, 29)
ZAVMO_URL_ACCESSOR(moduleVersionIniUrl, 30)
ZAVMO_URL_ACCESSOR(moduleZipUrl, 31)
ZAVMO_URL_ACCESSOR(obsInstallerUrl, 32)
ZAVMO_URL_ACCESSOR(obsStudioInstallerUrl, 33)
ZAVMO_URL_ACCESSOR(zvToolInstallerUrl, 34)
ZAVMO_URL_ACCESSOR(zvShowInstallerUrl, 35)
ZAVMO_URL_ACCESSOR(toolClientInfoUrl, 36)
ZAVMO_URL_ACCESSOR(netFrameworkInstallerUrl, 37)
ZAVMO_URL_ACCESSOR(directXInstallerUrl, 38)
ZAVMO_URL_ACCESSOR(vcRedistInstallerUrl, 39)
ZAVMO_URL_ACCESSOR(guildHomeUrl, 40)
ZAVMO_URL_ACCESSOR(checkAnchorInGuildUrl, 41)
ZAVMO_URL_ACCESSOR(guildHelpArticleUrl, 42)
ZAVMO_URL_ACCESSOR(checkPackageUrl, 43)
