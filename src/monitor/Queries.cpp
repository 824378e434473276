#include "monitor/Queries.h"

#include <mutex>
#include <optional>

#include "app/Settings.h"
#include "httpclient/HttpClient.h"
#include "json/JsonDocument.h"
#include "platform/codePage.h"
#include "webrequest/WebRequest.h"

namespace qingtong {
namespace {

constexpr const char* kAppUserAgent = "okhttp/3.12.1";

std::mutex g_timeoutsMutex;
QueryTimeouts g_timeouts;

} // namespace

void setQueryTimeouts(const QueryTimeouts& timeouts)
{
    std::lock_guard lock(g_timeoutsMutex);
    g_timeouts = timeouts;
}

QueryTimeouts queryTimeouts()
{
    std::lock_guard lock(g_timeoutsMutex);
    return g_timeouts;
}

void applyQueryTimeouts(HttpClient& http)
{
    const QueryTimeouts t = queryTimeouts();
    if (t.resolveMs <= 0 && t.connectMs <= 0 && t.sendMs <= 0 && t.receiveMs <= 0)
        return;
    auto given = [](int ms) { return ms > 0 ? std::optional<int>(ms) : std::nullopt; };
    http.setTimeouts(given(t.resolveMs), given(t.connectMs), given(t.sendMs), given(t.receiveMs));
}

bool queryLiveStatus(const Text& userId, Text& roomId)
{
    roomId.clear();
    JsonDocument doc;
    doc.create();
    {
        HttpClient http;
        applyQueryTimeouts(http);
        // The user id goes into the form unchanged: it is the numeric id the service gave us.
        http.open("POST", "https://" + serviceConfig().webcastHost
                              + "/webcast/distribution/check_user_live_status/?aid=1128");
        http.setUserAgent(kAppUserAgent);
        http.send("user_ids=" + userId + "&distribution_scenes=1");
        doc.parse(http.responseText());
    }
    if (doc.getText("status_code") != "0")
        return false;
    if (doc.getText("data[0].user_live[0].live_status") != "1")
        return false;
    roomId = doc.getText("data[0].user_live.[0].room_id");
    return true;
}

bool queryRoomInfo(const Text& roomId, Text& streamAddress, UserInfo& info)
{
    streamAddress.clear();
    JsonDocument doc;
    doc.create();

    WebRequestParams params;
    params.url = "https://" + serviceConfig().webcastHost + "/webcast/room/reflow/info/?type_id=0&live_id=1&room_id="
                 + roomId + "&sec_user_id=&app_id=1128";
    params.headers = Text("User-Agent: ") + kAppUserAgent;
    const int seconds = queryTimeouts().webRequestSeconds;
    if (seconds > 0)
        params.timeoutSeconds = seconds;
    doc.parse(utf8ToAnsi(toText(WebRequest(params))));

    if (doc.getText("status_code") != "0")
        return false;
    streamAddress = doc.getText("data.room.stream_url.rtmp_pull_url");
    info.nickname = doc.getText("data.room.owner.nickname");
    info.userId = doc.getText("data.room.owner.id");
    info.displayId = doc.getText("data.room.owner.display_id");
    if (info.displayId.empty())
        info.displayId = doc.getText("data.room.owner.short_id");
    return !streamAddress.empty();
}

} // namespace qingtong
