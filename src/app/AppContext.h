#pragma once

#include <condition_variable>
#include <mutex>

#include "app/MonitorList.h"
#include "app/Settings.h"
#include "app/StatusSink.h"
#include "platform/Text.h"

namespace qingtong {

// What one running program holds: its run directory, the table and the settings.
// The GUI and the headless program each make one; tests make as many as they like.
struct AppContext {
    Text runDirectory;             // GBK, no trailing separator
    MonitorList list;
    Settings settings;
    StatusSink* status = nullptr;  // may be null

    void setStatus(const Text& text) const
    {
        if (status)
            status->setStatus(text);
    }

    // While startupLoad fills the table (on a thread of its own in the window), the table
    // holds only part of userList.txt; saving it then would drop the rest from the file.
    void beginLoad();
    void endLoad();
    void waitUntilLoaded();  // returns at once when no load is under way

    // userList.txt existed at start but could not be read: the table does not hold it, so the
    // next save moves that file aside instead of replacing it.
    void setListUnreadable(bool unreadable);
    bool listUnreadable() const;

private:
    mutable std::mutex m_loadMutex;
    std::condition_variable m_loadEnded;
    bool m_loading = false;
    bool m_listUnreadable = false;
};

// Loads Config.ini (softSet) and userList.txt into the context; status texts as it goes.
void startupLoad(AppContext& context);
// Writes userList.txt atomically from cells 1..3 of every row; waits for a start-up load
// under way to end first.
void saveMonitorList(AppContext& context);
// Reads section "service" of Config.ini in the run directory (defaults for missing keys).
ServiceConfig loadServiceConfig(const Text& runDirectory);

} // namespace qingtong
