#pragma once

#include "platform/Text.h"

namespace qingtong {

// Where status texts ("当前状态 -> ...") go: the main window's status bar, or the terminal.
// Implementations must accept calls from any thread.
class StatusSink {
public:
    virtual ~StatusSink() = default;
    virtual void setStatus(const Text& text) = 0;
};

} // namespace qingtong
