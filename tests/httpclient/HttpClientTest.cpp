#include "httpclient/HttpClient.h"

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>
#include <string>

#include <gtest/gtest.h>

#include "platform/codePage.h"
#include "platform/net/CookieStore.h"
#include "platform/net/HttpSession.h"
#include "platform/textRoutines.h"
#include "support/TestHttpServer.h"
#include "support/TestProxy.h"

namespace qingtong {
namespace {

using test::RecordedRequest;
using test::ScriptedResponse;
using test::TestHttpServer;

ScriptedResponse ok(std::string body, std::vector<std::string> headers = {})
{
    ScriptedResponse r;
    r.body = std::move(body);
    r.headers = std::move(headers);
    return r;
}

ScriptedResponse redirect(const std::string& location, std::vector<std::string> headers = {})
{
    ScriptedResponse r;
    r.status = 302;
    r.reason = "Found";
    r.headers = std::move(headers);
    r.headers.push_back("Location: " + location);
    r.body = "moved";
    return r;
}

// Short time-outs so that a failure shows in well under a second.
void quick(HttpClient& http) { http.setTimeouts(1000, 1000, 1000, 1000); }

TEST(HttpClientRequest, SchemeCompletionVerbAndDefaultHeaders)
{
    TestHttpServer server;
    server.route("/a", ok("A"));
    const std::string hostPort = "127.0.0.1:" + std::to_string(server.port());

    struct Case {
        std::string url;
        bool opens;
        std::string storedUrl;
        bool send = true;
    };
    const Case cases[] = {
        {hostPort + "/a?x=1", true, "http://" + hostPort + "/a?x=1"},         // bare host and path
        {"HTTP://" + hostPort + "/a", true, "HTTP://" + hostPort + "/a"},     // capital scheme kept
        {"http://", true, "http://http://", false},                           // shorter than 8 bytes
        {"http://127.0.0.1:99999/a", false, "http://127.0.0.1:99999/a"},       // port out of range
        {"http://" + hostPort + "?q=1", true, "http://" + hostPort + "?q=1"},  // no path: query kept
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.url);
        HttpClient http;
        EXPECT_EQ(http.open("", c.url), c.opens);
        EXPECT_EQ(http.url(), c.storedUrl);
        if (c.opens && c.send) {
            EXPECT_TRUE(http.send());
        }
    }
    const auto reqs = server.requests();
    ASSERT_EQ(reqs.size(), 3u);
    EXPECT_EQ(reqs[0].method, "GET");
    EXPECT_EQ(reqs[0].target, "/a?x=1");
    EXPECT_EQ(reqs[2].target, "/?q=1");
    EXPECT_EQ(reqs[0].header("Accept"), "*/*");
    EXPECT_EQ(reqs[0].header("Accept-Language"), "zh-cn");
    EXPECT_EQ(reqs[0].header("Cache-Control"), "no-cache");
    EXPECT_EQ(reqs[0].header("User-Agent"), HttpClient::kDefaultUserAgent);
    EXPECT_FALSE(reqs[0].hasHeader("Content-Type"));
}

TEST(HttpClientRequest, PostContentTypeAndCallerHeadersWin)
{
    TestHttpServer server;
    server.route("/p", ok("P"));
    {
        // "post" becomes POST and gets the form type even without a body.
        HttpClient http;
        ASSERT_TRUE(http.open("post", server.url("/p")));
        EXPECT_TRUE(http.isPost());
        ASSERT_TRUE(http.setUserAgent("okhttp/3.12.1"));
        ASSERT_TRUE(http.setHeader("Accept", "application/json"));
        ASSERT_TRUE(http.send());
    }
    {
        // A GET with a body gets the form type too; a POST body goes out unchanged.
        HttpClient http;
        ASSERT_TRUE(http.open("GET", server.url("/p")));
        ASSERT_TRUE(http.send("k=v&x=\xD6\xD0"));
    }
    const auto reqs = server.requests();
    ASSERT_EQ(reqs.size(), 2u);
    EXPECT_EQ(reqs[0].method, "POST");
    EXPECT_EQ(reqs[0].header("Content-Type"), "application/x-www-form-urlencoded");
    EXPECT_EQ(reqs[0].header("Content-Length"), "0");
    EXPECT_EQ(reqs[0].header("Accept"), "application/json");
    EXPECT_EQ(reqs[0].header("User-Agent"), "okhttp/3.12.1");
    EXPECT_EQ(reqs[1].method, "GET");
    EXPECT_EQ(reqs[1].header("Content-Type"), "application/x-www-form-urlencoded");
    EXPECT_EQ(reqs[1].body, "k=v&x=\xD6\xD0");
}

TEST(HttpClientRequest, HeaderOperationsNeedARequestAndRefuseLineBreaks)
{
    HttpClient http;
    EXPECT_FALSE(http.setUserAgent());
    EXPECT_FALSE(http.setCredentials("u", "p"));
    EXPECT_FALSE(http.setOption(2, net::option::DisableFeature, net::feature::Cookies));
    EXPECT_FALSE(http.setCookies("a=1"));
    EXPECT_FALSE(http.send());
    ASSERT_TRUE(http.open("GET", "http://127.0.0.1:9/x"));
    EXPECT_FALSE(http.setHeader("", "v"));
    EXPECT_FALSE(http.setHeader("X-A", "1\r\nX-Injected: 1"));
    EXPECT_FALSE(http.setClientAddress("1.2.3.4\r\nX: y"));
    EXPECT_TRUE(http.setHeader("X-A", "1"));
    EXPECT_TRUE(http.setOption(2, net::option::DisableFeature, net::feature::Cookies));
    EXPECT_TRUE(http.setOption(1, net::option::ReceiveTimeout, 500));
}

TEST(HttpClientRequest, ConnectionKeptPerHostAndPort)
{
    TestHttpServer a, b;
    a.route("/x", ok("a"));
    b.route("/x", ok("b"));
    HttpClient http;
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(http.open("GET", a.url("/x")));
        ASSERT_TRUE(http.send());
        EXPECT_EQ(http.responseText(), "a");
    }
    EXPECT_EQ(a.connectionsAccepted(), 1);
    ASSERT_TRUE(http.open("GET", b.url("/x")));
    ASSERT_TRUE(http.send());
    EXPECT_EQ(http.responseText(), "b");
    EXPECT_EQ(b.connectionsAccepted(), 1);
    // Back to the first server: its idle connection waited in the pool and is taken again.
    ASSERT_TRUE(http.open("GET", a.url("/x")));
    ASSERT_TRUE(http.send());
    EXPECT_EQ(http.responseText(), "a");
    EXPECT_EQ(a.connectionsAccepted(), 1);
}

TEST(HttpClientRequest, RetriesOnlyConnectionErrors)
{
    TestHttpServer server;
    ScriptedResponse reset;
    reset.reset = true;
    server.route("/reset", reset);
    ScriptedResponse slow = ok("late");
    slow.delayBeforeHeadersMs = 1500;
    server.route("/slow", slow);

    {   // a connection dropped without an answer is tried again: 1 + 2 attempts
        HttpClient http;
        quick(http);
        ASSERT_TRUE(http.open("GET", server.url("/reset")));
        EXPECT_FALSE(http.send({}, false, 2));
        EXPECT_EQ(server.requests().size(), 3u);
        EXPECT_EQ(http.responseBytes().size(), 0u);
        EXPECT_EQ(http.statusCode(), 0);
    }
    {   // a time-out ends send at once
        HttpClient http;
        http.setTimeouts(1000, 1000, 1000, 300);
        ASSERT_TRUE(http.open("GET", server.url("/slow")));
        const auto start = std::chrono::steady_clock::now();
        EXPECT_FALSE(http.send({}, false, 2));
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1400));
        EXPECT_EQ(server.requests().size(), 4u);
    }
    {   // the answer's head arrives but its body stalls: send succeeds, the read ends at the time-out
        ScriptedResponse stall = ok("body");
        stall.delayBeforeBodyMs = 1500;
        server.route("/stall", stall);
        HttpClient http;
        http.setTimeouts(1000, 1000, 1000, 300);
        ASSERT_TRUE(http.open("GET", server.url("/stall")));
        const auto start = std::chrono::steady_clock::now();
        EXPECT_TRUE(http.send());
        EXPECT_EQ(http.statusCode(), 200);
        EXPECT_EQ(http.contentLength(), 4);
        EXPECT_EQ(http.responseText(), "");
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1400));
    }
    {   // refused connections: every attempt fails, send answers false
        HttpClient http;
        quick(http);
        ASSERT_TRUE(http.open("GET", "http://127.0.0.1:" + std::to_string(TestHttpServer::refusedPort()) + "/"));
        EXPECT_FALSE(http.send({}, false, 2));
        EXPECT_EQ(http.redirectLocation(), "");
    }
}

// A redirect that is followed automatically is still a response on the wire: a server that
// goes silent before its body, or sends a body without end, makes the exchange fail within
// the receive time-out instead of holding the caller forever.
TEST(HttpClientRedirect, HostileRedirectBodiesEndTheExchange)
{
    TestHttpServer server;
    server.route("/target", ok("target"));
    ScriptedResponse silent = redirect("/target");
    silent.delayBeforeBodyMs = 4000;
    server.route("/silent", silent);
    ScriptedResponse huge = redirect("/target");
    huge.body.assign(16 * 1024 * 1024, 'r');
    huge.framing = ScriptedResponse::Framing::Chunked;
    server.route("/huge", huge);

    for (const char* path : {"/silent", "/huge"}) {
        SCOPED_TRACE(path);
        HttpClient http;
        http.setTimeouts(1000, 1000, 1000, 500);
        ASSERT_TRUE(http.open("GET", server.url(path)));
        const auto start = std::chrono::steady_clock::now();
        EXPECT_FALSE(http.send());
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(3000));
        EXPECT_EQ(http.responseText(), "");
    }
    EXPECT_EQ(server.requests().size(), 2u);   // the target was never asked for
}

TEST(HttpClientResponse, BodiesFramingAndLength)
{
    TestHttpServer server;
    const std::string big(25000, 'x');
    ScriptedResponse closeDelimited = ok(big);
    closeDelimited.framing = ScriptedResponse::Framing::CloseDelimited;
    ScriptedResponse chunked = ok(big);
    chunked.framing = ScriptedResponse::Framing::Chunked;
    server.route("/close", closeDelimited);
    server.route("/chunked", chunked);
    server.route("/empty", ok(""));
    server.route("/sized", ok(big));

    struct Case {
        std::string path;
        int contentLength;
        std::size_t bodySize;
    };
    const Case cases[] = {{"/close", -1, big.size()}, {"/chunked", -1, big.size()}, {"/empty", 0, 0}, {"/sized", 25000, 25000}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        HttpClient http;
        ASSERT_TRUE(http.open("GET", server.url(c.path)));
        ASSERT_TRUE(http.send());
        EXPECT_EQ(http.statusCode(), 200);
        EXPECT_EQ(http.statusText(), "OK");
        EXPECT_EQ(http.contentLength(), c.contentLength);
        EXPECT_EQ(http.responseBytes().size(), c.bodySize);
        EXPECT_EQ(http.responseBytes().size(), c.bodySize);   // served again from the buffer
        if (c.contentLength == -1) {   // grows in steps of 10240 beyond what has arrived
            EXPECT_EQ(http.bodyCapacity() % 10240, big.size() % 10240);
        }
    }
}

TEST(HttpClientResponse, BufferFollowsTheAnnouncedLength)
{
    TestHttpServer server;
    std::string body(3 * 1024 * 1024, '\0');
    for (std::size_t i = 0; i < body.size(); ++i)
        body[i] = static_cast<char>('a' + i % 26);
    server.route("/big", ok(body));
    HttpClient http;
    ASSERT_TRUE(http.open("GET", server.url("/big")));
    ASSERT_TRUE(http.send());
    EXPECT_EQ(http.contentLength(), 3 * 1024 * 1024);
    const Bytes got = http.responseBytes();
    EXPECT_EQ(toText(got), body);
    EXPECT_EQ(http.bodyCapacity(), body.size());   // ends at exactly the announced length

    // A body beyond the limit is cut there instead of growing without end.
    HttpClient limited;
    limited.setMaxBodyBytes(100000);
    ASSERT_TRUE(limited.open("GET", server.url("/big")));
    ASSERT_TRUE(limited.send());
    EXPECT_EQ(limited.responseBytes().size(), 100000u);
}

TEST(HttpClientResponse, TextIsDecodedFromUtf8IntoGbk)
{
    TestHttpServer server;
    server.route("/zh", ok("\xE4\xB8\xAD\xE6\x96\x87 ok"));   // "中文 ok" in UTF-8
    HttpClient http;
    ASSERT_TRUE(http.open("GET", server.url("/zh")));
    ASSERT_TRUE(http.send());
    EXPECT_EQ(http.responseText(), "\xD6\xD0\xCE\xC4 ok");
    EXPECT_EQ(http.responseRawText(), "\xE4\xB8\xAD\xE6\x96\x87 ok");
}

TEST(HttpClientRedirect, LocationResolution)
{
    TestHttpServer server;
    server.setHandler([](const RecordedRequest& r) {
        if (r.target.rfind("/loc/", 0) == 0)
            return redirect(r.target.substr(5) == "abs" ? "HTTPS://example.test/z" : r.target.substr(5) == "root"
                                                                                      ? "/a/b"
                                                                                      : r.target.substr(5) == "proto"
                                                                                            ? "//other.test/p"
                                                                                            : "c.html");
        return ok("plain");
    });
    const std::string origin = "http://127.0.0.1:" + std::to_string(server.port());
    struct Case {
        std::string path;
        std::string raw, resolved;
    };
    const Case cases[] = {
        {"/loc/root", "/a/b", origin + "/a/b"},
        {"/loc/rel?x=1/y", "c.html", origin + "/loc/c.html"},
        {"/loc/abs", "HTTPS://example.test/z", "HTTPS://example.test/z"},
        {"/loc/proto", "//other.test/p", "http://other.test/p"},
        {"/none", "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        HttpClient http;
        http.allowRedirects(false);
        ASSERT_TRUE(http.open("GET", server.url(c.path)));
        ASSERT_TRUE(http.send());
        EXPECT_EQ(http.redirectLocation(), c.raw);
        EXPECT_EQ(http.redirectLocation(true), c.resolved);
    }

    // Relative to a URL without any path.
    server.setHandler([](const RecordedRequest&) { return redirect("c.html"); });
    HttpClient http;
    http.allowRedirects(false);
    ASSERT_TRUE(http.open("GET", "127.0.0.1:" + std::to_string(server.port())));
    ASSERT_TRUE(http.send());
    EXPECT_EQ(http.redirectLocation(true), origin + "/c.html");
}

TEST(HttpClientRedirect, AutomaticInModeZeroUnlessSwitchedOff)
{
    TestHttpServer server;
    server.route("/from", redirect("/to", {"Content-Location: /wrong"}));
    server.route("/to", ok("arrived"));
    {
        HttpClient http;
        ASSERT_TRUE(http.open("GET", server.url("/from")));
        ASSERT_TRUE(http.send());
        EXPECT_EQ(http.statusCode(), 200);
        EXPECT_EQ(http.responseText(), "arrived");
        EXPECT_EQ(http.redirectLocation(), "");
    }
    {
        HttpClient http;
        http.allowRedirects(false);
        ASSERT_TRUE(http.open("GET", server.url("/from")));
        ASSERT_TRUE(http.send());
        EXPECT_EQ(http.statusCode(), 302);
        EXPECT_EQ(http.redirectLocation(), "/to");   // not the Content-Location line
    }
    // Redirects lead only to http and https: a Location elsewhere fails the exchange.
    for (const char* target : {"file:///etc/passwd", "ftp://127.0.0.1/x", "gopher://127.0.0.1/"}) {
        server.route("/odd", redirect(target));
        HttpClient http;
        ASSERT_TRUE(http.open("GET", server.url("/odd")));
        EXPECT_FALSE(http.send()) << target;
        EXPECT_EQ(http.responseText(), "");
    }
}

TEST(HttpClientTls, ToleranceCoversOneRequest)
{
    TestHttpServer server(true);
    server.route("/s", ok("secure"));
    HttpClient http;
    quick(http);
    ASSERT_TRUE(http.open("GET", server.url("/s")));
    ASSERT_TRUE(http.send());
    EXPECT_EQ(http.responseText(), "secure");
    EXPECT_EQ(http.scheme(), 2);

    // The second request checks the certificate, which is self-signed.
    ASSERT_TRUE(http.open("GET", server.url("/s")));
    EXPECT_FALSE(http.send());
    EXPECT_EQ(http.responseText(), "");

    http.resetDefaults();
    quick(http);
    ASSERT_TRUE(http.open("GET", server.url("/s")));
    EXPECT_TRUE(http.send());

    // Strict mode checks the first request too.
    net::setStrictTls(true);
    HttpClient strict;
    quick(strict);
    ASSERT_TRUE(strict.open("GET", server.url("/s")));
    EXPECT_FALSE(strict.send());
    net::setStrictTls(false);
}

TEST(HttpClientTls, NewInstancesReuseAWarmConnection)
{
    TestHttpServer server(true);
    server.route("/s", ok("secure"));
    for (int i = 0; i < 5; ++i) {
        HttpClient http;
        ASSERT_TRUE(http.open("POST", server.url("/s")));
        ASSERT_TRUE(http.send("a=1"));
        EXPECT_EQ(http.responseText(), "secure");
    }
    EXPECT_EQ(server.connectionsAccepted(), 1);
}

TEST(HttpClientTls, ClientsOnSeveralThreadsAtOnce)
{
    TestHttpServer server(true);
    server.route("/s", ok("secure"));
    std::atomic<int> answered{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < 25; ++i) {
                HttpClient http;
                http.open("POST", server.url("/s"));
                http.send("a=1");
                if (http.responseText() == "secure")
                    ++answered;
            }
        });
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(answered.load(), 100);
    EXPECT_LE(server.connectionsAccepted(), 4 + 1);   // at most one warm connection per thread, plus slack
}

TEST(HttpClientLifecycle, CloseAndReinitialise)
{
    TestHttpServer server;
    server.route("/x", ok("x"));
    HttpClient http;
    http.cookieJar("a=1");
    http.close();
    EXPECT_FALSE(http.open("GET", server.url("/x")));
    EXPECT_FALSE(http.setTimeouts());
    EXPECT_EQ(http.cookieJar(), "a=1");   // close keeps the jar
    http.reinitialise("agent/1");
    EXPECT_EQ(http.cookieJar(), "");
    ASSERT_TRUE(http.open("GET", server.url("/x")));
    ASSERT_TRUE(http.send());
    EXPECT_EQ(server.lastRequest().header("User-Agent"), "agent/1");
}

TEST(HttpClientCredentials, ServerBasicAndProxyBasic)
{
    TestHttpServer server;
    server.route("/x", ok("x"));
    {
        HttpClient http;
        ASSERT_TRUE(http.open("GET", server.url("/x")));
        ASSERT_TRUE(http.setCredentials("user", "pass"));
        ASSERT_TRUE(http.send());
        EXPECT_EQ(server.lastRequest().header("Authorization"), "Basic dXNlcjpwYXNz");
    }
    test::TestProxy proxy;
    proxy.requireAuthorization("Basic cHU6cHA=");   // pu:pp
    {   // given before open: handed to the first request at send
        HttpClient http;
        quick(http);
        ASSERT_TRUE(http.setProxy(proxy.address(), "pu", "pp"));
        ASSERT_TRUE(http.open("GET", server.url("/x")));
        ASSERT_TRUE(http.send());
        EXPECT_EQ(http.statusCode(), 200);
        EXPECT_EQ(http.responseText(), "x");
    }
    {   // given after open: set on the open request; HTTPS goes through a tunnel
        TestHttpServer secure(true);
        secure.route("/s", ok("s"));
        HttpClient http;
        quick(http);
        ASSERT_TRUE(http.open("GET", secure.url("/s")));
        ASSERT_TRUE(http.setProxy(proxy.address(), "pu", "pp"));
        ASSERT_TRUE(http.send());
        EXPECT_EQ(http.responseText(), "s");
        EXPECT_FALSE(secure.lastRequest().hasHeader("Proxy-Authorization"));
    }
    {   // wrong credentials: the proxy's refusal is the answer
        HttpClient http;
        quick(http);
        ASSERT_TRUE(http.setProxy(proxy.address(), "pu", "wrong"));
        ASSERT_TRUE(http.open("GET", server.url("/x")));
        ASSERT_TRUE(http.send());
        EXPECT_EQ(http.statusCode(), 407);
        // An empty proxy text switches back to direct connections.
        ASSERT_TRUE(http.setProxy(""));
        ASSERT_TRUE(http.open("GET", server.url("/x")));
        ASSERT_TRUE(http.send());
        EXPECT_EQ(http.statusCode(), 200);
    }
    const auto seen = proxy.seen();
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_EQ(seen[0].requestLine.rfind("GET http://127.0.0.1:", 0), 0u);
    EXPECT_EQ(seen[1].requestLine.rfind("CONNECT 127.0.0.1:", 0), 0u);
}

} // namespace
} // namespace qingtong
