#include "monitor/MonitorController.h"

#include <atomic>
#include <condition_variable>
#include <map>
#include <mutex>
#include <sys/stat.h>
#include <thread>
#include <vector>

#include "monitor/FileSizeText.h"
#include "monitor/MonitorTexts.h"
#include "monitor/Queries.h"
#include "monitor/Recording.h"
#include "platform/codePage.h"
#include "platform/net/CancelScope.h"
#include "platform/net/HttpSession.h"
#include "platform/textRoutines.h"

namespace qingtong {

namespace {

// One run of the monitor loop, from a start to its stop (or its last sweep).
struct MonitorRun {
    std::atomic<bool> stop{false};
    std::atomic<bool> done{false};
};

// One running recording. Its stop flag is its own: stopping one never touches another.
struct RecordingEntry {
    RowId row = 0;
    std::uint32_t number = 0;   // shown in cell 9 and used as the download identity
    std::atomic<bool> stop{false};
    std::thread thread;
};

} // namespace

struct MonitorController::Impl {
    AppContext& context;
    MonitorOptions options;

    mutable std::mutex mutex;
    std::condition_variable changed;   // monitor runs ended, recordings ended, stops
    std::shared_ptr<MonitorRun> run;   // the latest run, null before the first start
    std::vector<std::thread> threads;  // monitor threads, joined at shutdown or when ended
    std::vector<std::shared_ptr<MonitorRun>> threadRuns;  // the run of each monitor thread
    std::map<std::uint32_t, std::shared_ptr<RecordingEntry>> recordings;
    std::vector<std::thread> finished; // recording threads that have ended, to be joined
    std::uint32_t nextNumber = 1;

    Impl(AppContext& c, MonitorOptions o) : context(c), options(o) {}

    // Waits `pause` or until the run is stopped; false when stopped.
    bool pauseFor(const std::shared_ptr<MonitorRun>& r, std::chrono::milliseconds pause)
    {
        std::unique_lock lock(mutex);
        changed.wait_for(lock, pause, [&] { return r->stop.load(); });
        return !r->stop.load();
    }

    // Writes into a row only while the run is not stopped; the check runs under the
    // table's lock, so once a stop has been seen by the table no write of this run follows.
    bool writeRow(const std::shared_ptr<MonitorRun>& r, RowId id, const std::function<void(MonitorRow&)>& edit)
    {
        bool written = false;
        context.list.updateById(id, [&](MonitorRow& row) {
            if (r->stop.load())
                return;
            edit(row);
            written = true;
        });
        return written;
    }

    // A stopped run may still be inside a service exchange when a new run starts; it writes
    // nothing and starts nothing after the stop, so only one run ever acts on the table.
    void monitorLoop(const std::shared_ptr<MonitorRun>& r)
    {
        // A stop abandons the exchange under way within about a second.
        const net::CancelScope cancel(r->stop);
        for (int sweep = 0; !r->stop.load() && (options.maxSweeps < 0 || sweep < options.maxSweeps); ++sweep) {
            const std::vector<RowId> ids = context.list.ids();
            for (RowId id : ids) {
                if (r->stop.load())
                    break;
                visitRow(r, id);
                if (!pauseFor(r, options.rowPause))
                    break;
            }
            const bool last = options.maxSweeps >= 0 && sweep + 1 >= options.maxSweeps;
            if (last || !pauseFor(r, options.sweepPause))
                break;
        }
        std::lock_guard lock(mutex);
        r->done = true;
        changed.notify_all();
    }

    void visitRow(const std::shared_ptr<MonitorRun>& r, RowId id)
    {
        const std::optional<Text> userId = context.list.cellById(id, CellUserId);
        if (!userId)
            return;
        Text room;
        const bool live = queryLiveStatus(*userId, room);
        if (r->stop.load())
            return;
        if (!live) {
            writeRow(r, id, [&](MonitorRow& row) { row[CellLiveState] = monitortext::kNotLive; });
            return;
        }

        Text downloadState;
        Text filePath;
        if (!writeRow(r, id, [&](MonitorRow& row) {
                downloadState = row[CellDownload];
                filePath = row[CellFilePath];
                row[CellLiveState] = monitortext::kLiveNow;
                row[CellRoom] = room;
            }))
            return;

        if (downloadState == monitortext::kDownloading) {
            const Text size = fileSizeText(filePath, true);
            writeRow(r, id, [&](MonitorRow& row) { row[CellFileSize] = size; });
            return;
        }

        Text address;
        UserInfo owner;
        const bool found = queryRoomInfo(room, address, owner);
        if (r->stop.load())
            return;
        if (!found) {
            writeRow(r, id, [&](MonitorRow& row) { row[CellStream] = monitortext::kFetchFailed; });
            return;
        }
        startRecording(r, id, address);
    }

    void startRecording(const std::shared_ptr<MonitorRun>& r, RowId id, const Text& address)
    {
        std::shared_ptr<RecordingEntry> entry;
        {
            // Registered before the row is marked: a stop from now on reaches this recording.
            std::lock_guard lock(mutex);
            if (r->stop.load())
                return;
            entry = std::make_shared<RecordingEntry>();
            entry->row = id;
            entry->number = nextNumber++;
            if (nextNumber == 0)
                nextNumber = 1;
            recordings[entry->number] = entry;
        }

        // The row is marked before the thread starts, so the recording's end text always
        // comes after the marks and is never overwritten by them.
        bool marked = false;
        writeRow(r, id, [&](MonitorRow& row) {
            if (row[CellDownload] == monitortext::kDownloading)
                return;
            row[CellStream] = address;
            row[CellDownload] = monitortext::kDownloading;
            row[CellFileSize] = monitortext::kInitialSize;
            row[CellThread] = numberText(entry->number);
            marked = true;
        });
        if (!marked) {
            std::lock_guard lock(mutex);
            recordings.erase(entry->number);
            return;
        }

        try {
            std::lock_guard lock(mutex);
            entry->thread = std::thread([this, entry] { recordingBody(entry); });
        } catch (...) {
            {
                std::lock_guard lock(mutex);
                recordings.erase(entry->number);
            }
            context.list.updateById(id, [&](MonitorRow& row) {
                row[CellDownload] = monitortext::kThreadFailed;
                row[CellThread].clear();
            });
        }
    }

    void recordingBody(const std::shared_ptr<RecordingEntry>& entry)
    {
        RecordingParams params;
        params.identity = entry->number;
        params.stopCheck = [entry](std::uint64_t) { return !entry->stop.load(); };
        params.download.stallTimeout = options.stallTimeout;
        params.download.strictTls = net::strictTls();
        recordStream(context, entry->row, params);

        std::lock_guard lock(mutex);
        // The thread object is taken over before this thread ends; someone else joins it.
        finished.push_back(std::move(entry->thread));
        recordings.erase(entry->number);
        changed.notify_all();
    }

    // Joins recording threads that have ended and monitor threads whose run is done.
    void reap()
    {
        std::vector<std::thread> toJoin;
        {
            std::lock_guard lock(mutex);
            toJoin.swap(finished);
            for (std::size_t i = 0; i < threads.size();) {
                if (threadRuns[i]->done.load()) {
                    toJoin.push_back(std::move(threads[i]));
                    threads.erase(threads.begin() + static_cast<std::ptrdiff_t>(i));
                    threadRuns.erase(threadRuns.begin() + static_cast<std::ptrdiff_t>(i));
                } else {
                    ++i;
                }
            }
        }
        for (std::thread& t : toJoin) {
            if (t.joinable())
                t.join();
        }
    }

    void stopEverything()
    {
        {
            std::lock_guard lock(mutex);
            if (run)
                run->stop = true;
            for (auto& [number, entry] : recordings)
                entry->stop = true;
            changed.notify_all();
        }
        // Takes the table's lock once: a write of the monitor that was under way has ended,
        // and every later one sees the stop.
        (void)context.list.rowCount();
    }

    void waitIdle()
    {
        {
            std::unique_lock lock(mutex);
            changed.wait(lock, [&] {
                return (!run || run->done.load() || run->stop.load()) && recordings.empty();
            });
        }
        reap();
    }
};

MonitorController::MonitorController(AppContext& context, MonitorOptions options)
    : m_impl(std::make_shared<Impl>(context, options))
{
}

MonitorController::~MonitorController()
{
    shutdown();
}

StartResult MonitorController::startMonitoring()
{
    Impl& d = *m_impl;
    d.reap();
    if (d.context.list.rowCount() == 0) {
        d.context.setStatus(monitortext::kStatusEmptyList);
        return StartResult::EmptyList;
    }
    {
        std::lock_guard lock(d.mutex);
        if (d.run && !d.run->stop.load() && !d.run->done.load())
            return StartResult::AlreadyRunning;
        auto fresh = std::make_shared<MonitorRun>();
        try {
            // The thread shares the state: if it is still inside an exchange when we go away,
            // it finishes that on its own and ends without touching the table.
            d.threads.emplace_back([self = m_impl, fresh] { self->monitorLoop(fresh); });
        } catch (...) {
            d.context.setStatus(monitortext::kStatusStartFailed);
            return StartResult::Failed;
        }
        d.threadRuns.push_back(fresh);
        d.run = fresh;
    }
    d.context.setStatus(monitortext::kStatusMonitoring);
    return StartResult::Started;
}

bool MonitorController::stopMonitoring()
{
    m_impl->stopEverything();
    m_impl->context.setStatus(monitortext::kStatusStopped);
    return true;
}

bool MonitorController::isMonitoring() const
{
    std::lock_guard lock(m_impl->mutex);
    return m_impl->run && !m_impl->run->stop.load() && !m_impl->run->done.load();
}

StopDownloadResult MonitorController::stopDownload(RowId id)
{
    Impl& d = *m_impl;
    const std::optional<Text> state = d.context.list.cellById(id, CellDownload);
    if (!state || *state != monitortext::kDownloading)
        return StopDownloadResult::NotRecording;
    std::lock_guard lock(d.mutex);
    bool found = false;
    for (auto& [number, entry] : d.recordings) {
        if (entry->row == id) {
            entry->stop = true;
            found = true;
        }
    }
    if (found)
        d.changed.notify_all();
    return found ? StopDownloadResult::Requested : StopDownloadResult::NotRecording;
}

bool MonitorController::deleteRow(RowId id)
{
    Impl& d = *m_impl;
    {
        std::lock_guard lock(d.mutex);
        for (auto& [number, entry] : d.recordings) {
            if (entry->row == id)
                entry->stop = true;
        }
    }
    if (!d.context.list.deleteRowById(id))
        return false;
    d.context.list.renumberRows();
    saveMonitorList(d.context);
    return true;
}

Text MonitorController::streamAddress(RowId id) const
{
    return m_impl->context.list.cellById(id, CellStream).value_or(Text());
}

Text MonitorController::locateFilePath(RowId id) const
{
    const Text path = m_impl->context.list.cellById(id, CellFilePath).value_or(Text());
    if (path.empty())
        return {};
    struct stat st {};
    if (::stat(ansiToUtf8(path).c_str(), &st) != 0)
        return {};
    return path;
}

int MonitorController::runningRecordings() const
{
    std::lock_guard lock(m_impl->mutex);
    return static_cast<int>(m_impl->recordings.size());
}

void MonitorController::waitUntilIdle()
{
    m_impl->waitIdle();
}

void MonitorController::shutdown()
{
    Impl& d = *m_impl;
    d.stopEverything();
    d.waitIdle();
    std::vector<std::thread> rest;
    std::vector<std::shared_ptr<MonitorRun>> runs;
    {
        std::unique_lock lock(d.mutex);
        d.changed.wait_for(lock, d.options.shutdownGrace, [&] {
            for (const auto& r : d.threadRuns) {
                if (!r->done.load())
                    return false;
            }
            return true;
        });
        rest.swap(d.threads);
        runs.swap(d.threadRuns);
    }
    for (std::size_t i = 0; i < rest.size(); ++i) {
        if (!rest[i].joinable())
            continue;
        if (runs[i]->done.load())
            rest[i].join();
        else
            rest[i].detach();  // stopped, still waiting for its exchange's time-out
    }
    d.reap();
}

} // namespace qingtong
