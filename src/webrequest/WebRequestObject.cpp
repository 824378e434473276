#include "webrequest/WebRequestObject.h"

#include "platform/codePage.h"
#include "platform/net/HttpRequest.h"
#include "platform/net/HttpSession.h"
#include "platform/net/HttpUrl.h"
#include "platform/textRoutines.h"

namespace qingtong {

namespace {
constexpr std::size_t kMaxBody = 256u * 1024 * 1024;   // a body beyond this is cut there
}

WebRequestObject::WebRequestObject() : m_session(std::make_shared<net::HttpSession>(kDefaultUserAgent))
{
    m_session->setTimeouts(net::HttpTimeouts{0, 60000, 30000, 30000});
}

WebRequestObject::~WebRequestObject() = default;

void WebRequestObject::setTimeouts(int resolve, int connect, int send, int receive)
{
    m_session->setTimeouts(net::HttpTimeouts{resolve, connect, send, receive});
}

void WebRequestObject::setProxy(int setting, const Text& proxy)
{
    net::ProxySetting p;
    if (setting == kProxyNamed && !proxy.empty()) {
        p.named = true;
        p.list = ansiToUtf8(proxy);
    }
    m_session->setProxy(p);
}

void WebRequestObject::setProxyCredentials(const Text& user, const Text& password)
{
    m_proxyUser = user;
    m_proxyPassword = password;
    m_proxyCredentials = true;
}

bool WebRequestObject::open(const Text& method, const Text& url)
{
    m_request.reset();
    m_body.clear();
    m_headers.clear();
    m_status = 0;
    m_followRedirects = true;
    m_ignoreFlags = 0;
    m_proxyCredentials = false;
    net::HttpUrlParts parts;
    if (method.empty() || !net::crackHttpUrl(url, parts))
        return false;
    const std::string host = ansiToUtf8(parts.host);
    if (!m_connection || m_connection->host() != host || m_connection->port() != parts.port)
        m_connection = std::make_shared<net::HttpConnection>(m_session, host, parts.port);
    const Text path = (parts.path.empty() ? Text("/") : parts.path) + parts.extra;
    m_request = std::make_shared<net::HttpRequest>(m_connection, asciiUpper(method), ansiToUtf8(path), parts.scheme == 2);
    return true;
}

bool WebRequestObject::setOption(int index, long value)
{
    if (index == kOptionEnableRedirects) {
        m_followRedirects = value != 0;
        return true;
    }
    if (index == kOptionSslErrorIgnoreFlags) {
        m_ignoreFlags = value;
        return true;
    }
    return false;
}

bool WebRequestObject::setRequestHeader(const Text& name, const Text& value)
{
    if (!m_request || name.empty() || name.find_first_of(":\r\n") != Text::npos || value.find_first_of("\r\n") != Text::npos)
        return false;
    m_request->setHeader(ansiToUtf8(name), ansiToUtf8(value));
    return true;
}

bool WebRequestObject::send(const Bytes& body)
{
    m_body.clear();
    m_headers.clear();
    m_status = 0;
    if (!m_request)
        return false;
    if (!m_followRedirects)
        m_request->setOption(net::option::DisableFeature, net::feature::Redirects);
    m_request->setOption(net::option::SecurityFlags, static_cast<std::uint32_t>(m_ignoreFlags));
    if (m_proxyCredentials && !m_proxyUser.empty())
        m_request->setProxyCredentials(m_proxyUser, m_proxyPassword);
    if (!m_request->send(body.data(), body.size()))
        return false;

    // The header lines without the status line and without the empty line that ends them.
    const std::string& raw = m_request->rawHeaders();
    const std::size_t first = raw.find("\r\n");
    std::string lines = first == std::string::npos ? std::string() : raw.substr(first + 2);
    if (lines.size() >= 2 && lines.compare(lines.size() - 2, 2, "\r\n") == 0 &&
        (lines.size() == 2 || lines.compare(lines.size() - 4, 4, "\r\n\r\n") == 0))
        lines.erase(lines.size() - 2);
    m_headers = utf8ToAnsi(lines);
    m_status = m_request->statusCode();

    std::size_t available = 0;
    bool ok = true;
    while ((ok = m_request->queryDataAvailable(available)) && available > 0) {
        if (m_body.size() + available > kMaxBody)
            break;
        const std::size_t at = m_body.size();
        m_body.resize(at + available);
        std::size_t got = 0;
        if (!m_request->readData(m_body.data() + at, available, got)) {
            m_body.resize(at);
            ok = false;
            break;
        }
        m_body.resize(at + got);
    }
    if (!ok) {
        // A response cut off on the way counts as no response at all.
        m_body.clear();
        m_headers.clear();
        m_status = 0;
    }
    return ok;
}

} // namespace qingtong
