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

} // namespace qingtong
