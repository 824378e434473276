#include "platform/net/HttpSession.h"

#include <atomic>

#include <curl/curl.h>

#include "platform/net/CurlGlobal.h"
#include "platform/net/TransferPool.h"

namespace qingtong::net {

namespace {
std::atomic<bool> g_strictTls{false};
}

void setStrictTls(bool on) { g_strictTls.store(on); }
bool strictTls() { return g_strictTls.load(); }

bool OptionSet::set(std::uint32_t opt, std::uint32_t value)
{
    const int asInt = value > 0x7fffffffu ? 0x7fffffff : static_cast<int>(value);
    switch (opt) {
    case option::ResolveTimeout: resolveTimeout = asInt; return true;
    case option::ConnectTimeout: connectTimeout = asInt; return true;
    case option::SendTimeout: sendTimeout = asInt; return true;
    case option::ReceiveTimeout:
    case option::ReceiveResponseTimeout: receiveTimeout = asInt; return true;
    case option::SecurityFlags: securityFlags = value; return true;
    case option::DisableFeature: disabledFeatures = disabledFeatures.value_or(0) | value; return true;
    case option::EnableFeature: disabledFeatures = disabledFeatures.value_or(0) & ~value; return true;
    case option::RedirectPolicy:
        if (value > 2)
            return false;
        redirectPolicy = value;
        return true;
    case option::MaxAutomaticRedirects: maxRedirects = value; return true;
    default: return false;
    }
}

OptionSet OptionSet::over(const OptionSet& below) const
{
    OptionSet r = below;
    if (disabledFeatures) r.disabledFeatures = disabledFeatures;
    if (securityFlags) r.securityFlags = securityFlags;
    if (redirectPolicy) r.redirectPolicy = redirectPolicy;
    if (maxRedirects) r.maxRedirects = maxRedirects;
    if (resolveTimeout) r.resolveTimeout = resolveTimeout;
    if (connectTimeout) r.connectTimeout = connectTimeout;
    if (sendTimeout) r.sendTimeout = sendTimeout;
    if (receiveTimeout) r.receiveTimeout = receiveTimeout;
    return r;
}

struct CookieShare {
    CookieShare()
    {
        ensureCurlGlobal();
        share = curl_share_init();
        if (share != nullptr)
            curl_share_setopt(share, CURLSHOPT_SHARE, CURL_LOCK_DATA_COOKIE);
    }
    ~CookieShare()
    {
        if (share != nullptr)
            curl_share_cleanup(share);
    }
    CURLSH* share = nullptr;
};

CURLSH* cookieShareHandle(CookieShare& c) { return c.share; }

HttpSession::HttpSession(std::string userAgentUtf8) : m_userAgent(std::move(userAgentUtf8)) { ensureCurlGlobal(); }

HttpSession::~HttpSession()
{
    releaseTransfer();
    m_cookies.reset();
}

void HttpSession::releaseTransfer()
{
    if (!m_transfer)
        return;
    curl_multi_remove_handle(m_transfer->multi, m_transfer->easy);
    m_transfer->clearOptions();   // the session's cookies do not travel with it
    TransferPool::release(std::move(m_transfer));
    m_transferOwner = nullptr;
}

CookieShare& HttpSession::cookies()
{
    if (!m_cookies)
        m_cookies = std::make_unique<CookieShare>();
    return *m_cookies;
}

Transfer* HttpSession::takeTransfer(const std::string& target, const void* newOwner)
{
    if (m_transfer && m_transferOwner != nullptr && m_transferOwner != newOwner)
        curl_multi_remove_handle(m_transfer->multi, m_transfer->easy);   // the earlier request ends here
    // Another host or port: the warm connection to the old one goes back to the pool (for
    // whoever goes there next) and a Transfer for the new target is taken from it.
    if (m_transfer && !m_transfer->lastTarget.empty() && m_transfer->lastTarget != target)
        releaseTransfer();
    if (!m_transfer)
        m_transfer = TransferPool::acquire(target);
    if (!m_transfer)
        return nullptr;
    m_transferOwner = newOwner;
    return m_transfer.get();
}

void HttpSession::dropOwner(const void* owner)
{
    if (m_transferOwner == owner)
        m_transferOwner = nullptr;
}

HttpConnection::HttpConnection(std::shared_ptr<HttpSession> session, std::string host, int port)
    : m_session(std::move(session)), m_host(std::move(host)), m_port(port)
{
}

} // namespace qingtong::net
