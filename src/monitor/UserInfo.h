#pragma once

#include "platform/Text.h"

namespace qingtong {

// A user of the service as the queries learn it.
struct UserInfo {
    Text nickname;
    Text displayId;  // public account number: display id, or short id when that is empty
    Text userId;     // numeric user id
};

} // namespace qingtong
