#include "platform/net/CookieStore.h"

#include <algorithm>

namespace qingtong::net {

namespace {

struct UrlParts {
    std::string host;
    std::string path;
};

bool splitUrl(const std::string& url, UrlParts& out)
{
    auto sep = url.find("://");
    if (sep == std::string::npos)
        return false;
    std::size_t start = sep + 3;
    std::size_t end = url.find_first_of("/?#", start);
    std::string authority = url.substr(start, end == std::string::npos ? std::string::npos : end - start);
    if (auto at = authority.rfind('@'); at != std::string::npos)
        authority.erase(0, at + 1);
    std::string host;
    if (!authority.empty() && authority.front() == '[') {
        auto close = authority.find(']');
        if (close == std::string::npos)
            return false;
        host = authority.substr(0, close + 1);
    } else {
        host = authority.substr(0, authority.find(':'));
    }
    if (host.empty())
        return false;
    for (char& c : host)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    out.host = host;
    out.path.assign(1, '/');
    if (end != std::string::npos && url[end] == '/') {
        std::size_t pathEnd = url.find_first_of("?#", end);
        out.path = url.substr(end, pathEnd == std::string::npos ? std::string::npos : pathEnd - end);
    }
    return true;
}

// The default path of a request path: up to, not including, its last "/"; "/" when that
// leaves nothing.
std::string defaultPath(const std::string& path)
{
    auto last = path.rfind('/');
    if (last == std::string::npos || last == 0)
        return "/";
    return path.substr(0, last);
}

bool pathMatches(const std::string& requestPath, const std::string& cookiePath)
{
    if (requestPath == cookiePath)
        return true;
    if (requestPath.compare(0, cookiePath.size(), cookiePath) != 0)
        return false;
    return cookiePath.back() == '/' || requestPath[cookiePath.size()] == '/';
}

} // namespace

CookieStore& CookieStore::instance()
{
    static CookieStore* store = new CookieStore;   // lives until the process ends
    return *store;
}

bool CookieStore::setCookie(const std::string& url, const std::string& name, const std::string& value)
{
    UrlParts parts;
    if (!splitUrl(url, parts) || name.empty() || name.find_first_of(";=\r\n") != std::string::npos ||
        value.find_first_of(";\r\n") != std::string::npos)
        return false;
    const std::string path = defaultPath(parts.path);
    std::lock_guard lock(m_mutex);
    auto same = std::find_if(m_cookies.begin(), m_cookies.end(), [&](const Cookie& c) {
        return c.host == parts.host && c.path == path && c.name == name;
    });
    if (same != m_cookies.end()) {
        same->value = value;
        return true;
    }
    const auto perHost = std::count_if(m_cookies.begin(), m_cookies.end(),
                                       [&](const Cookie& c) { return c.host == parts.host; });
    if (static_cast<std::size_t>(perHost) >= kMaxPerHost) {
        auto oldest = std::find_if(m_cookies.begin(), m_cookies.end(), [&](const Cookie& c) { return c.host == parts.host; });
        m_cookies.erase(oldest);
    } else if (m_cookies.size() >= kMaxTotal) {
        m_cookies.erase(m_cookies.begin());
    }
    m_cookies.push_back(Cookie{parts.host, path, name, value, ++m_counter});
    return true;
}

std::string CookieStore::cookiesFor(const std::string& url) const
{
    UrlParts parts;
    if (!splitUrl(url, parts))
        return {};
    std::vector<const Cookie*> hits;
    std::lock_guard lock(m_mutex);
    for (const Cookie& c : m_cookies)
        if (c.host == parts.host && pathMatches(parts.path, c.path))
            hits.push_back(&c);
    std::stable_sort(hits.begin(), hits.end(), [](const Cookie* a, const Cookie* b) {
        if (a->path.size() != b->path.size())
            return a->path.size() > b->path.size();
        return a->created < b->created;
    });
    std::string out;
    for (const Cookie* c : hits) {
        if (!out.empty())
            out += "; ";
        out.append(c->name).append("=").append(c->value);
    }
    return out;
}

void CookieStore::clear()
{
    std::lock_guard lock(m_mutex);
    m_cookies.clear();
}

} // namespace qingtong::net
