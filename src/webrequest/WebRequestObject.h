#pragma once

#include <memory>

#include "platform/Text.h"

namespace qingtong {

namespace net {
class HttpSession;
class HttpConnection;
class HttpRequest;
} // namespace net

// A scriptable request object: one session (its own automatic cookies, its kept-alive
// connection) that runs one request after another. WebRequest creates one per call, or uses
// the caller's, which then carries its connection and cookies into the next call. An object
// belongs to one thread at a time.
class WebRequestObject {
public:
    static constexpr const char* kDefaultUserAgent = "Mozilla/4.0 (compatible; Win32; WinHttp.WinHttpRequest.5)";
    // Option indexes.
    static constexpr int kOptionSslErrorIgnoreFlags = 4;
    static constexpr int kOptionEnableRedirects = 6;
    // Proxy settings.
    static constexpr int kProxyDefault = 0;
    static constexpr int kProxyDirect = 1;
    static constexpr int kProxyNamed = 2;

    WebRequestObject();
    ~WebRequestObject();
    WebRequestObject(const WebRequestObject&) = delete;
    WebRequestObject& operator=(const WebRequestObject&) = delete;

    // Milliseconds; 0 means no limit.
    void setTimeouts(int resolve, int connect, int send, int receive);
    void setProxy(int setting, const Text& proxy = {});
    // Proxy credentials, sent as Basic to the proxy (never to the server) with the next send.
    void setProxyCredentials(const Text& user, const Text& password);
    // Starts a new request (synchronous). False for a URL that is not http or https.
    bool open(const Text& method, const Text& url);
    // Option 6: follow redirects (0 = no); option 4: certificate errors to ignore.
    bool setOption(int index, long value);
    bool setRequestHeader(const Text& name, const Text& value);
    // Sends and reads the whole response. False on any failure (the results then stay empty).
    bool send(const Bytes& body);

    const Bytes& responseBody() const { return m_body; }
    // The response's header lines (status line left out), each ended by CR LF.
    const Text& allResponseHeaders() const { return m_headers; }
    int status() const { return m_status; }

private:
    std::shared_ptr<net::HttpSession> m_session;
    std::shared_ptr<net::HttpConnection> m_connection;
    std::shared_ptr<net::HttpRequest> m_request;
    bool m_followRedirects = true;
    long m_ignoreFlags = 0;
    Text m_proxyUser, m_proxyPassword;
    bool m_proxyCredentials = false;
    Bytes m_body;
    Text m_headers;
    int m_status = 0;
};

} // namespace qingtong
