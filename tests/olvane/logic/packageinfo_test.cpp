// The installer addresses the tools manager takes from the release service.

#include "logic_support.h"

#include "core/deployment.h"
#include "core/serverurltable.h"
#include "core/stringconstants.h"
#include "logic/zvlivetoolsmanager.h"

#include "simulator.h"

#include <gtest/gtest.h>

#include <QUrl>

#include <algorithm>

using namespace logictest;
using livetools::isAcceptableInstallerUrl;
using livetools::parseZvShowClientInfo;
using livetools::parseZvToolPackageInfo;

namespace {

TEST(InstallerUrl, OnlyHttpsWithAPlainFileNameIsAccepted)
{
    EXPECT_TRUE(isAcceptableInstallerUrl("https://cdn.example/a/ZVTool_installer.exe"));
    EXPECT_TRUE(isAcceptableInstallerUrl("https://cdn.example/a/ZVTool%20installer.exe?x=1"));
    EXPECT_FALSE(isAcceptableInstallerUrl("http://cdn.example/a/ZVTool_installer.exe"));
    EXPECT_FALSE(isAcceptableInstallerUrl("file:///tmp/ZVTool_installer.exe"));
    EXPECT_FALSE(isAcceptableInstallerUrl("https://cdn.example/a/"));
    EXPECT_FALSE(isAcceptableInstallerUrl("https://cdn.example"));
    EXPECT_FALSE(isAcceptableInstallerUrl("https://cdn.example/a/%2E%2E"));
    EXPECT_FALSE(isAcceptableInstallerUrl("https://cdn.example/a/..%2F..%2Fevil.exe"));
    EXPECT_FALSE(isAcceptableInstallerUrl("https://cdn.example/a/..%5Cevil.exe"));
    EXPECT_FALSE(isAcceptableInstallerUrl("https://cdn.example/a/x%0A.exe"));
    EXPECT_FALSE(isAcceptableInstallerUrl("not a url"));
}

TEST(PackageInfo, EveryFailureLogsAndGivesNoAddress)
{
    LogCapture log;
    EXPECT_EQ(parseZvToolPackageInfo(""), "");
    EXPECT_TRUE(log.contains("by kx get pc client info is null"));
    EXPECT_EQ(parseZvToolPackageInfo(R"({"error":3,"data":{"fileUrl":"https://h/x.exe"}})"), "");
    EXPECT_TRUE(log.contains("by kx get download url failed ,err code : 3"));
    EXPECT_EQ(parseZvToolPackageInfo(R"({"error":0,"data":"x"})"), "");
    EXPECT_EQ(parseZvToolPackageInfo("{not json"), "");
    EXPECT_TRUE(log.contains("by kx get download data is null "));
    EXPECT_EQ(parseZvToolPackageInfo(R"({"data":{"fileUrl":7}})"), "");
    EXPECT_TRUE(log.contains("by kx get ZVTool download url failed"));
    EXPECT_EQ(parseZvToolPackageInfo(R"({"data":{"fileUrl":"http://h/x.exe"}})"), "");
    EXPECT_TRUE(log.contains("by kx refused ZVTool download url : http://h/x.exe"));

    EXPECT_EQ(parseZvShowClientInfo(R"({"error":0,"data":{"zbpc_show":[]}})"), "");
    EXPECT_TRUE(log.contains("by kx get ZVShow info failed"));
    EXPECT_EQ(parseZvShowClientInfo(R"({"error":0,"data":{"zbpc_show":{"down_url":null}}})"), "");
    EXPECT_TRUE(log.contains("by kx get ZVShow download url failed"));
}

TEST(PackageInfo, ReadsTheAddressesOfBothReplies)
{
    EXPECT_EQ(parseZvToolPackageInfo(R"({"data":{"fileUrl":"https://h/p/ZVTool_installer.exe"}})"),
              "https://h/p/ZVTool_installer.exe");
    EXPECT_EQ(
        parseZvShowClientInfo(R"({"error":0,"data":{"zbpc_show":{"down_url":"https://h/ZVShow-installer.exe"}}})"),
        "https://h/ZVShow-installer.exe");
    // An empty address is a success that changes nothing.
    EXPECT_EQ(parseZvToolPackageInfo(R"({"error":0,"data":{"fileUrl":""}})"), "");
}

class PackageQueryTest : public ::testing::Test
{
protected:
    void SetUp() override { sim.setEnvironment(); }
    // The path the simulator serves the product's current installer at.
    std::string releaseInstaller(const std::string& appCode) const
    {
        for (const std::string& path : sim.installerPaths())
            if (path.rfind("release/pc/" + appCode + "/", 0) == 0)
                return path;
        return std::string();
    }
    zavmo::test::Simulator sim;
};

TEST_F(PackageQueryTest, TheSimulatorServesInstallersWhereTheUrlTableNamesThem)
{
    const std::vector<std::string> served = sim.installerPaths();
    for (const auto url : {obsInstallerUrl, obsStudioInstallerUrl, zvToolInstallerUrl, zvShowInstallerUrl,
                           netFrameworkInstallerUrl, directXInstallerUrl, vcRedistInstallerUrl}) {
        const std::string path = QUrl(QString::fromUtf8(url())).path().mid(1).toStdString();
        EXPECT_NE(std::find(served.begin(), served.end(), path), served.end()) << path;
    }
}

TEST_F(PackageQueryTest, TheServersAddressReplacesTheBuiltInOne)
{
    ASSERT_TRUE(deployment::installTrustedCertificates());
    const QString builtIn = QString::fromUtf8(zvToolInstallerUrl());
    ZvLiveToolsManager manager;
    ASSERT_TRUE(manager.init(0));
    const QString expected = QString::fromStdString(sim.httpsOrigin() + "/" + releaseInstaller("ZVTool"));
    ASSERT_TRUE(waitFor([&] { return sim.requests("checkPackage").size() == 1; }));
    // The answer is stored when it arrives; getDownloadUrl asks again.
    EXPECT_TRUE(waitFor([&] { return manager.getDownloadUrl(kZvToolName) == expected; }));
    EXPECT_EQ(sim.requests("checkPackage")[0]["query"]["appCode"], "ZVTool");
    EXPECT_EQ(manager.getDownloadUrl(kObsClassicToolName), QString::fromUtf8(obsInstallerUrl()));
    EXPECT_EQ(manager.getDownloadUrl(kZvShowToolName), QString::fromUtf8(zvShowInstallerUrl()));
    EXPECT_EQ(manager.getDownloadUrl("unknown"), "");
    EXPECT_NE(builtIn, expected);
}

TEST_F(PackageQueryTest, AnUntrustedCertificateIsLoggedAndNotIgnored)
{
    // A fresh simulator's CA is not among the trusted ones of this test.
    zavmo::test::Simulator other;
    other.setEnvironment();
    LogCapture log;
    ZvLiveToolsManager manager;
    ASSERT_TRUE(manager.init(0));
    ASSERT_TRUE(waitFor([&] { return log.contains("by kx obtain download url info failed"); }));
    EXPECT_TRUE(log.contains("ZvLiveToolsManager::sltSSLErrorDeal {error : "));
    EXPECT_EQ(manager.getDownloadUrl(kZvToolName), QString::fromUtf8(zvToolInstallerUrl()));
}

TEST_F(PackageQueryTest, ServerErrorsKeepTheBuiltInAddressAndOtherSourcesNeverAsk)
{
    ASSERT_TRUE(deployment::installTrustedCertificates());
    sim.setMode("checkPackage", "http500");
    {
        LogCapture log;
        ZvLiveToolsManager manager;
        ASSERT_TRUE(manager.init(0));
        ASSERT_TRUE(waitFor([&] { return log.contains("by kx obtain download url info failed"); }));
        EXPECT_EQ(manager.getDownloadUrl(kZvToolName), QString::fromUtf8(zvToolInstallerUrl()));
        // getDownloadUrl asked again: the reset waits until the simulator has
        // both queries, so that neither is recorded after it.
        ASSERT_TRUE(waitFor([&] { return sim.requests("checkPackage").size() == 2; }));
    }
    sim.reset();
    ZvLiveToolsManager manager;
    ASSERT_TRUE(manager.init(1));
    EXPECT_EQ(manager.getDownloadUrl(kZvToolName), QString::fromUtf8(zvToolInstallerUrl()));
    settle(300);
    EXPECT_TRUE(sim.requests("checkPackage").empty());
}

} // namespace
