#include "platform/net/HttpRequest.h"

#include <algorithm>
#include <cstring>

#include <curl/curl.h>

#include "platform/net/CancelScope.h"
#include "platform/net/TransferPool.h"

namespace qingtong::net {

namespace {

constexpr std::size_t kMaxHeaderBytes = 1024 * 1024;   // a header block beyond this is hostile
constexpr std::size_t kBodyBufferLimit = 1024 * 1024;  // the transfer pauses above this until read
// The body of a response that is passed over (a redirect being followed) is read and thrown
// away; beyond this much it is hostile, and the exchange fails rather than read on forever.
constexpr std::int64_t kMaxPassedOverBody = 1024 * 1024;

bool iequals(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
        if (x != y)
            return false;
    }
    return true;
}

bool istartsWith(std::string_view text, std::string_view prefix)
{
    return text.size() >= prefix.size() && iequals(text.substr(0, prefix.size()), prefix);
}

std::string_view trimSpaces(std::string_view s)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r' || s.back() == '\n'))
        s.remove_suffix(1);
    return s;
}

// The object path as it goes on the request line: the fragment never leaves the client, and
// bytes that may not stand in a request line are percent-encoded.
std::string encodePath(const std::string& path)
{
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : path) {
        if (c == '#')
            break;
        if (c <= 0x20 || c >= 0x7f) {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        } else {
            out += static_cast<char>(c);
        }
    }
    if (out.empty() || out.front() != '/')
        out.insert(out.begin(), '/');
    return out;
}

std::string hostForUrl(const std::string& host)
{
    if (host.find(':') != std::string::npos && host.front() != '[')
        return "[" + host + "]";
    return host;
}

// The proxy server to use for a request of the given scheme from a proxy list:
// "host:port", "scheme://host:port", entries separated by ";" or blanks, or per-scheme
// entries "http=host:port;https=host:port".
std::string pickProxy(const std::string& list, bool secure)
{
    std::vector<std::string> entries;
    std::string cur;
    for (char c : list) {
        if (c == ';' || c == ' ' || c == '\t') {
            if (!cur.empty())
                entries.push_back(cur);
            cur.clear();
        } else {
            cur += c;
        }
    }
    if (!cur.empty())
        entries.push_back(cur);
    std::string chosen;
    for (const auto& e : entries) {
        auto eq = e.find('=');
        if (eq == std::string::npos) {
            if (chosen.empty())
                chosen = e;
            continue;
        }
        std::string scheme = e.substr(0, eq);
        if (iequals(scheme, secure ? "https" : "http")) {
            chosen = e.substr(eq + 1);
            break;
        }
    }
    if (chosen.empty())
        return {};
    if (chosen.find("://") == std::string::npos)
        chosen = "http://" + chosen;
    return chosen;
}

NetError mapError(CURLcode code)
{
    switch (code) {
    case CURLE_OK: return NetError::None;
    case CURLE_COULDNT_CONNECT: return NetError::CannotConnect;
    case CURLE_SEND_ERROR:
    case CURLE_RECV_ERROR:
    case CURLE_GOT_NOTHING:
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_PARTIAL_FILE:
        return NetError::ConnectionError;
    case CURLE_OPERATION_TIMEDOUT: return NetError::Timeout;
    default: return NetError::Other;
    }
}

size_t headerCallback(char* data, size_t size, size_t n, void* self)
{
    return static_cast<HttpRequest*>(self)->onHeader(data, size * n);
}

size_t writeCallback(char* data, size_t size, size_t n, void* self)
{
    return static_cast<HttpRequest*>(self)->onBody(data, size * n);
}

int progressCallback(void* self, curl_off_t, curl_off_t dlnow, curl_off_t, curl_off_t ulnow)
{
    return static_cast<HttpRequest*>(self)->onProgress(dlnow, ulnow) ? 0 : 1;
}

int prereqCallback(void* self, char*, char*, int, int)
{
    static_cast<HttpRequest*>(self)->onConnected();
    return CURL_PREREQFUNC_OK;
}

} // namespace

HttpRequest::HttpRequest(std::shared_ptr<HttpConnection> connection, std::string verb, std::string objectPath,
                         bool secure)
    : m_connection(std::move(connection)), m_verb(std::move(verb)), m_path(std::move(objectPath)), m_secure(secure)
{
}

HttpRequest::~HttpRequest()
{
    detach();
    curl_slist_free_all(static_cast<curl_slist*>(m_headerList));
}

void HttpRequest::detach()
{
    HttpSession& s = m_connection->session();
    if (m_transfer != nullptr && s.holdsTransfer(this) && m_phase == Phase::Running)
        curl_multi_remove_handle(m_transfer->multi, m_transfer->easy);
    s.dropOwner(this);
    m_transfer = nullptr;
    m_phase = Phase::Idle;
}

bool HttpRequest::hasHeader(std::string_view name) const
{
    return std::any_of(m_headers.begin(), m_headers.end(), [&](const auto& h) { return iequals(h.first, name); });
}

bool HttpRequest::addHeaders(std::string_view lines, std::uint32_t flags)
{
    bool ok = true;
    bool any = false;
    std::size_t pos = 0;
    while (pos <= lines.size()) {
        std::size_t end = lines.find("\r\n", pos);
        std::string_view line = lines.substr(pos, end == std::string_view::npos ? std::string_view::npos : end - pos);
        pos = end == std::string_view::npos ? lines.size() + 1 : end + 2;
        if (trimSpaces(line).empty())
            continue;
        any = true;
        auto colon = line.find(':');
        if (colon == std::string_view::npos || trimSpaces(line.substr(0, colon)).empty()) {
            ok = false;
            continue;
        }
        std::string name(trimSpaces(line.substr(0, colon)));
        std::string value(trimSpaces(line.substr(colon + 1)));
        // Header injection: a name or value can not carry a line break of its own.
        if (name.find_first_of("\r\n") != std::string::npos || value.find_first_of("\r\n") != std::string::npos) {
            ok = false;
            continue;
        }
        auto it = std::find_if(m_headers.begin(), m_headers.end(), [&](const auto& h) { return iequals(h.first, name); });
        if (flags & addreq::Replace) {
            if (it == m_headers.end()) {
                if (!(flags & addreq::Add)) {
                    ok = false;
                    continue;
                }
                if (!value.empty())
                    m_headers.emplace_back(name, value);
            } else if (value.empty()) {
                m_headers.erase(it);
            } else {
                it->second = value;
            }
        } else if (flags & addreq::AddIfNew) {
            if (it != m_headers.end()) {
                ok = false;
                continue;
            }
            m_headers.emplace_back(name, value);
        } else if ((flags & addreq::Coalesce) && it != m_headers.end()) {
            it->second += ", " + value;
        } else {
            m_headers.emplace_back(name, value);
        }
    }
    return ok && any;
}

void HttpRequest::setHeader(const std::string& name, const std::string& value)
{
    if (name.empty() || name.find_first_of("\r\n:") != std::string::npos || value.find_first_of("\r\n") != std::string::npos)
        return;
    auto it = std::find_if(m_headers.begin(), m_headers.end(), [&](const auto& h) { return iequals(h.first, name); });
    if (it != m_headers.end())
        it->second = value;
    else
        m_headers.emplace_back(name, value);
}

void HttpRequest::setProxyCredentials(std::string user, std::string password)
{
    m_proxyUser = std::move(user);
    m_proxyPassword = std::move(password);
    m_proxyCredentials = true;
}

bool HttpRequest::setCredentials(int target, int scheme, std::string user, std::string password)
{
    long curlAuth = 0;
    switch (scheme) {
    case auth::SchemeBasic: curlAuth = CURLAUTH_BASIC; break;
    case auth::SchemeNtlm: curlAuth = CURLAUTH_NTLM; break;
    case auth::SchemeDigest: curlAuth = CURLAUTH_DIGEST; break;
    case auth::SchemeNegotiate: curlAuth = CURLAUTH_NEGOTIATE; break;
    default: return false;
    }
    if (target == auth::TargetServer) {
        m_serverUser = std::move(user);
        m_serverPassword = std::move(password);
        m_serverAuth = curlAuth;
        return true;
    }
    if (target == auth::TargetProxy) {
        setProxyCredentials(std::move(user), std::move(password));
        return true;
    }
    return false;
}

OptionSet HttpRequest::effectiveOptions() const
{
    return m_options.over(m_connection->options().over(m_connection->session().options()));
}

bool HttpRequest::send(const std::uint8_t* body, std::size_t length)
{
    HttpSession& session = m_connection->session();
    detach();
    m_error = NetError::None;
    m_headersDone = false;
    m_paused = false;
    m_connected = false;
    m_status = 0;
    m_statusText.clear();
    m_rawHeaders.clear();
    m_blockHeaders.clear();
    m_blockStatus = 0;
    m_blockHasLocation = false;
    m_headerBytes = 0;
    m_body.clear();
    m_bodyOffset = 0;
    m_bodyBuffered = 0;
    m_lastDown = m_lastUp = -1;
    m_bodyCopy.assign(reinterpret_cast<const char*>(body), body != nullptr ? length : 0);

    const std::string target = std::string(m_secure ? "https://" : "http://") + hostForUrl(m_connection->host()) +
                               ":" + std::to_string(m_connection->port());
    m_transfer = session.takeTransfer(target, this);
    if (m_transfer == nullptr) {
        m_error = NetError::Other;
        return false;
    }
    m_transfer->lastTarget = target;
    m_url = target + encodePath(m_path);

    CURL* e = m_transfer->easy;
    m_transfer->clearOptions();
    const OptionSet opts = effectiveOptions();
    const std::uint32_t disabled = opts.disabledFeatures.value_or(0);

    curl_easy_setopt(e, CURLOPT_URL, m_url.c_str());
    curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(e, CURLOPT_REDIR_PROTOCOLS_STR,
                     (opts.redirectPolicy.value_or(1) == 1 && m_secure) ? "https" : "http,https");
    curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(e, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
    curl_easy_setopt(e, CURLOPT_PATH_AS_IS, 1L);
    curl_easy_setopt(e, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);
    curl_easy_setopt(e, CURLOPT_HEADERFUNCTION, &headerCallback);
    curl_easy_setopt(e, CURLOPT_HEADERDATA, this);
    curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, &writeCallback);
    curl_easy_setopt(e, CURLOPT_WRITEDATA, this);
    curl_easy_setopt(e, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(e, CURLOPT_XFERINFOFUNCTION, &progressCallback);
    curl_easy_setopt(e, CURLOPT_XFERINFODATA, this);
    curl_easy_setopt(e, CURLOPT_PREREQFUNCTION, &prereqCallback);
    curl_easy_setopt(e, CURLOPT_PREREQDATA, this);

    // Redirects.
    m_followRedirects = !(disabled & feature::Redirects) && opts.redirectPolicy.value_or(1) != 0;
    curl_easy_setopt(e, CURLOPT_FOLLOWLOCATION, m_followRedirects ? 1L : 0L);
    curl_easy_setopt(e, CURLOPT_MAXREDIRS, static_cast<long>(std::min<std::uint32_t>(opts.maxRedirects.value_or(10), 1000)));
    if (disabled & feature::KeepAlive)
        curl_easy_setopt(e, CURLOPT_FORBID_REUSE, 1L);

    // Automatic cookies live in the session's share; a request without them has no cookie
    // engine at all, so it neither sends nor keeps any.
    if (!(disabled & feature::Cookies)) {
        curl_easy_setopt(e, CURLOPT_SHARE, cookieShareHandle(session.cookies()));
        curl_easy_setopt(e, CURLOPT_COOKIEFILE, "");
    }

    // Time-outs: libcurl bounds the way to the connection; the stalls are watched in drive().
    const HttpTimeouts& t = session.timeouts();
    const int resolveMs = opts.resolveTimeout.value_or(t.resolve);
    const int connectMs = opts.connectTimeout.value_or(t.connect);
    if (connectMs > 0)
        curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(std::max(resolveMs, 0)) + connectMs);

    // Certificates: tolerated when the request asks for it, unless the process is strict.
    const std::uint32_t sec = strictTls() ? 0 : opts.securityFlags.value_or(0);
    const bool verifyPeer = !(sec & (security::IgnoreUnknownCa | security::IgnoreWrongUsage | security::IgnoreDateInvalid));
    const bool verifyHost = !(sec & security::IgnoreCnInvalid);
    curl_easy_setopt(e, CURLOPT_SSL_VERIFYPEER, verifyPeer ? 1L : 0L);
    curl_easy_setopt(e, CURLOPT_SSL_VERIFYHOST, verifyHost ? 2L : 0L);
    curl_easy_setopt(e, CURLOPT_PROXY_SSL_VERIFYPEER, verifyPeer ? 1L : 0L);
    curl_easy_setopt(e, CURLOPT_PROXY_SSL_VERIFYHOST, verifyHost ? 2L : 0L);

    // Proxy: never from the environment; only what the session names.
    const ProxySetting& proxy = session.proxy();
    const std::string proxyUrl = proxy.named ? pickProxy(proxy.list, m_secure) : std::string();
    curl_easy_setopt(e, CURLOPT_PROXY, proxyUrl.c_str());
    if (!proxyUrl.empty() && m_proxyCredentials && !m_proxyUser.empty()) {
        curl_easy_setopt(e, CURLOPT_PROXYUSERNAME, m_proxyUser.c_str());
        curl_easy_setopt(e, CURLOPT_PROXYPASSWORD, m_proxyPassword.c_str());
        curl_easy_setopt(e, CURLOPT_PROXYAUTH, static_cast<long>(CURLAUTH_BASIC));
    }
    if (m_serverAuth != 0 && !(disabled & feature::Authentication)) {
        curl_easy_setopt(e, CURLOPT_USERNAME, m_serverUser.c_str());
        curl_easy_setopt(e, CURLOPT_PASSWORD, m_serverPassword.c_str());
        curl_easy_setopt(e, CURLOPT_HTTPAUTH, m_serverAuth);
    }

    // Verb and body.
    const bool hasBody = !m_bodyCopy.empty();
    if (m_verb == "HEAD") {
        curl_easy_setopt(e, CURLOPT_NOBODY, 1L);
    } else if (m_verb == "POST") {
        curl_easy_setopt(e, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(m_bodyCopy.size()));
        curl_easy_setopt(e, CURLOPT_POSTFIELDS, m_bodyCopy.data());
    } else {
        if (m_verb != "GET")
            curl_easy_setopt(e, CURLOPT_CUSTOMREQUEST, m_verb.c_str());
        else if (hasBody)
            curl_easy_setopt(e, CURLOPT_CUSTOMREQUEST, "GET");
        if (hasBody) {
            curl_easy_setopt(e, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(m_bodyCopy.size()));
            curl_easy_setopt(e, CURLOPT_POSTFIELDS, m_bodyCopy.data());
        }
    }

    // Headers exactly as the request holds them, in their order; libcurl adds only Host and
    // the body's Content-Length.
    curl_slist_free_all(static_cast<curl_slist*>(m_headerList));
    m_headerList = nullptr;
    auto add = [this](const std::string& line) {
        if (auto* l = curl_slist_append(static_cast<curl_slist*>(m_headerList), line.c_str()))
            m_headerList = l;
    };
    if (!hasHeader("User-Agent") && !session.userAgent().empty())
        add("User-Agent: " + session.userAgent());
    for (const auto& [name, value] : m_headers)
        add(value.empty() ? name + ";" : name + ": " + value);
    if (!hasHeader("Accept"))
        add("Accept:");
    if (!hasHeader("Content-Type"))
        add("Content-Type:");
    if (!hasHeader("Expect"))
        add("Expect:");
    curl_easy_setopt(e, CURLOPT_HTTPHEADER, static_cast<curl_slist*>(m_headerList));

    m_lastActivity = std::chrono::steady_clock::now();
    if (curl_multi_add_handle(m_transfer->multi, e) != CURLM_OK) {
        m_error = NetError::Other;
        return false;
    }
    m_phase = Phase::Running;
    return drive(true);
}

void HttpRequest::finishTransfer()
{
    if (m_transfer != nullptr && m_phase == Phase::Running && m_connection->session().holdsTransfer(this))
        curl_multi_remove_handle(m_transfer->multi, m_transfer->easy);
    m_phase = Phase::Done;
}

bool HttpRequest::drive(bool untilHeaders)
{
    HttpSession& session = m_connection->session();
    const OptionSet opts = effectiveOptions();
    const int sendMs = opts.sendTimeout.value_or(session.timeouts().send);
    const int receiveMs = opts.receiveTimeout.value_or(session.timeouts().receive);
    for (;;) {
        if (m_phase != Phase::Running)
            return m_error == NetError::None && (untilHeaders ? m_headersDone : true);
        if (!session.holdsTransfer(this)) {
            m_phase = Phase::Done;
            m_error = NetError::Other;
            return false;
        }
        if (cancelRequested()) {
            finishTransfer();
            m_error = NetError::Other;
            return false;
        }
        int running = 0;
        if (curl_multi_perform(m_transfer->multi, &running) != CURLM_OK) {
            finishTransfer();
            m_error = NetError::Other;
            return false;
        }
        int queued = 0;
        while (CURLMsg* msg = curl_multi_info_read(m_transfer->multi, &queued)) {
            if (msg->msg != CURLMSG_DONE || msg->easy_handle != m_transfer->easy)
                continue;
            const CURLcode code = msg->data.result;
            finishTransfer();
            if (code != CURLE_OK) {
                m_error = mapError(code);
                return false;
            }
            if (!m_headersDone) {
                // The transfer ended on a block we took for an interim one; it is the answer.
                m_headersDone = !m_rawHeaders.empty();
                if (!m_headersDone) {
                    m_error = NetError::Other;
                    return false;
                }
            }
            return true;
        }
        if (untilHeaders ? m_headersDone : (m_bodyBuffered > 0 || m_paused))
            return true;

        long waitMs = 1000;
        if (m_connected) {
            const bool uploading = !m_bodyCopy.empty() && m_lastUp < static_cast<std::int64_t>(m_bodyCopy.size()) &&
                                   !m_headersDone && m_blockHeaders.empty();
            const int limit = uploading ? sendMs : receiveMs;
            if (limit > 0) {
                const auto idle = std::chrono::duration_cast<std::chrono::milliseconds>(
                                      std::chrono::steady_clock::now() - m_lastActivity).count();
                if (idle >= limit) {
                    finishTransfer();
                    m_error = NetError::Timeout;
                    return false;
                }
                waitMs = std::min<long>(waitMs, limit - idle);
            }
        }
        curl_multi_poll(m_transfer->multi, nullptr, 0, static_cast<int>(std::max<long>(waitMs, 1)), nullptr);
    }
}

std::size_t HttpRequest::onHeader(const char* data, std::size_t length)
{
    m_lastActivity = std::chrono::steady_clock::now();
    m_connected = true;
    m_headerBytes += length;
    if (m_headerBytes > kMaxHeaderBytes)
        return 0;   // aborts the transfer
    std::string_view line(data, length);
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n'))
        line.remove_suffix(1);
    if (istartsWith(line, "HTTP/")) {
        m_blockHeaders.assign(line);
        m_blockHeaders += "\r\n";
        m_blockHasLocation = false;
        m_blockStatus = 0;
        auto sp = line.find(' ');
        if (sp != std::string_view::npos) {
            std::string_view rest = line.substr(sp + 1);
            int code = 0;
            std::size_t i = 0;
            for (; i < rest.size() && i < 3 && rest[i] >= '0' && rest[i] <= '9'; ++i)
                code = code * 10 + (rest[i] - '0');
            m_blockStatus = code;
        }
        return length;
    }
    if (line.empty()) {
        if (m_blockHeaders.empty())
            return length;
        const bool interim = m_blockStatus >= 100 && m_blockStatus < 200;
        const bool followed = m_followRedirects && m_blockStatus >= 300 && m_blockStatus < 400 && m_blockHasLocation;
        if (!interim) {
            m_rawHeaders = m_blockHeaders + "\r\n";
            m_status = m_blockStatus;
            auto first = m_blockHeaders.find("\r\n");
            std::string_view statusLine(m_blockHeaders.data(), first);
            auto sp1 = statusLine.find(' ');
            auto sp2 = sp1 == std::string_view::npos ? sp1 : statusLine.find(' ', sp1 + 1);
            m_statusText = sp2 == std::string_view::npos ? std::string() : std::string(statusLine.substr(sp2 + 1));
            // A followed redirect keeps the receive clock running: its body is still to come
            // on this connection, and a server that goes silent here must time out as anywhere.
            if (!followed)
                m_headersDone = true;
        }
        m_blockHeaders.clear();
        return length;
    }
    if (m_blockHeaders.empty())
        return length;   // a stray line outside a block
    if (istartsWith(line, "location:"))
        m_blockHasLocation = true;
    m_blockHeaders.append(line);
    m_blockHeaders += "\r\n";
    return length;
}

std::size_t HttpRequest::onBody(const char* data, std::size_t length)
{
    m_lastActivity = std::chrono::steady_clock::now();
    if (!m_headersDone)
        return length;   // the body of a response that is passed over
    if (m_bodyBuffered >= kBodyBufferLimit) {
        m_paused = true;
        return CURL_WRITEFUNC_PAUSE;
    }
    m_body.emplace_back(data, length);
    m_bodyBuffered += length;
    return length;
}

bool HttpRequest::onProgress(std::int64_t down, std::int64_t up)
{
    if (down != m_lastDown || up != m_lastUp) {
        m_lastDown = down;
        m_lastUp = up;
        m_lastActivity = std::chrono::steady_clock::now();
    }
    // Before the final header block every body byte belongs to a response that is passed over.
    return m_headersDone || down <= kMaxPassedOverBody;
}

void HttpRequest::onConnected()
{
    m_connected = true;
    m_lastActivity = std::chrono::steady_clock::now();
}

bool HttpRequest::queryDataAvailable(std::size_t& available)
{
    available = 0;
    if (!m_headersDone)
        return false;
    if (m_bodyBuffered == 0 && m_phase == Phase::Running) {
        if (m_paused && m_connection->session().holdsTransfer(this)) {
            m_paused = false;
            m_lastActivity = std::chrono::steady_clock::now();
            curl_easy_pause(m_transfer->easy, CURLPAUSE_CONT);
        }
        if (m_bodyBuffered == 0 && !drive(false) && m_bodyBuffered == 0)
            return false;
    }
    if (m_bodyBuffered == 0 && m_error != NetError::None)
        return false;
    available = m_bodyBuffered;
    return true;
}

bool HttpRequest::readData(std::uint8_t* out, std::size_t capacity, std::size_t& read)
{
    read = 0;
    std::size_t avail = 0;
    if (m_bodyBuffered == 0 && !queryDataAvailable(avail))
        return false;
    while (read < capacity && !m_body.empty()) {
        std::string& front = m_body.front();
        const std::size_t n = std::min(capacity - read, front.size() - m_bodyOffset);
        std::memcpy(out + read, front.data() + m_bodyOffset, n);
        read += n;
        m_bodyOffset += n;
        m_bodyBuffered -= n;
        if (m_bodyOffset == front.size()) {
            m_body.pop_front();
            m_bodyOffset = 0;
        }
    }
    return true;
}

} // namespace qingtong::net
