#include "app/MonitorList.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

using namespace qingtong;

namespace {

TEST(MonitorList, PositionAndIdentityOperations)
{
    MonitorList list;
    EXPECT_EQ(list.rowCount(), 0);
    EXPECT_EQ(list.cell(0, CellNickname), "");
    EXPECT_FALSE(list.setCell(0, CellNickname, "x"));
    EXPECT_FALSE(list.deleteRow(0));

    const int first = list.insertRow();
    const RowId second = list.appendRow();
    EXPECT_EQ(first, 0);
    EXPECT_EQ(list.indexOf(second), 1);
    EXPECT_TRUE(list.setCell(0, CellUserId, "11"));
    EXPECT_TRUE(list.setCellById(second, CellUserId, "22"));
    EXPECT_FALSE(list.setCell(0, kCellCount, "out of range"));
    EXPECT_EQ(list.findRow(CellUserId, "22"), 1);
    EXPECT_EQ(list.findRow(CellUserId, "33"), -1);

    const RowId firstId = list.idOf(0);
    EXPECT_TRUE(list.deleteRow(0));
    // The second row moved up; its identity still finds it, the deleted one finds nothing.
    EXPECT_EQ(list.indexOf(second), 0);
    EXPECT_EQ(list.indexOf(firstId), -1);
    EXPECT_FALSE(list.setCellById(firstId, CellLiveState, "x"));
    EXPECT_FALSE(list.cellById(firstId, CellUserId).has_value());
    EXPECT_EQ(list.cellById(second, CellUserId), "22");

    // Identities are never reused.
    const RowId third = list.appendRow();
    EXPECT_NE(third, firstId);
    EXPECT_NE(third, second);

    list.renumberRows();
    EXPECT_EQ(list.cell(0, CellSerial), "1");
    EXPECT_EQ(list.cell(1, CellSerial), "2");
    list.clear();
    EXPECT_EQ(list.rowCount(), 0);
}

TEST(MonitorList, UpdateReportsOnlyChangedCells)
{
    MonitorList list;
    const RowId id = list.appendRow();
    std::vector<MonitorList::Change> seen;
    list.subscribe([&](const MonitorList::Change& c) { seen.push_back(c); });
    ASSERT_TRUE(list.updateById(id, [](MonitorRow& row) {
        row[CellLiveState] = "live";
        row[CellRoom] = "";  // unchanged
        row[CellDownloadId] = "7";
    }));
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].cell, CellLiveState);
    EXPECT_EQ(seen[1].cell, CellDownloadId);
    EXPECT_EQ(seen[1].text, "7");
    EXPECT_FALSE(list.updateById(id + 100, [](MonitorRow&) {}));
}

// A copy of the table kept only from the notifications. If they arrived out of order, an
// index would point at the wrong row and the copy would drift from the table.
struct Mirror {
    struct Row {
        RowId id;
        MonitorRow cells;
    };
    std::vector<Row> rows;
    int mismatches = 0;

    void apply(const MonitorList::Change& c)
    {
        const auto at = static_cast<std::size_t>(c.row);
        switch (c.kind) {
        case MonitorList::ChangeKind::RowInserted:
            if (at != rows.size())
                ++mismatches;
            rows.insert(rows.begin() + static_cast<long>(std::min(at, rows.size())), Row{c.id, {}});
            break;
        case MonitorList::ChangeKind::RowRemoved:
            if (at >= rows.size() || rows[at].id != c.id) {
                ++mismatches;
                return;
            }
            rows.erase(rows.begin() + c.row);
            break;
        case MonitorList::ChangeKind::CellChanged:
            if (at >= rows.size() || rows[at].id != c.id) {
                ++mismatches;
                return;
            }
            rows[at].cells[static_cast<std::size_t>(c.cell)] = c.text;
            break;
        }
    }
};

TEST(MonitorList, ConcurrentWritersKeepIdentityAndListenersSeeOneOrder)
{
    MonitorList list;
    Mirror mirror;
    std::atomic<int> reads{0};
    list.subscribe([&](const MonitorList::Change& c) {
        mirror.apply(c);  // deliveries never overlap, so no lock is needed here
        reads += list.rowCount() >= 0 ? 1 : 0;  // a listener may read the table
    });

    constexpr int kThreads = 4;
    constexpr int kRows = 300;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&list, t] {
            std::vector<RowId> mine;
            for (int i = 0; i < kRows; ++i) {
                const RowId id = list.appendRow();
                mine.push_back(id);
                const Text tag = std::to_string(t) + ":" + std::to_string(i);
                list.setCellById(id, CellNickname, tag);
                list.updateById(id, [&](MonitorRow& row) { row[CellUserId] = tag; });
                // Every third row of this thread goes again, the oldest one still there.
                if (i % 3 == 2) {
                    list.deleteRowById(mine.front());
                    mine.erase(mine.begin());
                }
                // Writers by position must land on some row, never crash.
                list.setCell(list.rowCount() - 1, CellLiveState, "x");
            }
            // Whatever happened around them, this thread's rows still hold its own texts.
            for (const RowId id : mine) {
                const auto row = list.rowById(id);
                ASSERT_TRUE(row.has_value());
                EXPECT_EQ((*row)[CellNickname], (*row)[CellUserId]);
                EXPECT_EQ((*row)[CellNickname].substr(0, 2), std::to_string(t) + ":");
            }
        });
    }
    for (auto& th : threads)
        th.join();

    EXPECT_EQ(list.rowCount(), kThreads * (kRows - kRows / 3));
    EXPECT_EQ(mirror.mismatches, 0);
    const auto snapshot = list.snapshot();
    const auto ids = list.ids();
    ASSERT_EQ(mirror.rows.size(), snapshot.size());
    for (std::size_t i = 0; i < snapshot.size(); ++i) {
        EXPECT_EQ(mirror.rows[i].id, ids[i]);
        EXPECT_EQ(mirror.rows[i].cells, snapshot[i]);
    }
    EXPECT_GT(reads.load(), 0);
}

TEST(MonitorList, UnsubscribedListenerIsNotCalledAndAChangeFromAListenerIsDelivered)
{
    MonitorList list;
    int calls = 0;
    const int token = list.subscribe([&](const MonitorList::Change&) { ++calls; });
    list.appendRow();
    list.unsubscribe(token);
    list.appendRow();
    EXPECT_EQ(calls, 1);

    // Not what listeners are for, but it must neither hang nor lose the change.
    std::vector<MonitorList::ChangeKind> kinds;
    list.subscribe([&](const MonitorList::Change& c) {
        kinds.push_back(c.kind);
        if (c.kind == MonitorList::ChangeKind::RowInserted)
            list.setCellById(c.id, CellSerial, "n");
    });
    list.appendRow();
    ASSERT_EQ(kinds.size(), 2u);
    EXPECT_EQ(kinds[1], MonitorList::ChangeKind::CellChanged);
}

} // namespace
