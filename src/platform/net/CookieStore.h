#pragma once

#include <cstddef>
#include <mutex>
#include <string>
#include <vector>

namespace qingtong::net {

// The process-wide cookie store keyed by URL, as a browser keeps it: a cookie stored for a
// URL belongs to that URL's host (host-only) and to the URL's default path (the path up to
// its last "/"), and is given back for every URL of the same host whose path lies under it.
// Cookies here are session cookies without attributes. Thread-safe.
class CookieStore {
public:
    static CookieStore& instance();

    // Stores name=value for the URL (an empty value is stored as such). False for a URL
    // without host or a name that can not be a cookie name.
    bool setCookie(const std::string& url, const std::string& name, const std::string& value);
    // All cookies for the URL as "a=1; b=2" (longer paths first, then older first); "" if none.
    std::string cookiesFor(const std::string& url) const;
    void clear();

    // Limits that keep a hostile server from filling memory; the oldest cookie goes first.
    static constexpr std::size_t kMaxPerHost = 100;
    static constexpr std::size_t kMaxTotal = 3000;

private:
    struct Cookie {
        std::string host, path, name, value;
        unsigned long long created;
    };
    mutable std::mutex m_mutex;
    std::vector<Cookie> m_cookies;
    unsigned long long m_counter = 0;
};

} // namespace qingtong::net
