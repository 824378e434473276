#include "httpclient/HttpClient.h"

#include <algorithm>
#include <climits>
#include <new>

#include "platform/codePage.h"
#include "platform/net/CookieStore.h"
#include "platform/net/HttpRequest.h"
#include "platform/net/HttpUrl.h"
#include "platform/textRoutines.h"

namespace qingtong {

namespace {

constexpr std::size_t kInitialBody = 10240;
constexpr std::size_t kBodyStep = 10240;
constexpr std::size_t kBigStep = 1048576;
constexpr std::uint32_t kAddReplace = net::addreq::Add | net::addreq::Replace;

// Position of `name` at the start of a header line (after the status line's or another
// line's CR LF), letter case ignored; npos when there is none.
std::size_t findHeaderLine(const Text& headers, const Text& name, std::size_t from = 0)
{
    const std::size_t hit = findText(headers, "\r\n" + name, from, true);
    return hit == Text::npos ? hit : hit + 2;
}

// The Set-Cookie pieces of a header block: for every Set-Cookie line the text after the
// colon, blanks removed at its start, up to and including the first ";". A cookie without
// attributes ends at its line end and gets its ";" supplied, so a piece never runs into the
// next line.
std::vector<Text> setCookiePieces(const Text& headers)
{
    std::vector<Text> pieces;
    const Text marker = "Set-Cookie:";
    std::size_t pos = 0;
    for (;;) {
        const std::size_t at = findHeaderLine(headers, marker, pos);
        if (at == Text::npos)
            break;
        const std::size_t start = at + marker.size();
        std::size_t lineEnd = headers.find("\r\n", start);
        if (lineEnd == Text::npos)
            lineEnd = headers.size();
        const std::size_t semi = findText(headers, ";", start);
        Text piece;
        if (semi != Text::npos && semi < lineEnd)
            piece = headers.substr(start, semi + 1 - start);
        else
            piece = headers.substr(start, lineEnd - start) + ";";
        std::size_t lead = 0;
        while (lead < piece.size()) {
            if (piece[lead] == ' ')
                ++lead;
            else if (static_cast<unsigned char>(piece[lead]) == 0xA1 && lead + 1 < piece.size() &&
                     static_cast<unsigned char>(piece[lead + 1]) == 0xA1)
                lead += 2;
            else
                break;
        }
        piece.erase(0, lead);
        pieces.push_back(piece);
        pos = lineEnd;
    }
    return pieces;
}

bool isDeletion(const Text& piece)
{
    if (piece.size() < 9)
        return false;
    const Text tail = piece.substr(piece.size() - 9);
    return tail == "=deleted;" || tail == "=DELETED;" || tail == "=Deleted;";
}

Text trimLeadingBlanks(const Text& text)
{
    std::size_t lead = 0;
    while (lead < text.size()) {
        if (text[lead] == ' ')
            ++lead;
        else if (static_cast<unsigned char>(text[lead]) == 0xA1 && lead + 1 < text.size() &&
                 static_cast<unsigned char>(text[lead + 1]) == 0xA1)
            lead += 2;
        else
            break;
    }
    return text.substr(lead);
}

// The parts of a cookie text split at ";", blanks removed at their start; empty parts left out.
std::vector<Text> cookieParts(const Text& text)
{
    std::vector<Text> parts;
    for (const Text& raw : splitText(text, ";")) {
        Text part = trimLeadingBlanks(raw);
        if (!part.empty())
            parts.push_back(part);
    }
    return parts;
}

bool hasLineBreak(const Text& text) { return text.find_first_of("\r\n") != Text::npos; }

// Reads a decimal count: blanks, then digits; -1 for anything else or a value beyond int.
int readCount(const Text& text)
{
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t'))
        ++i;
    if (i == text.size() || text[i] < '0' || text[i] > '9')
        return -1;
    long long v = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        v = v * 10 + (text[i] - '0');
        if (v > INT_MAX)
            return -1;
    }
    return static_cast<int>(v);
}

} // namespace

HttpClient::HttpClient()
{
    openSession();
    resetDefaults();
}

HttpClient::~HttpClient() { close(); }

void HttpClient::openSession(const std::optional<Text>& userAgent)
{
    const Text agent = userAgent ? *userAgent : Text(kDefaultUserAgent);
    m_session = std::make_shared<net::HttpSession>(ansiToUtf8(agent));
    resizeBody(kInitialBody);
}

void HttpClient::resetDefaults()
{
    m_defaultHeadersOn = true;
    m_cookieMode = 0;
    m_certTolerancePending = true;
    m_cookieJar = "; ";
    if (m_session)
        m_session->setTimeouts(net::HttpTimeouts{});
}

void HttpClient::close()
{
    m_request.reset();
    m_connection.reset();
    m_session.reset();
    Bytes().swap(m_bodyBuffer);
    m_bodyLength = 0;
    m_contentLength = 0;
    m_port = 0;
    m_redirectsDisabled = false;
    m_proxyCredentialsPending = false;
    m_responseHeaders.clear();
    m_proxyUser.clear();
    m_proxyPassword.clear();
    m_host.clear();
    m_url.clear();
}

void HttpClient::reinitialise(const std::optional<Text>& userAgent)
{
    close();
    openSession(userAgent);
    resetDefaults();
}

void HttpClient::setDefaultHeaders(std::optional<int> on) { m_defaultHeadersOn = !on || *on == 1; }

bool HttpClient::resizeBody(std::size_t capacity)
{
    try {
        m_bodyBuffer.resize(capacity);
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    } catch (const std::length_error&) {
        return false;
    }
}

bool HttpClient::open(const Text& verb, const Text& url)
{
    if (!m_session)
        return false;
    m_url = url;
    const Text lower = asciiLower(url.substr(0, 8));
    if (url.size() < 8 || (lower.compare(0, 8, "https://") != 0 && lower.compare(0, 7, "http://") != 0))
        m_url = "http://" + url;

    net::HttpUrlParts cracked;
    if (!net::crackHttpUrl(m_url, cracked))
        return false;

    m_bodyLength = 0;
    m_contentLength = 0;
    m_responseHeaders.clear();
    m_request.reset();

    if (!m_connection || cracked.host != m_host || cracked.port != m_port) {
        m_connection.reset();   // the old connection goes with its last request
        m_connection = std::make_shared<net::HttpConnection>(m_session, ansiToUtf8(cracked.host), cracked.port);
        m_host = cracked.host;
        m_port = cracked.port;
    }

    Text theVerb = "GET";
    if (!verb.empty()) {
        theVerb = asciiUpper(verb);
        if (m_defaultHeadersOn)
            m_isPost = theVerb == "POST";
    }
    // A URL without a path still keeps its query: "http://h?x=1" asks for "/?x=1".
    const Text objectPath = cracked.path.empty() ? "/" + cracked.extra : cracked.path + cracked.extra;
    m_scheme = cracked.scheme;
    m_request = std::make_shared<net::HttpRequest>(m_connection, theVerb, ansiToUtf8(objectPath), cracked.scheme == 2);
    return true;
}

bool HttpClient::send(const Text& body, bool keepCookies, int retries)
{
    return sendData(reinterpret_cast<const std::uint8_t*>(body.data()), body.size(), keepCookies, retries);
}

bool HttpClient::sendBytes(const Bytes& body, bool keepCookies, int retries)
{
    return sendData(body.data(), body.size(), keepCookies, retries);
}

bool HttpClient::sendData(const std::uint8_t* body, std::size_t length, bool keepCookies, int retries)
{
    if (!m_request)
        return false;
    applyRequestOptions();
    if (m_defaultHeadersOn)
        addDefaultHeaders(length > 0);
    const int attempts = std::max(retries, 0) + 1;
    bool answered = false;
    for (int i = 0; i < attempts; ++i) {
        if (m_request->send(body, length)) {
            answered = true;
            break;
        }
        const net::NetError error = m_request->lastError();
        if (error != net::NetError::CannotConnect && error != net::NetError::ConnectionError)
            return false;
    }
    if (!answered)
        return false;
    captureResponseHeaders(keepCookies);
    followRedirect(keepCookies, retries);
    return true;
}

void HttpClient::applyRequestOptions()
{
    if (!m_request)
        return;
    if (m_proxyCredentialsPending) {
        m_request->setProxyCredentials(ansiToUtf8(m_proxyUser), ansiToUtf8(m_proxyPassword));
        m_proxyCredentialsPending = false;
        m_proxyUser.clear();
        m_proxyPassword.clear();
    }
    if (m_redirectsDisabled || m_cookieMode > 0)
        m_request->setOption(net::option::DisableFeature, net::feature::Redirects);
    if (m_certTolerancePending) {
        m_request->setOption(net::option::SecurityFlags, net::security::IgnoreAll);
        m_certTolerancePending = false;
    }
    if (m_cookieMode != 0) {
        m_request->setOption(net::option::DisableFeature, net::feature::Cookies);
        if (m_cookieMode == 1)
            addJarCookieHeader();
        else if (m_cookieMode == 2)
            addStoreCookieHeader();
    }
}

void HttpClient::addDefaultHeaders(bool forceContentType)
{
    if (!m_request)
        return;
    addRawHeaderLines("Accept:*/*", net::addreq::AddIfNew);
    addRawHeaderLines("Accept-Language:zh-cn", net::addreq::AddIfNew);
    addRawHeaderLines("Cache-Control:no-cache", net::addreq::AddIfNew);
    if (m_isPost || forceContentType)
        addRawHeaderLines("Content-Type:application/x-www-form-urlencoded", net::addreq::AddIfNew);
}

bool HttpClient::addRawHeaderLines(const Text& lines, std::uint32_t flags)
{
    return m_request && m_request->addHeaders(ansiToUtf8(lines), flags);
}

bool HttpClient::captureResponseHeaders(bool keepCookies)
{
    const std::string raw = m_request ? m_request->rawHeaders() : std::string();
    if (raw.empty()) {
        m_contentLength = -1;
        return false;
    }
    m_responseHeaders = utf8ToAnsi(raw);
    const std::size_t at = findHeaderLine(m_responseHeaders, "Content-Length:");
    if (at == Text::npos) {
        m_contentLength = -1;
    } else {
        const std::size_t start = at + 15;
        const std::size_t end = m_responseHeaders.find("\r\n", start);
        m_contentLength = readCount(m_responseHeaders.substr(start, end == Text::npos ? Text::npos : end - start));
    }
    if (m_cookieMode == 1)
        updateJarFromResponse(keepCookies);
    else if (m_cookieMode == 2)
        updateStoreFromResponse(keepCookies);
    return true;
}

void HttpClient::followRedirect(bool keepCookies, int retries)
{
    if (m_cookieMode == 0 || m_redirectsDisabled)
        return;
    const Text target = redirectLocation(true);
    if (target.empty()) {
        m_redirectCount = 0;
        return;
    }
    if (++m_redirectCount > kMaxRedirects) {
        m_redirectCount = 0;
        return;
    }
    open({}, target);
    send({}, keepCookies, retries);
}

Bytes HttpClient::responseBytes()
{
    if (!m_request || m_contentLength == 0)
        return {};
    if (m_bodyLength == 0) {
        const std::size_t announced = m_contentLength > 0 ? static_cast<std::size_t>(m_contentLength) : 0;
        const bool unknown = m_contentLength < 0;
        std::size_t capacity = unknown ? kInitialBody : std::min(announced, kBigStep);
        capacity = std::min(capacity, m_maxBodyBytes);
        if (!resizeBody(capacity))
            return {};
        std::size_t read = 0;
        std::size_t available = 0;
        while (m_request->queryDataAvailable(available) && available >= 1) {
            const std::size_t need = read + available;
            if (need > capacity) {
                std::size_t next;
                if (unknown || need > announced)
                    next = need + kBodyStep;
                else if (announced - need > kBigStep)
                    next = need + kBigStep;
                else
                    next = announced;
                next = std::min(next, m_maxBodyBytes);
                if (next > capacity && resizeBody(next))
                    capacity = next;
                else if (read == capacity)
                    break;   // the buffer can not grow: what arrived so far is the body
            }
            std::size_t got = 0;
            if (!m_request->readData(m_bodyBuffer.data() + read, capacity - read, got))
                break;
            read += got;
        }
        m_bodyLength = read;
    }
    return Bytes(m_bodyBuffer.begin(), m_bodyBuffer.begin() + static_cast<std::ptrdiff_t>(m_bodyLength));
}

Text HttpClient::responseRawText()
{
    const Bytes body = responseBytes();
    const auto zero = std::find(body.begin(), body.end(), 0);
    return Text(body.begin(), zero);
}

Text HttpClient::responseText()
{
    const Bytes body = responseBytes();
    if (body.empty())
        return {};
    return utf8ToAnsi(toText(body));
}

int HttpClient::statusCode()
{
    if (!m_request || !m_request->responded())
        return 0;
    return m_request->statusCode();
}

Text HttpClient::statusText()
{
    if (!m_request || !m_request->responded())
        return {};
    return utf8ToAnsi(m_request->statusText());
}

Text HttpClient::redirectLocation(bool resolve) const
{
    if (m_responseHeaders.empty())
        return {};
    const std::size_t at = findHeaderLine(m_responseHeaders, "Location:");
    if (at == Text::npos)
        return {};
    const std::size_t start = at + 9;
    const std::size_t end = m_responseHeaders.find("\r\n", start);
    if (end == Text::npos)
        return {};
    Text value = trimBlanks(m_responseHeaders.substr(start, end - start));
    if (!resolve || value.empty())
        return value;
    const Text lower = asciiLower(value.substr(0, 8));
    if (lower.compare(0, 7, "http://") == 0 || lower.compare(0, 8, "https://") == 0)
        return value;
    const Text schemeText = m_scheme == 2 ? "https:" : "http:";
    if (value.compare(0, 2, "//") == 0)
        return schemeText + value;   // another host, same scheme
    if (value.front() == '/') {
        const bool v6 = m_host.find(':') != Text::npos;
        return schemeText + "//" + (v6 ? "[" + m_host + "]" : m_host) + ":" + std::to_string(m_port) + value;
    }
    // Relative to the directory of the request's path (its query and fragment left out).
    Text base = m_url.substr(0, m_url.find_first_of("?#"));
    const std::size_t hostStart = base.find("://");
    const std::size_t pathStart = hostStart == Text::npos ? Text::npos : base.find('/', hostStart + 3);
    if (pathStart == Text::npos)
        return base + "/" + value;
    return base.substr(0, base.rfind('/') + 1) + value;
}

bool HttpClient::setTimeouts(std::optional<int> resolve, std::optional<int> connect, std::optional<int> send,
                             std::optional<int> receive)
{
    if (!m_session)
        return false;
    const net::HttpTimeouts defaults;
    m_session->setTimeouts(net::HttpTimeouts{resolve.value_or(defaults.resolve), connect.value_or(defaults.connect),
                                             send.value_or(defaults.send), receive.value_or(defaults.receive)});
    return true;
}

bool HttpClient::setProxy(const std::optional<Text>& proxy, const std::optional<Text>& user,
                          const std::optional<Text>& password)
{
    if (!m_session)
        return false;
    net::ProxySetting setting;
    if (proxy && !proxy->empty()) {
        const Text u = user.value_or(Text());
        const Text p = password.value_or(Text());
        if (m_request) {
            m_request->setProxyCredentials(ansiToUtf8(u), ansiToUtf8(p));
        } else {
            m_proxyCredentialsPending = true;
            m_proxyUser = u;
            m_proxyPassword = p;
        }
        setting.named = true;
        setting.list = ansiToUtf8(*proxy);
    }
    m_session->setProxy(setting);
    return true;
}

bool HttpClient::setCredentials(const Text& user, const Text& password, std::optional<int> target,
                                std::optional<int> scheme)
{
    if (!m_request)
        return false;
    return m_request->setCredentials(target.value_or(net::auth::TargetServer), scheme.value_or(net::auth::SchemeBasic),
                                     ansiToUtf8(user), ansiToUtf8(password));
}

bool HttpClient::setOption(std::optional<int> handleKind, std::uint32_t option, std::uint32_t value, std::uint32_t size)
{
    if (size != 4)
        return false;
    const int kind = handleKind.value_or(0);
    if (kind == 1)
        return m_connection && m_connection->setOption(option, value);
    if (kind == 2)
        return m_request && m_request->setOption(option, value);
    return m_session && m_session->setOption(option, value);
}

void HttpClient::allowRedirects(std::optional<int> allow) { m_redirectsDisabled = allow && (*allow & 1) == 0; }

void HttpClient::disableRequestCookies()
{
    if (m_request)
        m_request->setOption(net::option::DisableFeature, net::feature::Cookies);
}

bool HttpClient::setHeader(const Text& name, const Text& value, std::optional<std::uint32_t> flags)
{
    if (!m_request || name.empty())
        return false;
    // One header per call: a line break in a name or value would smuggle in another header.
    if (hasLineBreak(name) || hasLineBreak(value))
        return false;
    if (m_cookieMode == 0 && asciiLower(name) == "cookie")
        disableRequestCookies();
    return addRawHeaderLines(name + ":" + value, flags.value_or(kAddReplace));
}

bool HttpClient::removeHeader(const Text& name)
{
    if (!m_request || name.empty() || hasLineBreak(name))
        return false;
    if (m_cookieMode == 0 && asciiLower(name) == "cookie")
        disableRequestCookies();
    return addRawHeaderLines(name + ":", net::addreq::Replace);
}

bool HttpClient::setCookies(const Text& text)
{
    if (m_cookieMode == 1)
        return mergeCookies(text);
    if (m_cookieMode == 2)
        return setStoreCookies(text);
    if (!m_request)
        return false;
    disableRequestCookies();
    return setHeader("Cookie", text);
}

bool HttpClient::setUserAgent(const Text& value) { return setHeader("User-Agent", value); }
bool HttpClient::setUserAgent() { return setHeader("User-Agent", kDefaultUserAgent); }
bool HttpClient::setReferer(const std::optional<Text>& value) { return setHeader("Referer", value.value_or(m_url)); }
bool HttpClient::setAccept(const std::optional<Text>& value) { return setHeader("Accept", value.value_or("*/*")); }
bool HttpClient::setAcceptLanguage(const std::optional<Text>& value)
{
    return setHeader("Accept-Language", value.value_or("zh-cn"));
}
bool HttpClient::setContentType(const std::optional<Text>& value)
{
    return setHeader("Content-Type", value.value_or("application/x-www-form-urlencoded"));
}
bool HttpClient::setAjaxHeader() { return setHeader("x-requested-with", "XMLHttpRequest"); }

bool HttpClient::setClientAddress(const Text& address)
{
    if (!m_request || hasLineBreak(address))
        return false;
    return addRawHeaderLines("X-Forwarded-For:" + address + "\r\nCLIENT_IP:" + address + "\r\nVIA:" + address +
                                 "\r\nREMOTE_ADDR:" + address,
                             kAddReplace);
}

// ---- Response headers ----

Text HttpClient::responseHeader(const Text& name) const
{
    if (m_responseHeaders.empty())
        return {};
    const std::size_t at = findHeaderLine(m_responseHeaders, name + ":");
    if (at == Text::npos)
        return {};
    const std::size_t start = at + name.size() + 1;
    const std::size_t end = m_responseHeaders.find("\r\n", start);
    if (end == Text::npos)
        return {};
    return trimLeadingBlanks(m_responseHeaders.substr(start, end - start));
}

Text HttpClient::responseSetCookies() const
{
    if (m_responseHeaders.empty())
        return {};
    Text all;
    for (const Text& piece : setCookiePieces(m_responseHeaders))
        if (!isDeletion(piece))
            all += piece + " ";
    if (!all.empty())
        all.erase(all.size() - 2);
    return all;
}

Text HttpClient::responseSetCookie(const Text& name) const
{
    if (m_responseHeaders.empty())
        return {};
    for (const Text& prefix : {Text("Set-Cookie: "), Text("Set-Cookie:")}) {
        const Text key = prefix + name + "=";
        std::size_t pos = 0;
        for (;;) {
            const std::size_t at = findHeaderLine(m_responseHeaders, key, pos);
            if (at == Text::npos)
                break;
            const std::size_t start = at + key.size();
            std::size_t lineEnd = m_responseHeaders.find("\r\n", start);
            if (lineEnd == Text::npos)
                lineEnd = m_responseHeaders.size();
            const std::size_t semi = m_responseHeaders.find(';', start);
            // The value ends at its ";" or, for a cookie without attributes, at the line end.
            const std::size_t end = (semi != Text::npos && semi < lineEnd) ? semi : lineEnd;
            return m_responseHeaders.substr(start, end - start);
        }
    }
    return {};
}

// ---- Cookie jar and store ----

void HttpClient::setCookieMode(std::optional<int> mode)
{
    const int m = mode.value_or(1);
    m_cookieMode = (m < 0 || m > 2) ? 0 : m;
}

Text HttpClient::cookieJar() const
{
    if (m_cookieJar.size() <= 4)
        return {};
    return m_cookieJar.substr(2, m_cookieJar.size() - 4);
}

Text HttpClient::cookieJar(const Text& text)
{
    Text jar = text;
    if (jar.compare(0, 2, "; ") != 0)
        jar = "; " + jar;
    if (jar.compare(jar.size() - 2, 2, "; ") != 0) {
        if (jar.back() != ';')
            jar += ';';
        jar += ' ';
    }
    m_cookieJar = jar;
    return text;
}

Text HttpClient::jarCookie(const Text& name, std::optional<int> withName) const
{
    if (name.empty())
        return {};
    const std::size_t at = m_cookieJar.find("; " + name + "=");
    if (at == Text::npos)
        return {};
    const std::size_t valueStart = at + 2 + name.size() + 1;
    const std::size_t end = m_cookieJar.find(';', valueStart);
    if (end == Text::npos)
        return {};
    if (withName && *withName != 0)
        return m_cookieJar.substr(at + 2, end - at - 2);
    return m_cookieJar.substr(valueStart, end - valueStart);
}

bool HttpClient::mergeCookies(const Text& text)
{
    bool changed = false;
    for (const Text& part : cookieParts(text)) {
        const std::size_t eq = part.find('=');
        if (eq == Text::npos)
            continue;
        const Text key = "; " + part.substr(0, eq) + "=";
        const std::size_t at = m_cookieJar.find(key);
        if (at == Text::npos) {
            m_cookieJar += part + "; ";
            changed = true;
            continue;
        }
        const std::size_t end = m_cookieJar.find("; ", at + key.size());
        if (end == Text::npos)
            continue;
        m_cookieJar.replace(at + 2, end - at - 2, part);
        changed = true;
    }
    return changed;
}

bool HttpClient::removeCookies(const Text& names)
{
    bool changed = false;
    for (const Text& part : cookieParts(names)) {
        const Text key = "; " + part.substr(0, part.find('=')) + "=";
        const std::size_t at = m_cookieJar.find(key);
        if (at == Text::npos)
            continue;
        const std::size_t end = m_cookieJar.find("; ", at + key.size());
        if (end == Text::npos)
            continue;
        m_cookieJar.erase(at, end - at);
        changed = true;
    }
    return changed;
}

void HttpClient::updateJarFromResponse(bool keepCookies)
{
    for (const Text& piece : setCookiePieces(m_responseHeaders)) {
        const std::size_t eq = piece.find('=');
        if (eq == Text::npos)
            continue;
        const Text key = piece.substr(0, eq + 1);
        const std::size_t at = m_cookieJar.find("; " + key);
        const bool deletion = isDeletion(piece);
        if (at == Text::npos) {
            if (!deletion)
                m_cookieJar += piece + " ";
            continue;
        }
        if (keepCookies && piece == key + ";")
            continue;
        const std::size_t end = m_cookieJar.find("; ", at + 2 + key.size());
        if (end == Text::npos)
            continue;
        if (deletion) {
            if (!keepCookies)
                m_cookieJar.erase(at + 1, end - at);
            continue;
        }
        m_cookieJar.replace(at + 2, end + 1 - (at + 2), piece);
    }
}

void HttpClient::updateStoreFromResponse(bool keepCookies)
{
    auto& store = net::CookieStore::instance();
    for (const Text& piece : setCookiePieces(m_responseHeaders)) {
        const std::size_t eq = piece.find('=');
        if (eq == Text::npos)
            continue;
        const Text name = piece.substr(0, eq);
        if (isDeletion(piece)) {
            if (!keepCookies)
                store.setCookie(m_url, name, "");
            continue;
        }
        const Text value = piece.substr(eq + 1, piece.size() - 1 - (eq + 1));
        if (keepCookies && trimLeadingBlanks(value).empty())
            continue;
        store.setCookie(m_url, name, value);
    }
}

bool HttpClient::setStoreCookies(const Text& text)
{
    bool any = false;
    for (const Text& part : cookieParts(text)) {
        const std::size_t eq = part.find('=');
        if (eq == Text::npos)
            continue;
        net::CookieStore::instance().setCookie(m_url, part.substr(0, eq), part.substr(eq + 1));
        any = true;
    }
    return any;
}

bool HttpClient::addJarCookieHeader()
{
    if (!m_request)
        return false;
    Text line = "Cookie:" + cookieJar();
    if (hasLineBreak(line))
        return false;
    return addRawHeaderLines(line, kAddReplace);
}

bool HttpClient::addStoreCookieHeader()
{
    if (!m_request)
        return false;
    const Text cookies = net::CookieStore::instance().cookiesFor(m_url);
    if (cookies.empty())
        return false;
    return addRawHeaderLines("Cookie:" + cookies, kAddReplace);
}

// ---- Handles ----

std::shared_ptr<net::HttpSession> HttpClient::sessionHandle(std::shared_ptr<net::HttpSession> replacement)
{
    std::swap(m_session, replacement);
    return replacement;
}

std::shared_ptr<net::HttpConnection> HttpClient::connectionHandle(std::shared_ptr<net::HttpConnection> replacement)
{
    std::swap(m_connection, replacement);
    return replacement;
}

std::shared_ptr<net::HttpRequest> HttpClient::requestHandle(std::shared_ptr<net::HttpRequest> replacement)
{
    std::swap(m_request, replacement);
    return replacement;
}

} // namespace qingtong
