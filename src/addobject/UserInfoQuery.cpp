#include "addobject/AddObject.h"
#include "app/Settings.h"
#include "httpclient/HttpClient.h"
#include "json/JsonDocument.h"
#include "monitor/Queries.h"

namespace qingtong {

namespace {
constexpr const char* kBrowserUserAgent =
    "Mozilla/5.0 (Windows NT 10.0; Win64; x64) AppleWebKit/537.36 (KHTML, like Gecko) "
    "Chrome/97.0.4692.71 Safari/537.36";
}

bool queryUserInfo(const Text& secUid, UserInfo& info)
{
    JsonDocument doc;
    doc.create();
    {
        HttpClient http;
        applyQueryTimeouts(http);
        // The key goes in unchanged: it is the service's own opaque text.
        http.open("GET", "https://" + serviceConfig().webApiHost + "/web/api/v2/user/info/?sec_uid=" + secUid);
        http.setUserAgent(kBrowserUserAgent);
        http.send();
        doc.parse(http.responseText());
    }
    if (doc.getText("status_code") != "0")
        return false;
    info.nickname = doc.getText("user_info.nickname");
    info.userId = doc.getText("user_info.uid");
    info.displayId = doc.getText("user_info.unique_id");
    if (info.displayId.empty())
        info.displayId = doc.getText("user_info.short_id");
    return true;
}

} // namespace qingtong
