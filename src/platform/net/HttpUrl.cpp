#include "platform/net/HttpUrl.h"

namespace qingtong::net {

namespace {
std::string lower(std::string s)
{
    for (char& c : s)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return s;
}
} // namespace

bool crackHttpUrl(const std::string& url, HttpUrlParts& out)
{
    const auto sep = url.find("://");
    if (sep == std::string::npos)
        return false;
    const std::string scheme = lower(url.substr(0, sep));
    if (scheme == "http")
        out.scheme = 1;
    else if (scheme == "https")
        out.scheme = 2;
    else
        return false;
    const std::size_t start = sep + 3;
    std::size_t end = url.find_first_of("/?#", start);
    if (end == std::string::npos)
        end = url.size();
    std::string authority = url.substr(start, end - start);
    if (auto at = authority.rfind('@'); at != std::string::npos)
        authority.erase(0, at + 1);
    std::string portText;
    if (!authority.empty() && authority.front() == '[') {
        const auto close = authority.find(']');
        if (close == std::string::npos)
            return false;
        out.host = authority.substr(1, close - 1);
        const std::string rest = authority.substr(close + 1);
        if (!rest.empty()) {
            if (rest.front() != ':')
                return false;
            portText = rest.substr(1);
        }
    } else {
        const auto colon = authority.find(':');
        out.host = authority.substr(0, colon);
        if (colon != std::string::npos)
            portText = authority.substr(colon + 1);
    }
    if (out.host.empty())
        return false;
    for (unsigned char c : out.host)
        if (c <= 0x20 || c == 0x7f || c == '\\' || c == '%')
            return false;
    if (portText.empty()) {
        out.port = out.scheme == 2 ? 443 : 80;
    } else {
        if (portText.size() > 5)
            return false;
        int port = 0;
        for (char c : portText) {
            if (c < '0' || c > '9')
                return false;
            port = port * 10 + (c - '0');
        }
        if (port < 1 || port > 65535)
            return false;
        out.port = port;
    }
    const std::size_t extraStart = url.find_first_of("?#", end);
    out.path = url.substr(end, (extraStart == std::string::npos ? url.size() : extraStart) - end);
    out.extra = extraStart == std::string::npos ? std::string() : url.substr(extraStart);
    return true;
}

} // namespace qingtong::net
