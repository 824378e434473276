#pragma once

#include <optional>

#include "platform/Text.h"
#include "webrequest/WebRequestObject.h"

namespace qingtong {

// Parameters of one WebRequest call. Inputs are read; the outputs (and the in-out
// `cookies` and `headers`) are written by the call. For the std::optional ones it matters
// whether they are given at all.
struct WebRequestParams {
    Text url;                          // full address, scheme included
    int method = 0;                    // 0 GET, 1 POST, 2 HEAD, 3 PUT, 4 OPTIONS, 5 DELETE, 6 TRACE, 7 CONNECT
    Text postText;                     // body as text, used when postBytes is empty
    std::optional<Text> cookies;       // in-out: "a=1; b=2" to send; absent: no Cookie header, no merge
    Text returnedCookies;              // out: cookies the response set
    Text headers;                      // in-out: extra header lines "Name: value" separated by CR LF
    Text returnedHeaders;              // out: the response's header lines
    int statusCode = 0;                // out
    bool noRedirect = false;           // true: redirects are not followed
    Bytes postBytes;                   // body as bytes, wins over postText when not empty
    Text proxy;                        // "host:port"; empty: no proxy
    int timeoutSeconds = 0;            // 1 or more: that many seconds; -1: the object's own; else 15 s
    Text proxyUser;
    Text proxyPassword;
    std::optional<int> proxyMode;      // 1 (also when absent): send the proxy credentials as Basic
    WebRequestObject* sharedRequest = nullptr;   // null: a new object for this call
    std::optional<bool> mergeReturnedCookies;    // absent: true
    std::optional<bool> completeHeaders;         // absent: true
    std::optional<bool> normaliseHeaders;        // absent: true
};

// Performs one HTTP or HTTPS request and returns the response body (empty on failure,
// then returnedHeaders is "", statusCode 0 and returnedCookies "").
Bytes WebRequest(WebRequestParams& params);

} // namespace qingtong
