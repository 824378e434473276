#pragma once

#include <cstdint>

#include "platform/Text.h"

namespace qingtong {

// Short byte-size text: "512 B", "1.30 KB", "22.9 KB", "150 MB", "2.23 GB". Three significant
// digits, cut off rather than rounded (so a size never reads larger than it is); units of
// 1024. Negative sizes read as 0.
Text formatByteSize(std::int64_t bytes);

} // namespace qingtong
