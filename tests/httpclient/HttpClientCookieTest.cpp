#include "httpclient/HttpClient.h"

#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/net/CookieStore.h"
#include "support/TestHttpServer.h"

namespace qingtong {
namespace {

using test::RecordedRequest;
using test::ScriptedResponse;
using test::TestHttpServer;

ScriptedResponse withHeaders(std::vector<std::string> headers, std::string body = "b")
{
    ScriptedResponse r;
    r.headers = std::move(headers);
    r.body = std::move(body);
    return r;
}

// Sends one GET in jar mode to a route that answers with the given header lines.
void exchange(HttpClient& http, TestHttpServer& server, const std::vector<std::string>& headers, bool keep = false)
{
    server.route("/c", withHeaders(headers));
    ASSERT_TRUE(http.open("GET", server.url("/c")));
    ASSERT_TRUE(http.send({}, keep));
}

TEST(HttpClientJar, SetCookieResponsesUpdateTheJar)
{
    TestHttpServer server;
    struct Step {
        std::vector<std::string> headers;
        bool keep;
        std::string jar;   // cookieJar() afterwards
    };
    const Step steps[] = {
        {{"Set-Cookie: a=1; path=/; HttpOnly", "Set-Cookie: b=2"}, false, "a=1; b=2"},   // attributes cut off
        {{"set-cookie: a=9; Path=/"}, false, "a=9; b=2"},                                // replaced in place
        {{"Set-Cookie: a=; path=/"}, true, "a=9; b=2"},                                  // kept: empty value ignored
        {{"Set-Cookie: a=; path=/"}, false, "a=; b=2"},                                  // not kept: empty replaces
        {{"Set-Cookie: b=deleted; expires=Thu, 01 Jan 1970"}, true, "a=; b=2"},          // kept: deletion ignored
        {{"Set-Cookie: b=deleted; expires=Thu, 01 Jan 1970"}, false, "a="},              // removed
        {{"Set-Cookie: z=DELETED;"}, false, "a="},                                       // unknown deletion adds nothing
        {{"X-Set-Cookie: q=1;", "Set-Cookie: noequals;"}, false, "a="},                  // neither is a cookie
    };
    HttpClient http;
    http.setCookieMode(1);
    for (const Step& s : steps) {
        SCOPED_TRACE(s.headers.front());
        exchange(http, server, s.headers, s.keep);
        EXPECT_EQ(http.cookieJar(), s.jar);
    }
}

TEST(HttpClientJar, ResponseCookieQueries)
{
    TestHttpServer server;
    HttpClient http;
    exchange(http, server,
             {"X-Note: Set-Cookie: fake=1;", "Set-Cookie: ab=2; path=/", "Set-Cookie:a=1; path=/", "Set-Cookie: d=deleted;",
              "Set-Cookie: plain=3", "X-Tail: v  "});
    EXPECT_EQ(http.responseSetCookies(), "ab=2; a=1; plain=3");
    EXPECT_EQ(http.responseSetCookie("a"), "1");
    EXPECT_EQ(http.responseSetCookie("ab"), "2");
    EXPECT_EQ(http.responseSetCookie("plain"), "3");
    EXPECT_EQ(http.responseSetCookie("fake"), "");
    EXPECT_EQ(http.responseHeader("x-tail"), "v  ");
    EXPECT_EQ(http.responseHeader("Cookie"), "");   // only inside another header's value
    EXPECT_EQ(http.responseHeader("HTTP/1.1 200 OK\r\nX"), "");
}

TEST(HttpClientJar, JarTextOperations)
{
    HttpClient http;
    struct Normalise {
        Text given, stored;
    };
    const Normalise cases[] = {{"a=1", "a=1"}, {"; a=1; b=2; ", "a=1; b=2"}, {"a=1;", "a=1"}, {"", ""}};
    for (const auto& c : cases) {
        EXPECT_EQ(http.cookieJar(c.given), c.given);
        EXPECT_EQ(http.cookieJar(), c.stored) << c.given;
    }

    http.cookieJar("ab=1; a=2");
    EXPECT_EQ(http.jarCookie("a"), "2");
    EXPECT_EQ(http.jarCookie("a", 1), "a=2");
    EXPECT_EQ(http.jarCookie("b"), "");
    EXPECT_EQ(http.jarCookie(""), "");

    EXPECT_TRUE(http.mergeCookies("a=3; c=4;; x"));
    EXPECT_EQ(http.cookieJar(), "ab=1; a=3; c=4");
    EXPECT_FALSE(http.mergeCookies("novalue; ;"));
    EXPECT_TRUE(http.removeCookies("ab; c=whatever"));
    EXPECT_EQ(http.cookieJar(), "a=3");
    EXPECT_FALSE(http.removeCookies("zz"));
    // In jar mode setCookies merges into the jar, without a request.
    http.setCookieMode();
    EXPECT_EQ(http.cookieMode(), 1);
    EXPECT_TRUE(http.setCookies("n=5"));
    EXPECT_EQ(http.jarCookie("n"), "5");
    http.setCookieMode(7);
    EXPECT_EQ(http.cookieMode(), 0);
    EXPECT_FALSE(http.setCookies("n=6"));   // mode 0 without a request
}

std::string sorted(const std::string& cookies)
{
    std::vector<std::string> items;
    std::size_t at = 0;
    while (at < cookies.size()) {
        std::size_t end = cookies.find("; ", at);
        items.push_back(cookies.substr(at, end == std::string::npos ? std::string::npos : end - at));
        at = end == std::string::npos ? cookies.size() : end + 2;
    }
    std::sort(items.begin(), items.end());
    std::string out;
    for (const auto& i : items)
        out += (out.empty() ? "" : "; ") + i;
    return out;
}

// A chain of three redirects, each setting a cookie, ending in a page.
class RedirectChain : public ::testing::Test {
protected:
    void SetUp() override
    {
        server.setHandler([](const RecordedRequest& r) {
            ScriptedResponse res;
            if (r.target == "/hop1" || r.target == "/hop2" || r.target == "/hop3") {
                const char n = r.target.back();
                res.status = 302;
                res.reason = "Found";
                res.headers = {std::string("Set-Cookie: c") + n + "=" + n + "; path=/",
                               n == '3' ? "Location: /end" : std::string("Location: /hop") + char(n + 1)};
            } else {
                res.body = "end";
            }
            return res;
        });
    }
    TestHttpServer server;
};

TEST_F(RedirectChain, EachCookieModeCarriesCookiesAlongTheChain)
{
    net::CookieStore::instance().clear();
    for (int mode : {0, 1, 2}) {
        SCOPED_TRACE(mode);
        const std::size_t before = server.requests().size();
        HttpClient http;
        http.setCookieMode(mode);
        ASSERT_TRUE(http.open("POST", server.url("/hop1")));
        ASSERT_TRUE(http.send("x=1"));
        EXPECT_EQ(http.statusCode(), 200);
        EXPECT_EQ(http.responseText(), "end");
        EXPECT_EQ(http.redirectCount(), 0);
        const auto reqs = server.requests();
        ASSERT_EQ(reqs.size() - before, 4u);
        EXPECT_EQ(reqs[before].method, "POST");
        EXPECT_FALSE(reqs[before].hasHeader("Cookie"));
        for (std::size_t i = 1; i < 4; ++i) {
            EXPECT_EQ(reqs[before + i].method, "GET");
            EXPECT_EQ(reqs[before + i].body, "");
        }
        // The automatic cookies of mode 0 come in the transport's own order.
        EXPECT_EQ(sorted(reqs[before + 1].header("Cookie")), "c1=1");
        EXPECT_EQ(sorted(reqs[before + 2].header("Cookie")), "c1=1; c2=2");
        EXPECT_EQ(sorted(reqs[before + 3].header("Cookie")), "c1=1; c2=2; c3=3");
        if (mode != 0) {
            EXPECT_EQ(reqs[before + 3].header("Cookie"), "c1=1; c2=2; c3=3");
        }
        if (mode == 1) {
            EXPECT_EQ(http.cookieJar(), "c1=1; c2=2; c3=3");
        }
    }
    // Mode 2 cookies outlive the instance, in the store; mode 0 ones do not.
    EXPECT_EQ(net::CookieStore::instance().cookiesFor(server.url("/other")), "c1=1; c2=2; c3=3");
    net::CookieStore::instance().clear();
    HttpClient fresh;
    ASSERT_TRUE(fresh.open("GET", server.url("/end")));
    ASSERT_TRUE(fresh.send());
    EXPECT_FALSE(server.lastRequest().hasHeader("Cookie"));
}

TEST_F(RedirectChain, SwitchedOffRedirectsAreNotFollowedInAnyMode)
{
    for (int mode : {0, 1, 2}) {
        HttpClient http;
        http.setCookieMode(mode);
        http.allowRedirects(false);
        ASSERT_TRUE(http.open("GET", server.url("/hop1")));
        ASSERT_TRUE(http.send());
        EXPECT_EQ(http.statusCode(), 302) << mode;
        EXPECT_EQ(http.redirectLocation(), "/hop2");
    }
}

TEST(HttpClientAutomaticCookies, AHandMadeCookieHeaderReplacesThemForOneRequest)
{
    TestHttpServer server;
    server.route("/set", withHeaders({"Set-Cookie: auto=1; path=/"}));
    server.route("/get", withHeaders({}));
    HttpClient http;
    ASSERT_TRUE(http.open("GET", server.url("/set")));
    ASSERT_TRUE(http.send());
    ASSERT_TRUE(http.open("GET", server.url("/get")));
    ASSERT_TRUE(http.setCookies("mine=2"));
    ASSERT_TRUE(http.send());
    EXPECT_EQ(server.lastRequest().header("Cookie"), "mine=2");
    ASSERT_TRUE(http.open("GET", server.url("/get")));
    ASSERT_TRUE(http.send());
    EXPECT_EQ(server.lastRequest().header("Cookie"), "auto=1");
}

TEST(HttpClientRedirectLimit, TwentyFirstLocationIsNotFollowed)
{
    TestHttpServer server;
    server.setHandler([](const RecordedRequest& r) {
        ScriptedResponse res;
        res.status = 302;
        res.headers = {"Location: /n" + std::to_string(std::stoi(r.target.substr(2)) + 1)};
        return res;
    });
    HttpClient http;
    http.setCookieMode(1);
    for (int chain = 0; chain < 2; ++chain) {
        const std::size_t before = server.requests().size();
        ASSERT_TRUE(http.open("GET", server.url("/n0")));
        ASSERT_TRUE(http.send());
        EXPECT_EQ(server.requests().size() - before, 21u);   // the first request and 20 hops
        EXPECT_EQ(server.lastRequest().target, "/n20");
        EXPECT_EQ(http.redirectLocation(), "/n21");
        EXPECT_EQ(http.redirectCount(), 0);
    }
}

TEST(CookieStore, HostAndPathMatching)
{
    auto& store = net::CookieStore::instance();
    store.clear();
    EXPECT_TRUE(store.setCookie("http://Example.test/app/page", "a", "1"));
    EXPECT_TRUE(store.setCookie("https://example.test/x", "b", "2"));
    EXPECT_TRUE(store.setCookie("http://example.test/app/page2", "a", "3"));   // same host, path, name: replaced
    EXPECT_FALSE(store.setCookie("http://example.test/", "bad;name", "1"));
    EXPECT_FALSE(store.setCookie("no-scheme", "a", "1"));
    struct Case {
        std::string url, cookies;
    };
    const Case cases[] = {
        {"http://example.test/app/other?q=1", "a=3; b=2"},   // longer path first
        {"http://example.test:8080/app", "a=3; b=2"},        // the port plays no part
        {"http://example.test/application", "b=2"},          // /app is no prefix of /application
        {"http://example.test/", "b=2"},
        {"http://sub.example.test/app/x", ""},               // host-only cookies
        {"http://other.test/app/x", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(store.cookiesFor(c.url), c.cookies) << c.url;
    store.clear();
}

} // namespace
} // namespace qingtong
