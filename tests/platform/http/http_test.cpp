// The libcurl stand-in against the platform simulator: what goes on the wire,
// how each kind of failure is reported, and the deployment seams
// (ZAVMO_CONNECT_TO, ZAVMO_CA_BUNDLE, proxy variables ignored).

#include "platform/http.h"

#include "simulatorsuite.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>

namespace http = platform::http;

namespace {

class HttpTest : public zavmo::test::SimulatorSuite
{
protected:
    static void SetUpTestSuite()
    {
        SimulatorSuite::SetUpTestSuite();
        std::ofstream(sim_->filesRoot() + "/data.bin", std::ios::binary) << std::string(100000, 'x');
    }

    static http::Request get(const std::string& url)
    {
        http::Request r;
        r.url = url;
        r.idleTimeoutMs = 3000;
        r.connectTimeoutMs = 3000;
        return r;
    }
};

TEST_F(HttpTest, SendsOnlyWhatTheCallerGives)
{
    http::Request post = get(sim_->httpsOrigin() + "/deliver/pelk2?x=1");
    post.method = "POST";
    post.userAgent = "A WinHTTP Example Program/1.0";
    post.headers = {"Content-Type: application/x-www-form-urlencoded"};
    post.hasBody = true;
    post.body = "multi=e30K&v=1.0";
    http::Result r = http::perform(post);
    EXPECT_EQ(r.outcome, http::Outcome::Ok) << r.error;
    EXPECT_EQ(r.status, 200);
    EXPECT_NE(r.body.find("\"error\":0"), std::string::npos) << r.body;

    http::Request ranged = get(sim_->httpOrigin() + "/files/data.bin");
    ranged.headers = {"Range:bytes=99990-"};
    r = http::perform(ranged);
    EXPECT_EQ(r.outcome, http::Outcome::Ok) << r.error;
    EXPECT_EQ(r.status, 206);
    EXPECT_EQ(r.body, std::string(10, 'x'));
    EXPECT_EQ(http::headerValue(r.headers, "content-range"), "bytes 99990-99999/100000");

    const auto records = sim_->waitForRequests("", 2, 5000);
    ASSERT_EQ(records.size(), 2u);
    Json::Value names(Json::arrayValue);
    for (const std::string& name : records[0]["headers"].getMemberNames())
        names.append(name);
    EXPECT_EQ(records[0]["headers"]["user-agent"], "A WinHTTP Example Program/1.0");
    EXPECT_EQ(records[0]["headers"]["content-type"], "application/x-www-form-urlencoded");
    EXPECT_EQ(records[0]["body"], "multi=e30K&v=1.0");
    EXPECT_EQ(records[0]["query_string"], "x=1");
    for (const char* absent : {"accept", "expect", "transfer-encoding", "proxy-connection"})
        EXPECT_FALSE(records[0]["headers"].isMember(absent)) << absent << " in " << names;
    EXPECT_FALSE(records[1]["headers"].isMember("user-agent"));
    EXPECT_FALSE(records[1]["headers"].isMember("content-type"));
    EXPECT_EQ(records[1]["headers"]["range"], "bytes=99990-");
}

TEST_F(HttpTest, ConnectToMapsFixedPortsOntoTheSimulator)
{
    ::setenv("http_proxy", "http://127.0.0.1:9", 1);
    ::setenv("https_proxy", "http://127.0.0.1:9", 1);
    ::setenv("ALL_PROXY", "http://127.0.0.1:9", 1);
    // Port 443 and 80 as the launcher uses them; the certificate holds 127.0.0.1.
    for (const char* url : {"https://127.0.0.1/files/data.bin", "http://127.0.0.1/files/data.bin"}) {
        const http::Result r = http::perform(get(url));
        EXPECT_EQ(r.outcome, http::Outcome::Ok) << url << ": " << r.error;
        EXPECT_EQ(r.body.size(), 100000u) << url;
    }
    ::unsetenv("http_proxy");
    ::unsetenv("https_proxy");
    ::unsetenv("ALL_PROXY");
    const auto records = sim_->waitForRequests("files", 2, 5000);
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0]["scheme"], "https");
    EXPECT_EQ(records[1]["scheme"], "http");
}

TEST_F(HttpTest, VerifiesCertificatesAgainstSystemStorePlusBundle)
{
    // Issued by the trusted CA, but for 127.0.0.1 and localhost only.
    http::Result r = http::perform(get("https://other.example/files/data.bin"));
    EXPECT_EQ(r.outcome, http::Outcome::SendFailed);
    EXPECT_TRUE(r.tlsFailure) << r.error;

    ::unsetenv("ZAVMO_CA_BUNDLE");
    r = http::perform(get(sim_->httpsOrigin() + "/files/data.bin"));
    EXPECT_EQ(r.outcome, http::Outcome::SendFailed);
    EXPECT_TRUE(r.tlsFailure) << r.error;
    EXPECT_EQ(r.status, 0);

    // A bundle that holds no certificate fails rather than trusting less.
    const std::string bad = sim_->folder() + "/bad.pem";
    std::ofstream(bad) << "not a certificate\n";
    ::setenv("ZAVMO_CA_BUNDLE", bad.c_str(), 1);
    r = http::perform(get(sim_->httpsOrigin() + "/files/data.bin"));
    EXPECT_EQ(r.outcome, http::Outcome::SendFailed);
    EXPECT_TRUE(r.tlsFailure) << r.error;

    // Plain HTTP does not care.
    r = http::perform(get(sim_->httpOrigin() + "/files/data.bin"));
    EXPECT_EQ(r.outcome, http::Outcome::Ok);
    EXPECT_TRUE(sim_->requests("files").size() == 1u);
}

TEST_F(HttpTest, ReportsHowFarAFailedExchangeGot)
{
    http::Result r = http::perform(get("ftp://127.0.0.1/x"));
    EXPECT_EQ(r.outcome, http::Outcome::BadUrl);
    r = http::perform(get("http://127.0.0.1:1/x"));
    EXPECT_EQ(r.outcome, http::Outcome::SendFailed);
    EXPECT_FALSE(r.tlsFailure);

    sim_->setMode("files", "cut");
    r = http::perform(get(sim_->httpOrigin() + "/files/data.bin"));
    EXPECT_EQ(r.outcome, http::Outcome::ReceiveFailed) << r.error;

    sim_->setMode("files", "cutat:5000");
    r = http::perform(get(sim_->httpOrigin() + "/files/data.bin"));
    EXPECT_EQ(r.outcome, http::Outcome::BodyFailed) << r.error;
    EXPECT_EQ(r.status, 200);
    EXPECT_EQ(r.body.size(), 5000u);

    // Idle limits, measured on a monotonic clock from the last byte.
    sim_->setMode("files", "stall");
    http::Request quick = get(sim_->httpOrigin() + "/files/data.bin");
    quick.idleTimeoutMs = 400;
    auto start = std::chrono::steady_clock::now();
    r = http::perform(quick);
    EXPECT_EQ(r.outcome, http::Outcome::ReceiveFailed);
    EXPECT_TRUE(r.timedOut);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));

    sim_->setMode("files", "stallat:1000");
    r = http::perform(quick);
    EXPECT_EQ(r.outcome, http::Outcome::BodyFailed);
    EXPECT_TRUE(r.timedOut);
    EXPECT_EQ(r.body.size(), 1000u);

    // The caller's callbacks stop an exchange.
    sim_->setMode("files", "throttle:100000");
    int polls = 0;
    http::Callbacks stop;
    stop.onPoll = [&] { return ++polls < 5; };
    start = std::chrono::steady_clock::now();
    r = http::perform(get(sim_->httpOrigin() + "/files/data.bin"), stop);
    EXPECT_EQ(r.outcome, http::Outcome::Aborted);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(900));

    sim_->setMode("files", "success");
    http::Callbacks refuse;
    refuse.onHeaders = [](long status, const http::Headers&) { return status == 206; };
    r = http::perform(get(sim_->httpOrigin() + "/files/data.bin"), refuse);
    EXPECT_EQ(r.outcome, http::Outcome::Aborted);
    EXPECT_TRUE(r.body.empty());
}

TEST_F(HttpTest, FollowsRedirectsButNeverFromTlsToPlain)
{
    sim_->setMode("files", "redirect:" + sim_->httpOrigin() + "/deliver/pelk2");
    http::Result r = http::perform(get(sim_->httpsOrigin() + "/files/data.bin"));
    EXPECT_NE(r.outcome, http::Outcome::Ok);

    // From plain to TLS is fine, with the same trusted certificates.
    sim_->setMode("files", "redirect:" + sim_->httpsOrigin() + "/deliver/pelk2");
    r = http::perform(get(sim_->httpOrigin() + "/files/data.bin"));
    EXPECT_EQ(r.outcome, http::Outcome::Ok) << r.error;
    EXPECT_EQ(r.status, 405); // the collector takes POST only
    const auto followed = sim_->waitForRequests("pelk2", 1, 5000);
    ASSERT_EQ(followed.size(), 1u);
    EXPECT_EQ(followed[0]["scheme"], "https");

    sim_->setMode("files", "redirect:/files/data.bin?again");
    http::Request once = get(sim_->httpOrigin() + "/files/data.bin");
    once.followRedirects = false;
    r = http::perform(once);
    EXPECT_EQ(r.outcome, http::Outcome::Ok);
    EXPECT_EQ(r.status, 302);
    EXPECT_EQ(http::headerValue(r.headers, "Location"), "/files/data.bin?again");
}

} // namespace
