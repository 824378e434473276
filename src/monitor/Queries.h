#pragma once

#include "monitor/UserInfo.h"
#include "platform/Text.h"

namespace qingtong {

// Asks the webcast API whether the user is live. roomId is always overwritten
// (the room id when the result is true, "" otherwise). Hosts come from serviceConfig().
bool queryLiveStatus(const Text& userId, Text& roomId);

// Fetches a live room's stream pull address and its owner. streamAddress is always
// overwritten; info is written only when the service answered status code "0".
bool queryRoomInfo(const Text& roomId, Text& streamAddress, UserInfo& info);

// Time-outs of the exchanges the service queries make (these two and the add-object
// queries). Unset values leave the HTTP client's and the web request's own defaults
// (10 s resolve, 15 s connect, 120 s send, 300 s receive; 15 s for the web request).
// Process-wide; tests shorten them so a silent service can not hold a test for minutes.
struct QueryTimeouts {
    int resolveMs = 0;       // 0: the default
    int connectMs = 0;
    int sendMs = 0;
    int receiveMs = 0;
    int webRequestSeconds = 0;
};
void setQueryTimeouts(const QueryTimeouts& timeouts);
QueryTimeouts queryTimeouts();

class HttpClient;
// Gives a query's HttpClient the time-outs above (nothing when none is set).
void applyQueryTimeouts(HttpClient& http);

} // namespace qingtong
