#include "addobject/AddObject.h"
#include "app/Settings.h"
#include "httpclient/HttpClient.h"
#include "monitor/Queries.h"
#include "platform/textRoutines.h"

namespace qingtong {

namespace {

constexpr const char* kBrowserUserAgent =
    "Mozilla/5.0 (Windows NT 10.0; Win64; x64) AppleWebKit/537.36 (KHTML, like Gecko) "
    "Chrome/97.0.4692.71 Safari/537.36";

// Bytes that end an address standing in a text: blanks, controls and anything not ASCII
// (which includes both bytes of the ideographic space).
bool endsAddress(unsigned char c)
{
    return c <= 0x20 || c >= 0x7F;
}

// The user key or room id between `left` and the next "?" of a redirect target.
bool resolveShortLink(const Text& address, UserInfo& info)
{
    Text target;
    {
        HttpClient http;
        applyQueryTimeouts(http);
        http.allowRedirects(false);
        http.open("GET", address);
        http.setUserAgent(kBrowserUserAgent);
        http.send();
        target = http.redirectLocation();
    }
    if (containsText(target, "share/user"))
        return queryUserInfo(textBetweenMarks(target, "share/user/", "?"), info);
    if (containsText(target, "webcast/reflow")) {
        Text streamAddress;  // only the owner is wanted here
        return queryRoomInfo(textBetweenMarks(target, "webcast/reflow/", "?"), streamAddress, info);
    }
    return false;
}

} // namespace

Text shortLinkAddress(const Text& line, const Text& shortLinkHost)
{
    const std::size_t hostPos = shortLinkHost.empty() ? Text::npos : findText(line, shortLinkHost);
    if (hostPos == Text::npos)
        return line;
    // The address may only start inside the unbroken stretch of URL bytes that holds the host.
    // Walked by characters, so a trail byte of a double-byte character never counts as ASCII.
    std::size_t stretchStart = 0;
    for (std::size_t pos = 0; pos < hostPos;) {
        const std::size_t len = charLengthAt(line, pos);
        pos += len;
        if (len > 1 || endsAddress(static_cast<unsigned char>(line[pos - 1])))
            stretchStart = pos;
    }
    std::size_t begin = Text::npos;
    const Text before = asciiLower(line.substr(stretchStart, hostPos - stretchStart));
    for (const char* scheme : {"http://", "https://"}) {
        const std::size_t at = before.rfind(scheme);
        if (at != Text::npos && (begin == Text::npos || at > begin))
            begin = at;
    }
    if (begin == Text::npos)
        return line;
    begin += stretchStart;
    std::size_t end = hostPos + shortLinkHost.size();
    while (end < line.size() && !endsAddress(static_cast<unsigned char>(line[end])))
        ++end;
    return line.substr(begin, end - begin);
}

bool resolveLine(Text& line, UserInfo& info)
{
    line = trimBlanks(line);
    const ServiceConfig config = serviceConfig();

    if (!config.shortLinkHost.empty() && containsText(line, config.shortLinkHost))
        return resolveShortLink(shortLinkAddress(line, config.shortLinkHost), info);

    if (!config.webDomain.empty() && containsText(line, config.webDomain + "/user")) {
        Text key = textRightOfLast(line, "user/");
        if (containsText(key, "?"))
            key = textLeftOf(key, "?");
        return queryUserInfo(key, info);
    }

    return translateShareCode(line, info);
}

} // namespace qingtong
