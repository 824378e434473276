#include "addobject/AddObject.h"
#include "app/Settings.h"
#include "httpclient/HttpClient.h"
#include "json/JsonDocument.h"
#include "monitor/Queries.h"
#include "platform/codePage.h"
#include "platform/textRoutines.h"

namespace qingtong {

namespace {

constexpr std::size_t kShareCodeLength = 11;

bool isAsciiAlnum(unsigned char c)
{
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

} // namespace

// The first run of 11 ASCII letters or digits, scanned character by character: both bytes
// of a double-byte character break a run, even when the second one equals a letter or digit.
Text findShareCode(const Text& text)
{
    std::size_t runStart = 0;
    std::size_t runLength = 0;
    for (std::size_t pos = 0; pos < text.size();) {
        const std::size_t len = charLengthAt(text, pos);
        if (len == 1 && isAsciiAlnum(static_cast<unsigned char>(text[pos]))) {
            if (runLength == 0)
                runStart = pos;
            if (++runLength == kShareCodeLength)
                return text.substr(runStart, kShareCodeLength);
        } else {
            runLength = 0;
        }
        pos += len;
    }
    return {};
}

Text urlEncode(const Text& text, bool keepUnreserved, bool viaUtf8)
{
    if (text.empty())
        return {};
    const Text bytes = viaUtf8 ? ansiToUtf8(text) : text;
    static const char kHex[] = "0123456789ABCDEF";
    Text out;
    out.reserve(bytes.size() * 3);
    for (unsigned char c : bytes) {
        if (keepUnreserved && (isAsciiAlnum(c) || c == '-' || c == '.')) {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 0x0F];
        }
    }
    return out;
}

bool translateShareCode(const Text& line, UserInfo& info)
{
    const Text encoded = urlEncode(findShareCode(line), true, true);
    if (encoded.empty())
        return false;

    JsonDocument doc;
    doc.create();
    {
        HttpClient http;
        applyQueryTimeouts(http);
        http.open("GET", "https://" + serviceConfig().appApiHost
                             + "/aweme/v2/platform/share/command/trans/?command=" + encoded);
        http.setUserAgent("okhttp/3.10.0.1");
        http.send();
        doc.parse(http.responseText());
    }
    if (doc.getText("status_code") != "0")
        return false;
    const Text schema = doc.getText("schema");
    if (!containsText(schema, "sec_uid"))
        return false;
    // Everything after the last "sec_uid=": further parameters stay attached and reach the
    // user query as parameters of its own address.
    return queryUserInfo(textRightOfLast(schema, "sec_uid="), info);
}

} // namespace qingtong
