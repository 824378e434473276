#include "webrequest/WebRequest.h"

#include <array>
#include <memory>

#include "platform/textRoutines.h"

namespace qingtong {

namespace {

constexpr std::array<const char*, 8> kRequestMethods = {"GET", "POST", "HEAD", "PUT", "OPTIONS", "DELETE", "TRACE",
                                                        "CONNECT"};

void setHeaderLine(WebRequestObject& request, const Text& line)
{
    const Text name = headerName(line);
    if (name.empty())
        return;   // a line without a name can not be a header
    request.setRequestHeader(name, headerValue(line));
}

// The cookies a response sets, as "a=1; b=2": the first name=value of each Set-Cookie line.
Text extractReturnedCookies(const Text& returnedHeaders)
{
    Text cookies;
    for (const Text& line : splitText(returnedHeaders, "\r\n")) {
        if (textLeftOf(line, ": ") != "Set-Cookie")
            continue;
        Text piece;
        if (!containsText(line, ";"))
            piece = trimBlanks(replaceAll(line, "Set-Cookie:", "", true));
        else
            piece = trimBlanks(textBetweenMarks(line, "Set-Cookie:", ";"));
        cookies += piece + "; ";
    }
    if (cookies.size() >= 2 && cookies.compare(cookies.size() - 2, 2, "; ") == 0)
        cookies.erase(cookies.size() - 2);
    return cookies;
}

} // namespace

Bytes WebRequest(WebRequestParams& p)
{
    const bool mergeReturned = p.mergeReturnedCookies.value_or(true);
    const bool complete = p.completeHeaders.value_or(true);
    const bool normalise = p.normaliseHeaders.value_or(true);

    const int method = (p.method < 0 || p.method > 7) ? 0 : p.method;
    const Text methodText = kRequestMethods[static_cast<std::size_t>(method)];

    std::unique_ptr<WebRequestObject> own;
    WebRequestObject* request = p.sharedRequest;
    if (request == nullptr) {
        own = std::make_unique<WebRequestObject>();
        request = own.get();
    }

    if (p.timeoutSeconds != -1) {
        const int ms = p.timeoutSeconds >= 1 ? (p.timeoutSeconds > 2000000 ? 2000000000 : p.timeoutSeconds * 1000) : 15000;
        request->setTimeouts(ms, ms, ms, ms);
    }
    request->setProxy(p.proxy.empty() ? WebRequestObject::kProxyDefault : WebRequestObject::kProxyNamed, p.proxy);
    request->open(methodText, p.url);
    if (p.noRedirect)
        request->setOption(WebRequestObject::kOptionEnableRedirects, 0);
    request->setOption(WebRequestObject::kOptionSslErrorIgnoreFlags, 0x3300);

    if (complete) {
        if (!containsText(p.headers, "Accept:", true))
            p.headers += "\r\nAccept: */*";
        if (!containsText(p.headers, "Referer:", true))
            p.headers += "\r\nReferer: " + p.url;
        if (!containsText(p.headers, "Accept-Language:", true))
            p.headers += "\r\nAccept-Language: zh-cn";
        if (!containsText(p.headers, "User-Agent:", true))
            p.headers += "\r\nUser-Agent: Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1)";
        if (method == 1 && !containsText(p.headers, "Content-Type:", true))
            p.headers += "\r\nContent-Type: application/x-www-form-urlencoded";
    }
    if (normalise)
        p.headers = normaliseHeaderCase(p.headers);

    // Proxy credentials go to the proxy only: as the proxy's Basic credentials, never as a
    // header that would also reach the server behind it.
    if (!p.proxy.empty() && !p.proxyUser.empty() && p.proxyMode.value_or(1) == 1)
        request->setProxyCredentials(p.proxyUser, p.proxyPassword);

    if (p.cookies) {
        if (!p.cookies->empty() && containsText(*p.cookies, "Cookie:", true))
            p.cookies = replaceAll(*p.cookies, "Cookie:", "", true);
        request->setRequestHeader("Cookie", *p.cookies);
    }

    if (!containsText(p.headers, "\r\n")) {
        setHeaderLine(*request, p.headers);
    } else {
        for (const Text& line : splitText(p.headers, "\r\n")) {
            if (line.empty())
                continue;
            if (headerName(line) == "Connection" && headerValue(line) == "keep-alive")
                continue;
            setHeaderLine(*request, line);
        }
    }

    request->send(!p.postBytes.empty() ? p.postBytes : toBytes(p.postText));
    Bytes body = request->responseBody();
    p.returnedHeaders = request->allResponseHeaders();
    p.statusCode = request->status();

    p.returnedCookies = extractReturnedCookies(p.returnedHeaders);
    if (mergeReturned && p.cookies) {
        const Text merged = mergeCookieTexts(*p.cookies, p.returnedCookies);
        p.returnedCookies = merged;
    }
    return body;
}

} // namespace qingtong
