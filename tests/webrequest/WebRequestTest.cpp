#include "webrequest/WebRequest.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/TestHttpServer.h"
#include "support/TestProxy.h"

namespace qingtong {
namespace {

using test::RecordedRequest;
using test::ScriptedResponse;
using test::TestHttpServer;

ScriptedResponse answer(std::string body, std::vector<std::string> headers = {})
{
    ScriptedResponse r;
    r.body = std::move(body);
    r.headers = std::move(headers);
    return r;
}

std::vector<std::string> namesAfterHost(const RecordedRequest& r)
{
    std::vector<std::string> names;
    for (const auto& n : r.headerNames())
        if (n != "Host" && n != "Content-Length")
            names.push_back(n);
    return names;
}

TEST(WebRequest, WhatTheTwoCallersPutOnTheWire)
{
    TestHttpServer server(true);   // self-signed: certificate errors are tolerated
    server.route("/room", answer("{\"ok\":1}"));
    WebRequestParams p;
    p.url = server.url("/room?id=1");
    p.headers = "User-Agent: okhttp/3.12.1";
    const Bytes body = WebRequest(p);
    EXPECT_EQ(toText(body), "{\"ok\":1}");
    EXPECT_EQ(p.statusCode, 200);
    EXPECT_EQ(p.headers, "User-Agent: okhttp/3.12.1\r\nAccept: */*\r\nReferer: " + p.url + "\r\nAccept-Language: zh-cn");
    const RecordedRequest r = server.lastRequest();
    EXPECT_EQ(r.method, "GET");
    EXPECT_EQ(namesAfterHost(r), (std::vector<std::string>{"User-Agent", "Accept", "Referer", "Accept-Language"}));
    EXPECT_EQ(r.header("Referer"), p.url);
    EXPECT_FALSE(r.hasHeader("Cookie"));
    EXPECT_NE(p.returnedHeaders.find("Content-Length: 8\r\n"), Text::npos);
    EXPECT_EQ(p.returnedHeaders.find("HTTP/1.1"), Text::npos);   // no status line
    EXPECT_EQ(p.returnedCookies, "");
}

TEST(WebRequest, MethodsAndHeaderCompletion)
{
    TestHttpServer server;
    server.route("/m", answer("m"));
    struct Case {
        int method;
        Text headers;
        std::optional<bool> complete;
        std::string wireMethod;
        std::vector<std::string> names;
        std::string userAgent;
    };
    const Case cases[] = {
        {8, "", {}, "GET", {"Accept", "Referer", "Accept-Language", "User-Agent"}, "Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1)"},
        {-1, "user-agent: X", {}, "GET", {"User-Agent", "Accept", "Referer", "Accept-Language"}, "X"},
        {1, "", {}, "POST", {"Accept", "Referer", "Accept-Language", "User-Agent", "Content-Type"}, "Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1)"},
        {1, "Content-Type: text/plain", {}, "POST", {"Content-Type", "Accept", "Referer", "Accept-Language", "User-Agent"}, "Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1)"},
        {0, "x-a: 1\r\nConnection: keep-alive\r\nconnection: close", false, "GET", {"User-Agent", "X-A", "Connection"}, WebRequestObject::kDefaultUserAgent},
        {5, "X-Only: 1", false, "DELETE", {"User-Agent", "X-Only"}, WebRequestObject::kDefaultUserAgent},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.headers);
        WebRequestParams p;
        p.url = server.url("/m");
        p.method = c.method;
        p.headers = c.headers;
        p.completeHeaders = c.complete;
        WebRequest(p);
        EXPECT_EQ(p.statusCode, 200);
        const RecordedRequest r = server.lastRequest();
        EXPECT_EQ(r.method, c.wireMethod);
        auto names = namesAfterHost(r);
        EXPECT_EQ(names, c.names);
        EXPECT_EQ(r.header("User-Agent"), c.userAgent);
    }
    EXPECT_EQ(server.requests()[2].header("Content-Type"), "application/x-www-form-urlencoded");
    EXPECT_EQ(server.requests()[4].header("Connection"), "close");
}

TEST(WebRequest, BodyChoice)
{
    TestHttpServer server;
    server.route("/b", answer("ok"));
    WebRequestParams p;
    p.url = server.url("/b");
    p.method = 1;
    p.postText = "text=1";
    p.postBytes = toBytes(std::string("\x01\x00\x02", 3));
    WebRequest(p);
    EXPECT_EQ(server.lastRequest().body, std::string("\x01\x00\x02", 3));
    p.postBytes.clear();
    WebRequest(p);
    EXPECT_EQ(server.lastRequest().body, "text=1");
}

TEST(WebRequest, CookiesSentExtractedAndMerged)
{
    TestHttpServer server;
    server.route("/c", answer("c", {"Set-Cookie: a=1; path=/", "Set-Cookie: b=2", "set-cookie: low=1"}));
    struct Case {
        std::optional<Text> cookies;
        bool cookieHeader;
        std::string sent;
        Text cookiesAfter, returned;
    };
    const Case cases[] = {
        {std::nullopt, false, "", "", "a=1; b=2"},
        {Text("a=0; c=3"), true, "a=0; c=3", "a=1; b=2; c=3", "a=1; b=2; c=3"},
        {Text(""), true, "", "a=1; b=2", "a=1; b=2"},
        {Text("Cookie: x=9"), true, "x=9", "a=1; b=2; x=9", "a=1; b=2; x=9"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.cookies.value_or("(absent)"));
        WebRequestParams p;
        p.url = server.url("/c");
        p.cookies = c.cookies;
        WebRequest(p);
        const RecordedRequest r = server.lastRequest();
        EXPECT_EQ(r.hasHeader("Cookie"), c.cookieHeader);
        EXPECT_EQ(r.header("Cookie"), c.sent);
        EXPECT_EQ(p.cookies.value_or(""), c.cookiesAfter);
        EXPECT_EQ(p.returnedCookies, c.returned);
    }
    // Without merging, the given cookies stay and the extraction is plain.
    WebRequestParams p;
    p.url = server.url("/c");
    p.cookies = "a=0";
    p.mergeReturnedCookies = false;
    WebRequest(p);
    EXPECT_EQ(*p.cookies, "a=0");
    EXPECT_EQ(p.returnedCookies, "a=1; b=2");
}

TEST(WebRequest, SharedRequestKeepsItsConnectionAndCookies)
{
    TestHttpServer server;
    server.route("/login", answer("in", {"Set-Cookie: sid=42; path=/"}));
    server.route("/me", answer("me"));
    WebRequestObject shared;
    WebRequestParams first;
    first.url = server.url("/login");
    first.sharedRequest = &shared;
    WebRequest(first);
    WebRequestParams second;
    second.url = server.url("/me");
    second.sharedRequest = &shared;
    EXPECT_EQ(toText(WebRequest(second)), "me");
    EXPECT_EQ(server.lastRequest().header("Cookie"), "sid=42");
    EXPECT_EQ(server.connectionsAccepted(), 1);

    // A new object for each call knows nothing of earlier ones.
    WebRequestParams third;
    third.url = server.url("/me");
    WebRequest(third);
    EXPECT_FALSE(server.lastRequest().hasHeader("Cookie"));
}

TEST(WebRequest, FailuresAndTimeOuts)
{
    TestHttpServer server;
    ScriptedResponse slow = answer("late");
    slow.delayBeforeHeadersMs = 2500;
    server.route("/slow", slow);
    WebRequestParams p;
    p.url = server.url("/slow");
    p.timeoutSeconds = 1;
    p.returnedHeaders = "stale";
    p.statusCode = 99;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(WebRequest(p).empty());
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(2000));
    EXPECT_EQ(p.statusCode, 0);
    EXPECT_EQ(p.returnedHeaders, "");

    WebRequestParams refused;
    refused.url = "http://127.0.0.1:" + std::to_string(TestHttpServer::refusedPort()) + "/";
    EXPECT_TRUE(WebRequest(refused).empty());
    EXPECT_EQ(refused.statusCode, 0);

    WebRequestParams noRedirect;
    server.route("/r", [] {
        ScriptedResponse r;
        r.status = 301;
        r.headers = {"Location: /slow"};
        return r;
    }());
    noRedirect.url = server.url("/r");
    noRedirect.noRedirect = true;
    WebRequest(noRedirect);
    EXPECT_EQ(noRedirect.statusCode, 301);
}

TEST(WebRequest, ProxyCredentialsGoToTheProxyOnly)
{
    TestHttpServer server;
    server.route("/p", answer("through"));
    test::TestProxy proxy;
    proxy.requireAuthorization("Basic dXNlcjpwYXNz");   // user:pass
    WebRequestParams p;
    p.url = server.url("/p");
    p.proxy = proxy.address();
    p.proxyUser = "user";
    p.proxyPassword = "pass";
    EXPECT_EQ(toText(WebRequest(p)), "through");
    EXPECT_EQ(p.statusCode, 200);
    EXPECT_FALSE(server.lastRequest().hasHeader("Proxy-Authorization"));

    // Another proxy mode sends no credentials: the proxy refuses.
    p.proxyMode = 0;
    WebRequest(p);
    EXPECT_EQ(p.statusCode, 407);
}

} // namespace
} // namespace qingtong
