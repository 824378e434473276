#include "gui/PromoPicture.h"

#include <cstdio>

#include "platform/codePage.h"
#include "platform/textRoutines.h"
#include "webrequest/WebRequest.h"

namespace qingtong {

namespace {

const Text kUserAgent =
    "User-Agent: Mozilla/5.0 (iPhone; CPU iPhone OS 11_0 like Mac OS X) AppleWebKit/604.1.38 "
    "(KHTML, like Gecko) Version/11.0 Mobile/15A372 Safari/604.1";

bool isUnreserved(unsigned char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.'
        || c == '_' || c == '~';
}

} // namespace

Text promoPictureName(const Text& documentBody)
{
    // The marks are GBK text, so the document is compared in GBK too.
    const Text text = utf8ToAnsi(documentBody);
    return textBetween(text, utf8ToAnsi("二维码"), utf8ToAnsi("码维二"));
}

Text promoPictureUrl(const Text& pictureHost, const Text& name)
{
    const Text utf8 = ansiToUtf8(name);
    Text encoded;
    encoded.reserve(utf8.size());
    for (const char ch : utf8) {
        const auto c = static_cast<unsigned char>(ch);
        if (isUnreserved(c)) {
            encoded += ch;
        } else {
            char hex[4];
            std::snprintf(hex, sizeof hex, "%%%02X", c);
            encoded += hex;
        }
    }
    return "https://" + pictureHost + "/item/" + encoded + ".jpg";
}

Bytes fetchBody(const Text& url)
{
    WebRequestParams params;
    params.url = url;
    params.headers = kUserAgent;
    return WebRequest(params);
}

Text fetchPromoPictureName(const Text& documentUrl)
{
    if (documentUrl.empty())
        return {};
    return promoPictureName(toText(fetchBody(documentUrl)));
}

} // namespace qingtong
