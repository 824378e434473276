#pragma once

#include <string>

namespace qingtong::net {

// The parts of an absolute http or https URL.
struct HttpUrlParts {
    int scheme = 0;      // 1 http, 2 https
    std::string host;    // without brackets for an IPv6 address
    int port = 0;        // 80 or 443 when the URL names none
    std::string path;    // from the first "/" after the host up to "?" or "#"; may be empty
    std::string extra;   // "?query" and "#fragment" as they stand
};

// Splits a URL of the form scheme://[user[:password]@]host[:port][/path][?query][#fragment].
// False for another scheme, an empty or malformed host, or a port outside 1..65535.
bool crackHttpUrl(const std::string& url, HttpUrlParts& out);

} // namespace qingtong::net
