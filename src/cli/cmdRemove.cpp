// qingtong-cli remove: deletes rows by their serial number, renumbers and saves the list.

#include <algorithm>
#include <ostream>
#include <string>
#include <vector>

#include "app/AppContext.h"
#include "app/Persistence.h"
#include "cli/Cli.h"
#include "cli/Terminal.h"
#include "platform/files.h"
#include "platform/textRoutines.h"

namespace qingtong::cli {
namespace {

const char* const kUsage = "remove SERIAL...";

int runRemove(Env& env, const std::vector<std::string>& args)
{
    if (args.empty())
        return usageError(env.err, kUsage, "remove needs at least one serial number");
    MonitorList& list = env.context.list;
    // Every serial must name a row before anything is deleted.
    std::vector<RowId> doomed;
    for (const std::string& serial : args) {
        const int row = serial.empty() ? -1 : list.findRow(CellSerial, serial);
        if (row < 0)
            return usageError(env.err, kUsage, "no row with serial number " + terminalText(serial));
        const RowId id = list.idOf(row);
        if (std::find(doomed.begin(), doomed.end(), id) == doomed.end())
            doomed.push_back(id);
    }
    for (const RowId id : doomed)
        list.deleteRowById(id);
    list.renumberRows();
    saveMonitorList(env.context);

    // Saving reports nothing; check that the file holds what the table holds now.
    if (readTextFile(listPath(env.context.runDirectory)) != listFileText(list)) {
        env.err << "qingtong-cli: could not write " << terminalText(listPath(env.context.runDirectory)) << '\n';
        return 1;
    }
    env.out << "removed " << doomed.size() << (doomed.size() == 1 ? " row" : " rows") << ", "
            << list.rowCount() << " left\n";
    return 0;
}

} // namespace

QINGTONG_CLI_COMMAND(remove, kUsage, runRemove)

} // namespace qingtong::cli
