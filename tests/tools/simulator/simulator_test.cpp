// The running simulator, driven through the test support class and an
// independent HTTP client (libcurl).

#include "codec.h"
#include "http_client.h"
#include "simulator.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <future>
#include <memory>
#include <set>
#include <thread>

namespace zavmo::test {
namespace {

// Its Base64 text holds "+", "/" and "=", the characters that a form decoder
// or encoder would change.
const char* const kEvent =
    R"({"ac":"startup_loading","e":{"cpu_mod":"Intel(R) Core(TM) i7 >>> ???","cpu_num":8},"i":0,"rid":0})";

Json::Value parse(const std::string& text)
{
    Json::CharReaderBuilder builder;
    std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
    Json::Value value;
    std::string errors;
    if (!reader->parse(text.data(), text.data() + text.size(), &value, &errors))
        return Json::Value("unparsable: " + errors);
    return value;
}

Json::Value envelope(int error, const char* msg)
{
    Json::Value v;
    v["error"] = error;
    v["msg"] = msg;
    return v;
}

std::string readFile(const std::string& path)
{
    std::ifstream in(path);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

class SimulatorTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite() { sim_ = new Simulator(); }
    static void TearDownTestSuite()
    {
        delete sim_;
        sim_ = nullptr;
    }
    void SetUp() override { sim_->reset(); }

    Call post(const std::string& body, bool https = false) const
    {
        Call c;
        c.url = (https ? sim_->httpsOrigin() : sim_->httpOrigin()) + "/deliver/pelk2";
        c.body = body;
        c.caFile = sim_->caFile();
        return c;
    }

    static Simulator* sim_;
};

Simulator* SimulatorTest::sim_ = nullptr;

TEST_F(SimulatorTest, WritesItsFilesUnderTmpdir)
{
    const char* tmp = std::getenv("TMPDIR");
    if (tmp) {
        EXPECT_EQ(sim_->folder().rfind(tmp, 0), 0u) << sim_->folder();
    }
    const Json::Value ready = parse(readFile(sim_->folder() + "/ready.json"));
    EXPECT_EQ(ready["pid"].asInt64(), sim_->pid());
    EXPECT_EQ(ready["http_port"].asInt(), sim_->httpPort());
    EXPECT_EQ(ready["https_port"].asInt(), sim_->httpsPort());
    EXPECT_NE(sim_->httpPort(), sim_->httpsPort());

    const std::string hosts = readFile(sim_->hostsFile());
    EXPECT_NE(hosts.find("[analytics]\nenv0.http=127.0.0.1:" + std::to_string(sim_->httpPort()) +
                         "\nenv0.https=127.0.0.1:" + std::to_string(sim_->httpsPort()) + "\n"),
              std::string::npos)
        << hosts;
    EXPECT_EQ(readFile(sim_->caFile()).rfind("-----BEGIN CERTIFICATE-----\n", 0), 0u);

    sim_->setEnvironment();
    EXPECT_EQ(std::string(std::getenv("ZAVMO_HOSTS")), sim_->hostsFile());
    EXPECT_EQ(std::string(std::getenv("ZAVMO_CA_BUNDLE")), sim_->caFile());
    EXPECT_EQ(std::string(std::getenv("ZAVMO_CONNECT_TO")), ":443:127.0.0.1:" + std::to_string(sim_->httpsPort()) +
                                                                ",:80:127.0.0.1:" + std::to_string(sim_->httpPort()));
}

TEST_F(SimulatorTest, CollectorDecodesBase64SentRawOrPercentEncoded)
{
    const std::string raw = eventBody(kEvent, false);
    const std::string encoded = eventBody(kEvent, true);
    ASSERT_NE(raw.find('+'), std::string::npos);
    ASSERT_NE(raw.find('/'), std::string::npos);
    ASSERT_NE(encoded.find("%2B"), std::string::npos);

    const Reply r1 = send(post(raw, true));
    const Reply r2 = send(post(encoded, false));
    ASSERT_EQ(r1.code, CURLE_OK) << curl_easy_strerror(r1.code);
    ASSERT_EQ(r2.code, CURLE_OK) << curl_easy_strerror(r2.code);
    EXPECT_EQ(r1.status, 200);
    EXPECT_EQ(parse(r1.body), envelope(0, "ok"));
    EXPECT_EQ(parse(r2.body), envelope(0, "ok"));

    const auto events = sim_->waitForRequests("pelk2", 2, 5000);
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0]["scheme"], "https");
    EXPECT_EQ(events[1]["scheme"], "http");
    for (const Json::Value& e : events) {
        EXPECT_EQ(e["decoded"], parse(kEvent));
        EXPECT_EQ(e["v"], "1.0");
        EXPECT_FALSE(e.isMember("decode_error")) << e["decode_error"];
        EXPECT_EQ(e["method"], "POST");
        EXPECT_EQ(e["path"], "/deliver/pelk2");
        EXPECT_EQ(e["mode"], "success");
        EXPECT_EQ(e["headers"]["content-type"], "application/x-www-form-urlencoded");
    }
    EXPECT_EQ(events[0]["body"], raw);
    EXPECT_EQ(events[1]["body"], encoded);
    EXPECT_LT(events[0]["seq"].asInt64(), events[1]["seq"].asInt64());
    // Form fields of the body are not mistaken for the query.
    EXPECT_TRUE(events[0]["query"].empty());
}

TEST_F(SimulatorTest, CollectorAnswersBadRequestToBodiesItCannotDecode)
{
    std::string blanked = eventBody(kEvent, false); // as a form decoder would have mangled it
    for (char& c : blanked)
        if (c == '+')
            c = ' ';
    const std::vector<std::string> bodies = {
        "multi=@@@@&v=1.0",
        eventBody("not json", false),
        eventBody("[1,2]", false),
        eventBody(R"({"a":1} trailing)", false),
        "v=1.0",
        "",
        blanked,
    };
    for (const std::string& body : bodies) {
        const Reply r = send(post(body));
        ASSERT_EQ(r.code, CURLE_OK) << body;
        EXPECT_EQ(parse(r.body), envelope(1, "bad request")) << body;
    }
    const auto events = sim_->waitForRequests("pelk2", bodies.size(), 5000);
    ASSERT_EQ(events.size(), bodies.size());
    for (size_t i = 0; i < events.size(); ++i) {
        EXPECT_TRUE(events[i]["decoded"].isNull()) << bodies[i];
        EXPECT_FALSE(events[i]["decode_error"].asString().empty()) << bodies[i];
        EXPECT_EQ(events[i]["body"], bodies[i]);
    }
    EXPECT_TRUE(events[4]["v"] == "1.0");
    EXPECT_TRUE(events[5]["v"].isNull());
}

TEST_F(SimulatorTest, CollectorRecordsBodiesItCannotDecodeEvenNestedTooDeeply)
{
    // jsoncpp throws past its nesting limit; the request is still recorded.
    const std::string deep = std::string(5000, '[') + std::string(5000, ']');
    const Reply r = send(post(eventBody(deep, false)));
    ASSERT_EQ(r.code, CURLE_OK);
    EXPECT_EQ(r.status, 400);
    const auto events = sim_->waitForRequests("pelk2", 1, 5000);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_FALSE(events[0]["decode_error"].asString().empty());
    EXPECT_EQ(events[0]["body"], eventBody(deep, false));

    Call mode = post("{\"endpoint\":" + deep + ",\"mode\":\"cut\"}");
    mode.url = sim_->httpOrigin() + "/__sim/mode";
    mode.contentType = "application/json";
    EXPECT_EQ(send(mode).status, 400);
    EXPECT_EQ(sim_->mode("pelk2"), "success");
}

TEST_F(SimulatorTest, CollectorTakesFormBodiesAboveEightKilobytes)
{
    const std::string event = R"({"ac":"big","e":{"pad":")" + std::string(100000, 'x') + R"("}})";
    const std::string body = eventBody(event, true);
    ASSERT_GT(body.size(), 8192u);
    const Reply r = send(post(body));
    ASSERT_EQ(r.code, CURLE_OK);
    EXPECT_EQ(r.status, 200);
    EXPECT_EQ(parse(r.body), envelope(0, "ok"));
    const auto events = sim_->waitForRequests("pelk2", 1, 5000);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0]["decoded"], parse(event));
}

TEST_F(SimulatorTest, TextsThatAreNotUtf8AreRecordedInBase64)
{
    Call get;
    get.method = "GET";
    get.contentType.clear();
    get.url = sim_->httpOrigin() + "/raw/%FF%C3?%FE=%FD&ok=1&ok=%E4%B8%AD&bad=%C0%80";
    get.headers = {"X-Raw: \xff\xfe", "X-Plain: fine"};
    ASSERT_EQ(send(get).status, 404);
    Call post_ = post("a=%FF&b=\xff");
    ASSERT_EQ(send(post_).status, 200);

    // Every line is strict UTF-8 JSON.
    const std::string lines = readFile(sim_->requestsFile());
    EXPECT_TRUE(sim::isValidUtf8(lines));
    const auto all = sim_->waitForRequests("", 2, 5000);
    ASSERT_EQ(all.size(), 2u);
    const Json::Value& rec = all[0];
    EXPECT_EQ(rec["path"], "");
    EXPECT_EQ(rec["path_base64"], sim::base64Encode("/raw/\xff\xc3"));
    EXPECT_EQ(rec["query_string"], "%FE=%FD&ok=1&ok=%E4%B8%AD&bad=%C0%80");
    EXPECT_EQ(rec["query"]["ok"][1], "中");
    EXPECT_FALSE(rec["query"].isMember("bad"));
    EXPECT_EQ(rec["query_base64"][sim::base64Encode("\xfe")], sim::base64Encode("\xfd"));
    EXPECT_EQ(rec["query_base64"][sim::base64Encode("bad")], sim::base64Encode("\xc0\x80"));
    EXPECT_EQ(rec["headers"]["x-plain"], "fine");
    EXPECT_FALSE(rec["headers"].isMember("x-raw"));
    EXPECT_EQ(rec["headers_base64"][sim::base64Encode("x-raw")], sim::base64Encode("\xff\xfe"));
    EXPECT_EQ(all[1]["body"], "");
    EXPECT_EQ(all[1]["body_base64"], sim::base64Encode("a=%FF&b=\xff"));
}

TEST_F(SimulatorTest, CollectorChecksMethodAndContentType)
{
    Call get = post("");
    get.method = "GET";
    get.contentType.clear();
    EXPECT_EQ(send(get).status, 405);

    Call text = post(eventBody(kEvent, false));
    text.contentType = "text/plain";
    EXPECT_EQ(send(text).status, 415);

    Call noType = post(eventBody(kEvent, false));
    noType.contentType.clear();
    noType.method = "PUT";
    EXPECT_EQ(send(noType).status, 405);

    // Without a length a real server does not wait for the client to close.
    Call noLength = post("");
    noLength.withBody = false;
    const Reply lengthRequired = send(noLength);
    EXPECT_EQ(lengthRequired.status, 411);
    EXPECT_LT(lengthRequired.elapsedMs, 3000);

    Call withCharset = post(eventBody(kEvent, false));
    withCharset.contentType = "Application/x-www-form-urlencoded; charset=UTF-8";
    const Reply ok = send(withCharset);
    EXPECT_EQ(parse(ok.body), envelope(0, "ok"));

    const auto events = sim_->waitForRequests("pelk2", 5, 5000);
    ASSERT_EQ(events.size(), 5u);
    EXPECT_EQ(events[0]["rejected"], "method not allowed");
    EXPECT_EQ(events[1]["rejected"], "unsupported content type");
    EXPECT_FALSE(events[1].isMember("decoded"));
    EXPECT_EQ(events[2]["method"], "PUT");
    EXPECT_EQ(events[3]["rejected"], "length required");
    EXPECT_FALSE(events[4].isMember("rejected"));
    EXPECT_EQ(events[4]["decoded"], parse(kEvent));
}

TEST_F(SimulatorTest, ReplyModesShapeTheReply)
{
    const std::string body = eventBody(kEvent, false);
    EXPECT_EQ(sim_->mode("pelk2"), "success");

    sim_->setMode("pelk2", "error:7");
    EXPECT_EQ(sim_->mode("pelk2"), "error:7");
    Reply r = send(post(body, true));
    EXPECT_EQ(r.status, 200);
    EXPECT_EQ(parse(r.body), envelope(7, "simulated error"));

    sim_->setMode("pelk2", "error:-1");
    EXPECT_EQ(parse(send(post(body)).body), envelope(-1, "simulated error"));

    sim_->setMode("pelk2", "badjson");
    r = send(post(body));
    EXPECT_EQ(r.status, 200);
    EXPECT_TRUE(parse(r.body).isString()) << "parsed: " << r.body;

    sim_->setMode("pelk2", "http500");
    EXPECT_EQ(send(post(body, true)).status, 500);

    sim_->setMode("pelk2", "delay:300");
    r = send(post(body));
    EXPECT_EQ(parse(r.body), envelope(0, "ok"));
    EXPECT_GE(r.elapsedMs, 290);

    sim_->reset();
    EXPECT_EQ(sim_->mode("pelk2"), "success");
    EXPECT_EQ(parse(send(post(body)).body), envelope(0, "ok"));

    // Each request is recorded with the mode it met, decoded all the same.
    const auto events = sim_->requests("pelk2");
    ASSERT_EQ(events.size(), 1u); // the reset emptied the log
    EXPECT_EQ(events[0]["mode"], "success");
}

TEST_F(SimulatorTest, CutClosesTheConnectionWithoutAReplyOnBothSchemes)
{
    sim_->setMode("pelk2", "cut");
    for (bool https : {false, true}) {
        const Reply r = send(post(eventBody(kEvent, false), https));
        EXPECT_NE(r.code, CURLE_OK) << "https " << https;
        EXPECT_NE(r.code, CURLE_OPERATION_TIMEDOUT) << "https " << https;
        EXPECT_EQ(r.status, 0);
        EXPECT_TRUE(r.body.empty());
        EXPECT_LT(r.elapsedMs, 3000);
    }
    const auto events = sim_->waitForRequests("pelk2", 2, 5000);
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[1]["mode"], "cut");
    EXPECT_EQ(events[1]["decoded"], parse(kEvent));
}

TEST_F(SimulatorTest, StallHoldsTheReplyUntilReset)
{
    sim_->setMode("pelk2", "stall");
    Call c = post(eventBody(kEvent, false));
    c.timeoutMs = 400;
    const Reply timedOut = send(c);
    EXPECT_EQ(timedOut.code, CURLE_OPERATION_TIMEDOUT);
    EXPECT_GE(timedOut.elapsedMs, 350);

    c.timeoutMs = 20000;
    auto pending = std::async(std::launch::async, [c] { return send(c); });
    ASSERT_EQ(sim_->waitForRequests("pelk2", 2, 5000).size(), 2u);
    EXPECT_EQ(pending.wait_for(std::chrono::milliseconds(200)), std::future_status::timeout);
    sim_->reset();
    ASSERT_EQ(pending.wait_for(std::chrono::seconds(5)), std::future_status::ready);
    const Reply released = pending.get();
    EXPECT_NE(released.code, CURLE_OK);
    EXPECT_EQ(released.status, 0);
}

TEST_F(SimulatorTest, RefusesUnknownModesAndEndpoints)
{
    EXPECT_THROW(sim_->setMode("pelk2", "sometimes"), std::runtime_error);
    EXPECT_THROW(sim_->setMode("pelk2", "delay:-5"), std::runtime_error);
    EXPECT_THROW(sim_->setMode("pelk2", "error:abc"), std::runtime_error);
    EXPECT_THROW(sim_->setMode("nosuch", "success"), std::runtime_error);
    EXPECT_THROW(sim_->mode("nosuch"), std::runtime_error);
    EXPECT_EQ(sim_->mode("pelk2"), "success");
}

TEST_F(SimulatorTest, RecordsUnknownPathsButNotControlRequests)
{
    sim_->setMode("pelk2", "http500");
    Call get;
    get.method = "GET";
    get.contentType.clear();
    get.url = sim_->httpsOrigin() + "/no/such/path?x=1&y=a+b%2B&x=2";
    get.caFile = sim_->caFile();
    const Reply r = send(get);
    EXPECT_EQ(r.code, CURLE_OK);
    EXPECT_EQ(r.status, 404);

    Call unknownControl = get;
    unknownControl.url = sim_->httpOrigin() + "/__sim/nothing";
    EXPECT_EQ(send(unknownControl).status, 404);

    const auto all = sim_->waitForRequests("", 1, 5000);
    ASSERT_EQ(all.size(), 1u);
    const Json::Value& rec = all[0];
    EXPECT_EQ(rec["endpoint"], "");
    EXPECT_EQ(rec["path"], "/no/such/path");
    EXPECT_EQ(rec["scheme"], "https");
    EXPECT_EQ(rec["query_string"], "x=1&y=a+b%2B&x=2");
    EXPECT_EQ(rec["query"]["y"], "a b+");
    ASSERT_TRUE(rec["query"]["x"].isArray());
    EXPECT_EQ(rec["query"]["x"][1], "2");
    EXPECT_EQ(rec["headers"]["host"], "127.0.0.1:" + std::to_string(sim_->httpsPort()));
    EXPECT_FALSE(rec["headers"].isMember("Host"));
    EXPECT_FALSE(rec["headers"].isMember("remote_addr"));
    EXPECT_TRUE(sim_->requests("pelk2").empty());
}

TEST_F(SimulatorTest, CertificateIsValidFor127001AndLocalhostOnly)
{
    Call c = post(eventBody(kEvent, false), true);
    EXPECT_EQ(send(c).code, CURLE_OK);

    Call untrusted = c;
    untrusted.caFile.clear();    // the system store does not know the test CA
    untrusted.timeoutMs = 20000; // reading the whole store is slow under sanitizers
    EXPECT_EQ(send(untrusted).code, CURLE_PEER_FAILED_VERIFICATION);

    const std::string port = std::to_string(sim_->httpsPort());
    Call byName = c;
    byName.url = "https://localhost:" + port + "/deliver/pelk2";
    byName.resolve = {"localhost:" + port + ":127.0.0.1"};
    EXPECT_EQ(send(byName).code, CURLE_OK);

    Call otherName = c;
    otherName.url = "https://collect.zavmo.example:" + port + "/deliver/pelk2";
    otherName.resolve = {"collect.zavmo.example:" + port + ":127.0.0.1"};
    EXPECT_EQ(send(otherName).code, CURLE_PEER_FAILED_VERIFICATION);
}

TEST_F(SimulatorTest, ConcurrentRequestsEachGetOneWholeLine)
{
    constexpr int kThreads = 12;
    constexpr int kEach = 4;
    std::vector<std::thread> threads;
    std::atomic<int> ok{0};
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < kEach; ++i) {
                const std::string json = R"({"t":)" + std::to_string(t) + R"(,"i":)" + std::to_string(i) + "}";
                if (send(post(eventBody(json, i % 2 == 0), t % 2 == 0)).code == CURLE_OK)
                    ++ok;
            }
        });
    }
    for (std::thread& th : threads)
        th.join();
    EXPECT_EQ(ok, kThreads * kEach);

    const auto events = sim_->waitForRequests("pelk2", kThreads * kEach, 5000);
    ASSERT_EQ(events.size(), static_cast<size_t>(kThreads * kEach));
    std::set<std::pair<int, int>> seen;
    Json::Int64 lastSeq = 0;
    for (const Json::Value& e : events) {
        EXPECT_GT(e["seq"].asInt64(), lastSeq);
        lastSeq = e["seq"].asInt64();
        seen.emplace(e["decoded"]["t"].asInt(), e["decoded"]["i"].asInt());
    }
    EXPECT_EQ(seen.size(), static_cast<size_t>(kThreads * kEach));
}

Call query(const Simulator& sim, const std::string& suffix)
{
    Call c;
    c.method = "GET";
    c.withBody = false;
    c.contentType.clear();
    c.url = sim.httpsOrigin() + "/talven/release/pc/checkPackage" + suffix;
    c.caFile = sim.caFile();
    return c;
}

TEST_F(SimulatorTest, PackageQueryNamesTheInstallerOnTheSameServerAndChecksTheProduct)
{
    Simulator& sim = *sim_;
    const Json::Value ok = parse(send(query(sim, "?appCode=ZVTool")).body);
    EXPECT_EQ(ok["error"], 0);
    EXPECT_EQ(ok["data"]["fileUrl"].asString(),
              sim.httpsOrigin() + "/release/pc/ZVTool/" + ok["data"]["version"].asString() + "/ZVTool_installer.exe");
    // ...at a path the simulator lists among the installers it serves.
    const std::vector<std::string> listed = sim.installerPaths();
    EXPECT_NE(std::find(listed.begin(), listed.end(),
                        "release/pc/ZVTool/" + ok["data"]["version"].asString() + "/ZVTool_installer.exe"),
              listed.end());
    // The named file is served from the release tree.
    const std::string folder = sim.filesRoot() + "/release/pc/ZVTool/" + ok["data"]["version"].asString();
    ASSERT_TRUE(std::filesystem::create_directories(folder));
    std::ofstream(folder + "/ZVTool_installer.exe") << "installer bytes";
    Call file = query(sim, "");
    file.url = ok["data"]["fileUrl"].asString();
    const Reply fetched = send(file);
    EXPECT_EQ(fetched.status, 200);
    EXPECT_EQ(fetched.body, "installer bytes");

    EXPECT_EQ(parse(send(query(sim, "?appCode=Nope")).body)["error"], 40001);
    EXPECT_EQ(parse(send(query(sim, "")).body)["error"], 40001);

    Call post = query(sim, "?appCode=ZVTool");
    post.method = "POST";
    post.withBody = true;
    EXPECT_EQ(send(post).status, 405);

    sim.setMode("checkPackage", "error:7");
    EXPECT_EQ(parse(send(query(sim, "?appCode=ZVTool")).body)["error"], 7);

    const auto records = sim.waitForRequests("checkPackage", 5, 5000);
    ASSERT_EQ(records.size(), 5u);
    EXPECT_EQ(records[0]["appCode"], "ZVTool");
    EXPECT_TRUE(records[2]["appCode"].isNull());
}

} // namespace
} // namespace zavmo::test
