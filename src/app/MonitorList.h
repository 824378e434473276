#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "platform/Text.h"

namespace qingtong {

// Cells of a row. 0..10 are the visible columns, 11 the hidden download identity.
enum Cell : int {
    CellSerial = 0,       // "序号"
    CellNickname = 1,     // "用户昵称"
    CellAccount = 2,      // "抖音号"
    CellUserId = 3,       // "用户id"
    CellLiveState = 4,    // "直播状态"
    CellRoom = 5,         // "直播房间"
    CellStream = 6,       // "直播源"
    CellDownload = 7,     // "下载状态"
    CellFileSize = 8,     // "文件尺寸"
    CellThread = 9,       // "下载线程"
    CellFilePath = 10,    // "文件路径"
    CellDownloadId = 11,  // download identity, never shown
};
constexpr int kCellCount = 12;
constexpr int kVisibleCellCount = 11;

// Stable hidden identity of a row; never reused within a process. 0 means "no row".
using RowId = std::uint64_t;

using MonitorRow = std::array<Text, kCellCount>;

// The one table of monitored objects. Every operation runs under one mutex, one at a time.
// Workers hold a RowId, never a bare index, so rows deleted or added meanwhile are never
// written by mistake: an operation by id on a deleted row does nothing and reports false.
//
// Listeners are told of every change in the order the changes were made. They are called
// outside the table's lock, on the thread that made the change (so a GUI must hand the
// news to its own thread). A listener may read the table; it must not change it.
class MonitorList {
public:
    enum class ChangeKind { RowInserted, RowRemoved, CellChanged };
    struct Change {
        ChangeKind kind;
        int row;       // index at the time of the change
        RowId id;      // the row's identity
        int cell;      // CellChanged only
        Text text;     // CellChanged only: the new text
    };
    using Listener = std::function<void(const Change&)>;

    MonitorList();
    ~MonitorList();
    MonitorList(const MonitorList&) = delete;
    MonitorList& operator=(const MonitorList&) = delete;

    int subscribe(Listener listener);   // returns a token for unsubscribe
    void unsubscribe(int token);

    // Position-based operations (the list control's cell operations).
    int rowCount() const;
    int insertRow();                                  // empty row at the end; its index
    bool deleteRow(int row);
    Text cell(int row, int cell) const;               // "" out of range
    bool setCell(int row, int cell, const Text& text);
    int findRow(int cell, const Text& text) const;    // first exact match, -1 when none

    // Identity-based operations.
    RowId idOf(int row) const;                        // 0 out of range
    int indexOf(RowId id) const;                      // -1 when gone
    RowId appendRow();                                // empty row at the end; its identity
    bool deleteRowById(RowId id);
    std::optional<Text> cellById(RowId id, int cell) const;
    bool setCellById(RowId id, int cell, const Text& text);
    std::optional<MonitorRow> rowById(RowId id) const;
    // Runs edit on the row under the lock (one atomic read-modify-write); false when gone.
    // Changed cells are reported to listeners afterwards.
    bool updateById(RowId id, const std::function<void(MonitorRow&)>& edit);

    std::vector<RowId> ids() const;                   // in row order
    std::vector<MonitorRow> snapshot() const;         // in row order

    void renumberRows();                              // cell 0 = "1", "2", ...
    void clear();

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

} // namespace qingtong
