// qingtong-cli monitor: runs the monitor loop and the recordings in the terminal and shows
// every change of the table as one line.

#include <atomic>
#include <csignal>
#include <ctime>
#include <map>
#include <mutex>
#include <ostream>
#include <pthread.h>
#include <string>
#include <thread>
#include <utility>

#include "app/AppContext.h"
#include "app/Persistence.h"
#include "cli/Cli.h"
#include "monitor/MonitorController.h"
#include "cli/Terminal.h"

namespace qingtong::cli {

namespace {

const char* const kHelp =
    "usage: qingtong-cli [--dir DIR] monitor [options]\n"
    "Watches every user of the list, records each live stream into the download folder and\n"
    "prints one line per change of the table. Ctrl-C, SIGTERM or SIGHUP stops monitoring and every\n"
    "recording (\"下载终止\"), saves the list and exits.\n"
    "options:\n"
    "  --sweeps N          end after N sweeps over the list, then wait for the running\n"
    "                      recordings to end by themselves (default: until stopped)\n"
    "  --row-pause-ms MS   pause after each row (default 500)\n"
    "  --sweep-pause-ms MS pause after each sweep (default 5000)\n"
    "  --stall-seconds S   a stream silent this long ends its recording with \"下载失败\"\n"
    "                      (default 60)\n"
    "  -h, --help          this text\n";

// Column headers of the visible run-state cells, in UTF-8 for the terminal.
const char* cellHeader(int cell)
{
    switch (cell) {
    case CellLiveState: return "直播状态";
    case CellRoom: return "直播房间";
    case CellStream: return "直播源";
    case CellDownload: return "下载状态";
    case CellFileSize: return "文件尺寸";
    case CellThread: return "下载线程";
    case CellFilePath: return "文件路径";
    default: return nullptr;
    }
}

std::string localTimeNow()
{
    const std::time_t now = std::time(nullptr);
    std::tm tm {};
    localtime_r(&now, &tm);
    char buffer[32];
    std::strftime(buffer, sizeof buffer, "%Y-%m-%d %H:%M:%S", &tm);
    return buffer;
}

bool parseNumber(const std::string& text, long long& value)
{
    if (text.empty() || text.size() > 12)
        return false;
    long long v = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
        v = v * 10 + (c - '0');
    }
    value = v;
    return true;
}

// Prints the changes of the table. Called on whichever thread changed the table.
class ChangePrinter {
public:
    ChangePrinter(MonitorList& list, std::ostream& out) : m_list(list), m_out(out) {}

    void onChange(const MonitorList::Change& change)
    {
        if (change.kind != MonitorList::ChangeKind::CellChanged)
            return;
        const char* header = cellHeader(change.cell);
        if (!header)
            return;
        const Text serial = m_list.cellById(change.id, CellSerial).value_or(Text());
        const Text nickname = m_list.cellById(change.id, CellNickname).value_or(Text());
        std::lock_guard lock(m_mutex);
        Text& last = m_last[{change.id, change.cell}];
        if (last == change.text)
            return;
        last = change.text;
        m_out << localTimeNow() << " [" << terminalText(serial) << "] " << terminalText(nickname) << " " << header
              << ": " << terminalText(change.text) << '\n'
              << std::flush;
    }

    void printStatus(const Text& text)
    {
        std::lock_guard lock(m_mutex);
        m_out << localTimeNow() << " " << terminalText(text) << '\n' << std::flush;
    }

private:
    MonitorList& m_list;
    std::ostream& m_out;
    std::mutex m_mutex;
    std::map<std::pair<RowId, int>, Text> m_last;
};

class PrintingStatus : public StatusSink {
public:
    explicit PrintingStatus(ChangePrinter& printer) : m_printer(printer) {}
    void setStatus(const Text& text) override { m_printer.printStatus(text); }

private:
    ChangePrinter& m_printer;
};

int runMonitor(Env& env, const std::vector<std::string>& args)
{
    MonitorOptions options;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "-h" || arg == "--help") {
            env.out << kHelp;
            return 0;
        }
        long long value = 0;
        const bool takesValue = arg == "--sweeps" || arg == "--row-pause-ms" || arg == "--sweep-pause-ms"
            || arg == "--stall-seconds";
        if (!takesValue) {
            env.err << "monitor: unknown option " << arg << "\n" << kHelp;
            return 2;
        }
        if (i + 1 >= args.size() || !parseNumber(args[i + 1], value)) {
            env.err << "monitor: " << arg << " needs a whole number\n";
            return 2;
        }
        ++i;
        if (arg == "--sweeps")
            options.maxSweeps = static_cast<int>(value);
        else if (arg == "--row-pause-ms")
            options.rowPause = std::chrono::milliseconds(value);
        else if (arg == "--sweep-pause-ms")
            options.sweepPause = std::chrono::milliseconds(value);
        else
            options.stallTimeout = std::chrono::seconds(value);
    }

    // Signals are taken by a waiting thread, never inside a handler. They are blocked before
    // any thread starts, so every thread of the program inherits the mask.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGHUP);  // the terminal closing ends recordings cleanly too
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    AppContext& context = env.context;
    ChangePrinter printer(context.list, env.out);
    PrintingStatus statusSink(printer);
    StatusSink* previousStatus = context.status;
    context.status = &statusSink;
    const int token = context.list.subscribe([&printer](const MonitorList::Change& change) { printer.onChange(change); });

    // Monitoring changes no stored cell; the list is written at the end only when it changed,
    // so users added or removed meanwhile by another run of the program are not overwritten.
    const Text storedList = listFileText(context.list);

    int exitCode = 0;
    {
        MonitorController controller(context, options);
        const StartResult started = controller.startMonitoring();
        if (started == StartResult::Started) {
            // Signals are taken only once the monitor runs: one that came earlier stays
            // pending until then, so it stops this run instead of being spent on none.
            std::atomic<bool> finished{false};
            std::thread signalWaiter([&] {
                const timespec tick {0, 100 * 1000 * 1000};
                while (!finished.load()) {
                    const int sig = sigtimedwait(&signals, nullptr, &tick);
                    if (sig == SIGINT || sig == SIGTERM || sig == SIGHUP)
                        controller.stopMonitoring();
                }
            });
            controller.waitUntilIdle();
            controller.shutdown();
            finished = true;
            signalWaiter.join();
        } else {
            exitCode = 1;
        }
        controller.shutdown();
    }

    context.list.unsubscribe(token);
    context.status = previousStatus;
    if (listFileText(context.list) != storedList)
        saveMonitorList(context);
    // The signals stay blocked: a second Ctrl-C while the program ends changes nothing.
    return exitCode;
}

} // namespace

QINGTONG_CLI_COMMAND(monitor,
                     "monitor [--sweeps N] [--row-pause-ms MS] [--sweep-pause-ms MS] [--stall-seconds S]",
                     runMonitor)

} // namespace qingtong::cli
