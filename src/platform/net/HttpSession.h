#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace qingtong::net {

struct Transfer;

// "真" for strictTls in Config.ini turns certificate and host-name checks on for every
// request of the process, whatever tolerance a request asks for. Off by default.
void setStrictTls(bool on);
bool strictTls();

// How a request failed. CannotConnect and ConnectionError are the two kinds that a sender
// may simply try again; every other failure is final for that attempt.
enum class NetError {
    None,
    CannotConnect,    // nobody accepted the connection (refused, unreachable)
    ConnectionError,  // the connection broke or was reset before a response arrived
    Timeout,          // a resolve, connect, send or receive time-out ran out
    Other,            // name not resolved, certificate refused, bad answer, closed handle, ...
};

// Option numbers and flags of the HTTP session interface the client is written against.
// Integer options can be set on a session, a connection or a request; the request's own
// value wins over the connection's, which wins over the session's.
namespace option {
constexpr std::uint32_t ResolveTimeout = 2;
constexpr std::uint32_t ConnectTimeout = 3;
constexpr std::uint32_t SendTimeout = 5;
constexpr std::uint32_t ReceiveTimeout = 6;
constexpr std::uint32_t ReceiveResponseTimeout = 7;
constexpr std::uint32_t SecurityFlags = 31;
constexpr std::uint32_t DisableFeature = 63;
constexpr std::uint32_t EnableFeature = 79;
constexpr std::uint32_t RedirectPolicy = 88;
constexpr std::uint32_t MaxAutomaticRedirects = 89;
constexpr std::uint32_t ProxyUsername = 0x1002;
constexpr std::uint32_t ProxyPassword = 0x1003;
} // namespace option

namespace feature {
constexpr std::uint32_t Cookies = 0x1;
constexpr std::uint32_t Redirects = 0x2;
constexpr std::uint32_t Authentication = 0x4;
constexpr std::uint32_t KeepAlive = 0x8;
} // namespace feature

namespace security {
constexpr std::uint32_t IgnoreUnknownCa = 0x0100;
constexpr std::uint32_t IgnoreWrongUsage = 0x0200;
constexpr std::uint32_t IgnoreCnInvalid = 0x1000;
constexpr std::uint32_t IgnoreDateInvalid = 0x2000;
constexpr std::uint32_t IgnoreAll = 0x3300;
} // namespace security

// Flags for adding request headers.
namespace addreq {
constexpr std::uint32_t AddIfNew = 0x10000000;
constexpr std::uint32_t Add = 0x20000000;
constexpr std::uint32_t Coalesce = 0x40000000;
constexpr std::uint32_t Replace = 0x80000000;
} // namespace addreq

namespace auth {
constexpr int TargetServer = 0;
constexpr int TargetProxy = 1;
constexpr int SchemeBasic = 1;
constexpr int SchemeNtlm = 2;
constexpr int SchemeDigest = 8;
constexpr int SchemeNegotiate = 16;
} // namespace auth

// Time-outs in milliseconds. Resolve and connect bound the way to an open connection
// (TLS handshake included); send bounds a stall while the request goes out, receive a stall
// while waiting for the response or its body. Zero or less: no limit.
struct HttpTimeouts {
    int resolve = 10000;
    int connect = 15000;
    int send = 120000;
    int receive = 300000;
};

// Integer options as set on one level; unset ones fall through to the level above.
struct OptionSet {
    std::optional<std::uint32_t> disabledFeatures;
    std::optional<std::uint32_t> securityFlags;
    std::optional<std::uint32_t> redirectPolicy;
    std::optional<std::uint32_t> maxRedirects;
    std::optional<int> resolveTimeout, connectTimeout, sendTimeout, receiveTimeout;

    // Stores an integer option; false for an option number that is not known here.
    bool set(std::uint32_t option, std::uint32_t value);
    // This level's values where set, else `below`'s.
    OptionSet over(const OptionSet& below) const;
};

struct ProxySetting {
    bool named = false;   // false: direct connections
    std::string list;     // "host:port", "http://host:port", or "http=h:p;https=h:p"
};

struct CookieShare;
// The libcurl share handle (CURLSH*) that holds a session's automatic cookies.
void* cookieShareHandle(CookieShare& cookies);

// The session: user agent, time-outs, proxy, options and automatic cookies shared by all its
// connections and requests. It holds one Transfer for the host and port it talks to (taken
// from the pool at the first request, given back when the target changes or the session
// ends), so its requests to one host and port go over one kept-alive connection. A session
// and everything made from it belong to one thread.
class HttpSession {
public:
    explicit HttpSession(std::string userAgentUtf8);
    ~HttpSession();
    HttpSession(const HttpSession&) = delete;
    HttpSession& operator=(const HttpSession&) = delete;

    const std::string& userAgent() const { return m_userAgent; }
    void setTimeouts(const HttpTimeouts& timeouts) { m_timeouts = timeouts; }
    const HttpTimeouts& timeouts() const { return m_timeouts; }
    void setProxy(ProxySetting proxy) { m_proxy = std::move(proxy); }
    const ProxySetting& proxy() const { return m_proxy; }
    bool setOption(std::uint32_t option, std::uint32_t value) { return m_options.set(option, value); }
    const OptionSet& options() const { return m_options; }

    // Cookies kept automatically for this session (created on first use).
    CookieShare& cookies();

    // The Transfer for the next request; the request that used it last loses it.
    Transfer* takeTransfer(const std::string& target, const void* newOwner);
    // True while `owner` still holds the Transfer.
    bool holdsTransfer(const void* owner) const { return m_transferOwner == owner && m_transfer; }
    void dropOwner(const void* owner);

private:
    void releaseTransfer();

    std::string m_userAgent;
    HttpTimeouts m_timeouts;
    ProxySetting m_proxy;
    OptionSet m_options;
    std::unique_ptr<CookieShare> m_cookies;
    std::unique_ptr<Transfer> m_transfer;
    const void* m_transferOwner = nullptr;
};

// A connection to one host and port of a session. The kept-alive TCP/TLS connection itself
// lives in the session's Transfer; this object names the target and carries its options.
class HttpConnection {
public:
    HttpConnection(std::shared_ptr<HttpSession> session, std::string host, int port);

    HttpSession& session() const { return *m_session; }
    const std::shared_ptr<HttpSession>& sessionPtr() const { return m_session; }
    const std::string& host() const { return m_host; }
    int port() const { return m_port; }
    bool setOption(std::uint32_t option, std::uint32_t value) { return m_options.set(option, value); }
    const OptionSet& options() const { return m_options; }

private:
    std::shared_ptr<HttpSession> m_session;
    std::string m_host;
    int m_port;
    OptionSet m_options;
};

} // namespace qingtong::net
