#include "addobject/AddObject.h"
#include "app/Persistence.h"
#include "platform/textRoutines.h"

namespace qingtong {

namespace {

// Texts of the add window, as GBK bytes (the table's code page).
const Text kAdding = "\xd5\xfd\xd4\xda\xcc\xed\xbc\xd3..";                        // 正在添加..
const Text kResolving = "\xd5\xfd\xd4\xda\xbd\xe2\xce\xf6 -> ";                   // 正在解析 -> 
const Text kDoneSuccess = "\xcc\xed\xbc\xd3\xcd\xea\xb1\xcf -> \xb3\xc9\xb9\xa6\xa3\xba"; // 添加完毕 -> 成功：
const Text kDoneFailure = "   \xca\xa7\xb0\xdc\xa3\xba";                             //    失败：

// Lines of the input: each LF ends a line and a CR before it is dropped, so text with CR LF
// (the add window) and with bare LF (a terminal, a pasted file) read alike. An empty piece
// after the last line break is not a line; empty lines in between are.
std::vector<Text> inputLines(const Text& text)
{
    std::vector<Text> lines = splitText(text, "\n");
    for (Text& line : lines)
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
    return lines;
}

// Writes the user into the row that lists the user id, or into a new row at the end.
// The row is held by its identity, so rows deleted or added meanwhile by others are never
// written by mistake.
void writeUserRow(MonitorList& list, const UserInfo& info)
{
    for (int attempt = 0; attempt < 3; ++attempt) {
        const int found = list.findRow(CellUserId, info.userId);
        const RowId id = found >= 0 ? list.idOf(found) : list.appendRow();
        if (id == 0)
            continue;  // the row went away between the two calls
        bool stale = false;
        const int index = list.indexOf(id);
        const bool written = list.updateById(id, [&](MonitorRow& row) {
            if (found >= 0 && row[CellUserId] != info.userId) {
                stale = true;
                return;
            }
            row[CellSerial] = numberText(index + 1);
            row[CellNickname] = info.nickname;
            row[CellAccount] = info.displayId;
            row[CellUserId] = info.userId;
        });
        if (written && !stale)
            return;
    }
}

} // namespace

BatchCounts addObjectBatch(AppContext& context, AddView& view)
{
    BatchCounts counts;
    view.setButtonEnabled(false);
    // Rows still being loaded at start-up could not be found by user id, and their users
    // would be added a second time.
    context.waitUntilLoaded();
    const std::vector<Text> lines = inputLines(view.inputText());
    view.setLabel(kAdding);

    UserInfo info;
    for (Text line : lines) {
        line = trimBlanks(line);
        if (line.empty())
            continue;
        view.setStatus(kResolving + line);
        if (!resolveLine(line, info)) {
            ++counts.failure;
            continue;
        }
        // Texts of the service go into the table as they can be stored in userList.txt, so a
        // nickname can not break the file's lines and the row reads the same after a restart.
        info.nickname = listFieldText(info.nickname);
        info.displayId = listFieldText(info.displayId);
        info.userId = listFieldText(info.userId);
        // A user without a user id can be neither monitored nor told apart from another row
        // without one, so it counts as a failure rather than a row that never works.
        if (info.userId.empty()) {
            ++counts.failure;
            continue;
        }
        writeUserRow(context.list, info);
        ++counts.success;
    }

    // Saved at once, so a crash or a kill loses nothing that was just added.
    if (counts.success > 0)
        saveMonitorList(context);

    const Text done = kDoneSuccess + numberText(counts.success) + kDoneFailure + numberText(counts.failure);
    view.setStatus(done);
    view.setLabel(done);
    view.setButtonEnabled(true);
    return counts;
}

} // namespace qingtong
