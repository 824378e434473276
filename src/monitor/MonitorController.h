#pragma once

#include <chrono>
#include <memory>

#include "app/AppContext.h"
#include "platform/Text.h"

namespace qingtong {

// Pacing and limits of monitoring; the defaults are the product's, tests shorten them.
struct MonitorOptions {
    std::chrono::milliseconds rowPause{500};
    std::chrono::milliseconds sweepPause{5000};
    std::chrono::seconds stallTimeout{60};   // a stream silent this long ends its recording
    int maxSweeps = -1;                       // -1: until stopped
    // How long shutdown waits for a stopped monitor still inside a service exchange; after
    // that the exchange is left to finish on its own (it writes nothing more).
    std::chrono::milliseconds shutdownGrace{2000};
};

enum class StartResult { Started, EmptyList, AlreadyRunning, Failed };
enum class StopDownloadResult { Requested, NotRecording };

// The monitoring commands as core operations, shared by the window and the terminal.
// Owns the monitor thread and every recording thread; no thread is ever killed: each
// observes a stop token, so stops take effect within about a second.
// All methods may be called from any thread.
class MonitorController {
public:
    explicit MonitorController(AppContext& context, MonitorOptions options = {});
    ~MonitorController();  // stops everything and joins
    MonitorController(const MonitorController&) = delete;
    MonitorController& operator=(const MonitorController&) = delete;

    StartResult startMonitoring();   // writes the status text for each outcome
    bool stopMonitoring();           // stops the monitor and every recording ("下载终止")
    bool isMonitoring() const;

    StopDownloadResult stopDownload(RowId id);  // only that row's recording
    bool deleteRow(RowId id);        // stops its recording, deletes, renumbers, saves
    Text streamAddress(RowId id) const;         // cell 6 ("" when none)
    Text locateFilePath(RowId id) const;        // cell 10 when that file exists, else ""

    int runningRecordings() const;
    // Blocks until the monitor has ended (maxSweeps) or been stopped, and every recording
    // has ended.
    void waitUntilIdle();
    // Ends the process's work promptly: stops all, waits for every recording to write its
    // end text (about a second), and for the monitor at most shutdownGrace.
    void shutdown();

private:
    struct Impl;
    std::shared_ptr<Impl> m_impl;  // shared with the monitor threads, which may outlive us
};

} // namespace qingtong
