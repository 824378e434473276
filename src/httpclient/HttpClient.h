#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>

#include "platform/Text.h"
#include "platform/net/HttpSession.h"

namespace qingtong {

namespace net {
class HttpRequest;
}

// A reusable HTTP and HTTPS client: one session with a kept-alive connection per host and
// port, one request at a time. Prepare with open(), add headers, send(), then read the
// response as often as wanted. Every text that crosses this interface is GBK; URLs, header
// lines and credentials go on the wire as UTF-8, response headers and bodies come back
// converted from UTF-8.
//
// Cookies are kept in one of three modes (setCookieMode): 0 automatic (per instance, kept
// by the transport), 1 the instance's own jar text, 2 the process-wide store keyed by URL.
// In modes 1 and 2 the instance follows redirects itself, so every hop passes through its
// cookie handling. Failures are never raised: operations answer with false, "" or 0.
//
// An instance belongs to one thread. Creating one is cheap: its transfer comes from a
// process-wide pool that keeps connections and TLS sessions warm.
class HttpClient {
public:
    static constexpr const char* kDefaultUserAgent = "Mozilla/5.0 (compatible; MSIE 10.0; Windows NT 6.2)";
    static constexpr int kMaxRedirects = 20;

    HttpClient();
    ~HttpClient();
    HttpClient(const HttpClient&) = delete;
    HttpClient& operator=(const HttpClient&) = delete;

    // Life cycle.
    void openSession(const std::optional<Text>& userAgent = std::nullopt);
    void close();
    void resetDefaults();
    void reinitialise(const std::optional<Text>& userAgent = std::nullopt);
    void setDefaultHeaders(std::optional<int> on = std::nullopt);

    // One exchange. An empty verb means GET.
    bool open(const Text& verb, const Text& url);
    bool send(const Text& body = {}, bool keepCookies = false, int retries = 0);
    bool sendBytes(const Bytes& body = {}, bool keepCookies = false, int retries = 0);

    // Steps of send(), callable on their own.
    void applyRequestOptions();
    void addDefaultHeaders(bool forceContentType);
    bool captureResponseHeaders(bool keepCookies);
    void followRedirect(bool keepCookies, int retries);

    // The response.
    Bytes responseBytes();
    Text responseRawText();
    Text responseText();
    int statusCode();
    Text statusText();
    Text responseHeaders() const { return m_responseHeaders; }
    Text responseHeader(const Text& name) const;
    Text responseSetCookies() const;
    Text responseSetCookie(const Text& name) const;
    Text redirectLocation(bool resolve = false) const;

    // Switches and settings.
    bool setTimeouts(std::optional<int> resolve = {}, std::optional<int> connect = {}, std::optional<int> send = {},
                     std::optional<int> receive = {});
    bool setProxy(const std::optional<Text>& proxy = std::nullopt, const std::optional<Text>& user = std::nullopt,
                  const std::optional<Text>& password = std::nullopt);
    bool setCredentials(const Text& user, const Text& password, std::optional<int> target = std::nullopt,
                        std::optional<int> scheme = std::nullopt);
    // handleKind 1 = connection, 2 = request, anything else = session. Integer options only
    // (size 4).
    bool setOption(std::optional<int> handleKind, std::uint32_t option, std::uint32_t value, std::uint32_t size = 4);
    void allowRedirects(std::optional<int> allow = std::nullopt);

    // Request headers (need the request from open()).
    bool setHeader(const Text& name, const Text& value, std::optional<std::uint32_t> flags = std::nullopt);
    bool removeHeader(const Text& name);
    bool setCookies(const Text& text);
    bool setUserAgent(const Text& value);
    bool setUserAgent();
    bool setReferer(const std::optional<Text>& value = std::nullopt);
    bool setAccept(const std::optional<Text>& value = std::nullopt);
    bool setAcceptLanguage(const std::optional<Text>& value = std::nullopt);
    bool setContentType(const std::optional<Text>& value = std::nullopt);
    bool setAjaxHeader();
    bool setClientAddress(const Text& address);

    // Cookies.
    void setCookieMode(std::optional<int> mode = std::nullopt);
    int cookieMode() const { return m_cookieMode; }
    Text cookieJar() const;
    Text cookieJar(const Text& text);
    Text jarCookie(const Text& name, std::optional<int> withName = std::nullopt) const;
    bool mergeCookies(const Text& text);
    bool removeCookies(const Text& names);
    void updateJarFromResponse(bool keepCookies);
    void updateStoreFromResponse(bool keepCookies);
    bool setStoreCookies(const Text& text);
    bool addJarCookieHeader();
    bool addStoreCookieHeader();

    // The transport objects. A handle given here replaces the stored one; the old one is
    // given back to the caller (not closed behind the caller's back).
    std::shared_ptr<net::HttpSession> sessionHandle() const { return m_session; }
    std::shared_ptr<net::HttpConnection> connectionHandle() const { return m_connection; }
    std::shared_ptr<net::HttpRequest> requestHandle() const { return m_request; }
    std::shared_ptr<net::HttpSession> sessionHandle(std::shared_ptr<net::HttpSession> replacement);
    std::shared_ptr<net::HttpConnection> connectionHandle(std::shared_ptr<net::HttpConnection> replacement);
    std::shared_ptr<net::HttpRequest> requestHandle(std::shared_ptr<net::HttpRequest> replacement);

    // State, for callers that look closer.
    const Text& url() const { return m_url; }
    const Text& host() const { return m_host; }
    int port() const { return m_port; }
    int scheme() const { return m_scheme; }
    bool isPost() const { return m_isPost; }
    int contentLength() const { return m_contentLength; }
    int redirectCount() const { return m_redirectCount; }
    std::size_t bodyCapacity() const { return m_bodyBuffer.size(); }
    // Bodies beyond this many bytes are cut there, as if the buffer could not grow further.
    void setMaxBodyBytes(std::size_t bytes) { m_maxBodyBytes = bytes; }

private:
    bool sendData(const std::uint8_t* body, std::size_t length, bool keepCookies, int retries);
    bool addRawHeaderLines(const Text& lines, std::uint32_t flags);
    void disableRequestCookies();
    bool resizeBody(std::size_t capacity);

    std::shared_ptr<net::HttpSession> m_session;
    std::shared_ptr<net::HttpConnection> m_connection;
    std::shared_ptr<net::HttpRequest> m_request;
    Text m_host;
    int m_port = 0;
    Text m_url;
    int m_scheme = 0;
    bool m_isPost = false;
    Bytes m_bodyBuffer;
    std::size_t m_bodyLength = 0;
    int m_contentLength = 0;
    Text m_responseHeaders;
    bool m_defaultHeadersOn = true;
    int m_cookieMode = 0;
    Text m_cookieJar = "; ";
    bool m_redirectsDisabled = false;
    int m_redirectCount = 0;
    bool m_proxyCredentialsPending = false;
    Text m_proxyUser;
    Text m_proxyPassword;
    bool m_certTolerancePending = true;
    std::size_t m_maxBodyBytes = 64u * 1024 * 1024;
};

} // namespace qingtong
