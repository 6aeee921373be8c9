#pragma once
// The addresses of the services Olvane calls and of the pages it opens: 44
// entries, each in three variants, chosen by AppEnvironment/env of
// "deault.data" (1 and 2 select their own variant, anything else the
// production one).
//
// Lookups return a shared static buffer that stays valid until the next
// lookup: copy the result at once. GUI thread only.

const char* getServerUrl(unsigned int index);

const char* getShortTokenUrl();
const char* loginCheckUrl();
const char* remoteLoginUrl();
const char* sendPhoneCaptchaUrl();
const char* myInfoUrl();
const char* myRoomUrl();
const char* scanCodeUrl();
const char* scanAuthUrl();
const char* toolTimeStampUrl();
const char* startLiveRoomUrl();
const char* getRtmpListUrl();
const char* closeRoomUrl();
const char* oauthWeiboUrl();
const char* oauthQQUrl();
const char* oauthWeixinUrl();
const char* h5TimestampUrl();
const char* appCaptchaUrl();
const char* webHomeUrl();
const char* registerUrl();
const char* findPasswordUrl();
const char* supportGroupUrl();
const char* clientDownloadPageUrl();
const char* pointingUrl();
const char* obsWebsiteUrl();
const char* customerServiceUrl();
const char* helpListUrl();
const char* myRoomPageUrl();
const char* introduceListUrl();
const char* helpArticleUrl();
const char* helpArticle2Url();
const char* moduleVersionIniUrl();
const char* moduleZipUrl();
const char* obsInstallerUrl();
const char* obsStudioInstallerUrl();
const char* zvToolInstallerUrl();
const char* zvShowInstallerUrl();
const char* toolClientInfoUrl();
const char* netFrameworkInstallerUrl();
const char* directXInstallerUrl();
const char* vcRedistInstallerUrl();
const char* guildHomeUrl();
const char* checkAnchorInGuildUrl();
const char* guildHelpArticleUrl();
const char* checkPackageUrl();
