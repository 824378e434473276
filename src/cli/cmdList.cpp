// qingtong-cli list: the table as the main window's list shows it.

#include <ostream>
#include <string>
#include <vector>

#include "cli/Cli.h"
#include "cli/Terminal.h"

namespace qingtong::cli {
namespace {

const char* const kUsage = "list [--tsv]";

// Column headers of cells 0 to 10, as the list shows them.
const char* const kHeaders[kVisibleCellCount] = {"序号",     "用户昵称", "抖音号",   "用户id",   "直播状态", "直播房间",
                                                 "直播源",   "下载状态", "文件尺寸", "下载线程", "文件路径"};

int runList(Env& env, const std::vector<std::string>& args)
{
    bool tsv = false;
    for (const std::string& arg : args) {
        if (arg == "--tsv")
            tsv = true;
        else
            return usageError(env.err, kUsage, "unknown argument " + arg);
    }
    const std::vector<MonitorRow> rows = env.context.list.snapshot();

    if (tsv) {
        // Cells 0 to 11 of every row; tabs and line breaks inside a cell show as spaces.
        for (const MonitorRow& row : rows) {
            for (int c = 0; c < kCellCount; ++c) {
                if (c)
                    env.out << '\t';
                env.out << terminalText(row[static_cast<std::size_t>(c)]);
            }
            env.out << '\n';
        }
        return 0;
    }

    // Cells 0 to 3 always show; a run-state column shows only when some row has text in it.
    std::vector<int> columns;
    for (int c = 0; c < kVisibleCellCount; ++c) {
        bool used = c <= CellUserId;
        for (const MonitorRow& row : rows)
            used = used || !row[static_cast<std::size_t>(c)].empty();
        if (used)
            columns.push_back(c);
    }
    std::vector<std::vector<std::string>> cells(rows.size());
    std::vector<std::size_t> widths;
    for (const int c : columns)
        widths.push_back(displayWidth(kHeaders[c]));
    for (std::size_t r = 0; r < rows.size(); ++r) {
        for (std::size_t k = 0; k < columns.size(); ++k) {
            cells[r].push_back(terminalText(rows[r][static_cast<std::size_t>(columns[k])]));
            widths[k] = std::max(widths[k], displayWidth(cells[r].back()));
        }
    }
    auto printLine = [&](const std::vector<std::string>& line) {
        std::string text;
        for (std::size_t k = 0; k < line.size(); ++k) {
            if (k)
                text += "  ";
            text += k + 1 < line.size() ? padToWidth(line[k], widths[k]) : line[k];
        }
        while (!text.empty() && text.back() == ' ')
            text.pop_back();
        env.out << text << '\n';
    };
    std::vector<std::string> header;
    for (const int c : columns)
        header.push_back(kHeaders[c]);
    printLine(header);
    for (const auto& line : cells)
        printLine(line);
    return 0;
}

} // namespace

QINGTONG_CLI_COMMAND(list, kUsage, runList)

} // namespace qingtong::cli
