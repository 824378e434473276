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

} // namespace qingtong
