#include "core/serverurltable.h"

#include "deaultdata.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>

#include <string>

namespace {

void setEnvironment(int env)
{
    ASSERT_TRUE(writeDeaultData(QStringLiteral("[AppEnvironment]\nenv=%1\n").arg(env).toUtf8()));
}

class ServerUrlTableTest : public ::testing::Test
{
protected:
    void TearDown() override
    {
        removeDeaultData();
        qunsetenv("ZAVMO_HOSTS");
    }
};

} // namespace

TEST_F(ServerUrlTableTest, EnvironmentsChooseSchemeAndHost)
{
    setEnvironment(0);
    EXPECT_STREQ(loginCheckUrl(), "https://passport.zavmo.example/app/loginCheck2");
    EXPECT_STREQ(myInfoUrl(), "https://api.zavmo.example/api/v1/my_info");
    const std::string analytics0 = pointingUrl();

    setEnvironment(1);
    EXPECT_STREQ(loginCheckUrl(), "http://passport.env1.zavmo.example/app/loginCheck2");
    EXPECT_STREQ(registerUrl(), "https://passport.env1.zavmo.example/member/login?type=reg");
    const std::string analytics1 = pointingUrl();
    const std::string passport1 = getShortTokenUrl();

    setEnvironment(2);
    EXPECT_STREQ(loginCheckUrl(), "https://passport.env2.zavmo.example/app/loginCheck2");
    EXPECT_STREQ(myRoomUrl(), "http://api.env2.zavmo.example/api/v1/my_room");
    // Environments 1 and 2 share the analytics host but not the account host.
    EXPECT_EQ(std::string(pointingUrl()), analytics1);
    EXPECT_NE(analytics0, analytics1);
    EXPECT_NE(std::string(getShortTokenUrl()), passport1);
    // One-host entries are the same in every environment, schemes as the table says.
    EXPECT_STREQ(moduleZipUrl(),
                 "http://img.zavmo.example/client_download/Olvane/files/ModuleDownload/LiveCodeModule.zip");

    setEnvironment(7);
    EXPECT_STREQ(loginCheckUrl(), "https://passport.zavmo.example/app/loginCheck2");
    EXPECT_STREQ(moduleZipUrl(),
                 "https://img.zavmo.example/client_download/Olvane/files/ModuleDownload/LiveCodeModule.zip");
    EXPECT_STREQ(supportGroupUrl(), "https://group.im.example/?_wv=1027&k=Kp4rT9x");
    EXPECT_STREQ(toolClientInfoUrl(),
                 "https://www.zavmo.example/api/v1/get_zbpc_client?appid=zbpc&token=7D3A90C4E1B65F28A4C07E9D2B31F6A5");
    EXPECT_STREQ(helpListUrl(), introduceListUrl());

    setEnvironment(-1);
    EXPECT_STREQ(checkPackageUrl(), "https://release.zavmo.example/talven/release/pc/checkPackage?appCode=ZVTool");
}

TEST_F(ServerUrlTableTest, SharedBufferAndOutOfRangeIndex)
{
    const char* first = getServerUrl(17);
    const std::string home = first;
    const char* second = getServerUrl(23);
    EXPECT_EQ(first, second);
    EXPECT_STRNE(first, home.c_str());

    const char* none = getServerUrl(44);
    EXPECT_STREQ(none, "");
    EXPECT_NE(none, second);
    EXPECT_STREQ(second, "https://obsproject.example/");
    EXPECT_STREQ(getServerUrl(1000), "");
}

TEST_F(ServerUrlTableTest, HostsFileOverridesHostAndPortPerScheme)
{
    QTemporaryDir dir;
    const QString hosts = dir.filePath("hosts.ini");
    QFile file(hosts);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("[passport]\nenv0.https=127.0.0.1:4443\nenv1.http=127.0.0.1:8080\n"
               "[picture_cdn]\nenv0.https=127.0.0.1:4443\nenv0.http=127.0.0.1:8080\n"
               "[analytics]\nenv1.https=collector.test:443\n");
    file.close();
    qputenv("ZAVMO_HOSTS", hosts.toLocal8Bit());

    setEnvironment(0);
    EXPECT_STREQ(scanCodeUrl(), "https://127.0.0.1:4443/scan/code");
    EXPECT_STREQ(moduleVersionIniUrl(),
                 "https://127.0.0.1:4443/client_download/Olvane/files/ModuleDownload/version.ini");
    setEnvironment(1);
    EXPECT_STREQ(scanCodeUrl(), "http://127.0.0.1:8080/scan/code");
    EXPECT_STREQ(moduleVersionIniUrl(),
                 "http://127.0.0.1:8080/client_download/Olvane/files/ModuleDownload/version.ini");
    EXPECT_STREQ(pointingUrl(), "https://collector.test/deliver/pelk2");
    // Kinds the file does not name keep their compiled-in hosts.
    EXPECT_STREQ(myInfoUrl(), "http://api.env1.zavmo.example/api/v1/my_info");
}

TEST_F(ServerUrlTableTest, OverlongHostDataIsCutToTheBuffer)
{
    QTemporaryDir dir;
    const QString hosts = dir.filePath("hosts.ini");
    for (const int hostLength : {2048, 2100, 5000}) {
        const QByteArray host = QByteArray("h") + QByteArray(hostLength - 1, 'a');
        QFile file(hosts);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write("[passport]\nenv0.https=" + host + ":4443\n");
        file.close();
        qputenv("ZAVMO_HOSTS", hosts.toLocal8Bit());
        setEnvironment(0);

        const std::string url = scanCodeUrl();
        EXPECT_EQ(url.size(), 2047u) << hostLength;
        EXPECT_EQ(url, ("https://" + host).left(2047).toStdString()) << hostLength;
    }
    // A short URL afterwards leaves nothing of the long one behind.
    qunsetenv("ZAVMO_HOSTS");
    EXPECT_STREQ(getServerUrl(44), "");
    EXPECT_STREQ(checkPackageUrl(), "https://release.zavmo.example/talven/release/pc/checkPackage?appCode=ZVTool");
}
