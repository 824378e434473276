#pragma once

#include "app/AppContext.h"
#include "monitor/UserInfo.h"
#include "platform/Text.h"

namespace qingtong {

// What the add batch needs of its window (the add window, or the terminal).
// Called from the batch's own thread.
class AddView {
public:
    virtual ~AddView() = default;
    virtual Text inputText() = 0;
    virtual void setButtonEnabled(bool enabled) = 0;
    virtual void setLabel(const Text& text) = 0;
    virtual void setStatus(const Text& text) = 0;
};

struct BatchCounts {
    int success = 0;
    int failure = 0;
};

// Resolves every line of the view's input and writes one row per user (updating a row
// whose user id is already listed). Saves userList.txt after the batch.
BatchCounts addObjectBatch(AppContext& context, AddView& view);

bool resolveLine(Text& line, UserInfo& info);
bool queryUserInfo(const Text& secUid, UserInfo& info);
bool translateShareCode(const Text& line, UserInfo& info);
Text findShareCode(const Text& text);
Text urlEncode(const Text& text, bool keepUnreserved = false, bool viaUtf8 = false);

// The address to request for a line that holds the short-link host: the link itself when
// one stands in the line (from the last "http://" or "https://" before the host to the first
// blank, tab, control or non-ASCII byte after it), else the whole line. Share messages of
// the app hold the link among other text, which as a whole can never be requested.
Text shortLinkAddress(const Text& line, const Text& shortLinkHost);

} // namespace qingtong
