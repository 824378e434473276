#pragma once

#include <array>
#include <memory>
#include <vector>

#include <QAbstractTableModel>
#include <QString>

#include "app/MonitorList.h"

namespace qingtong {

class GuiRelay;

// The list view's model of the MonitorList: a mirror of the rows kept on the GUI thread.
//
// The table tells its listeners of every change on the thread that made it. The listener
// here only queues the change and wakes the GUI thread once; the GUI thread then applies all
// queued changes in order with the begin/end calls of the model, collapsing runs of cell
// changes into one dataChanged. The mirror is never touched by another thread.
class MonitorListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    static constexpr int kColumnCount = kVisibleCellCount;
    static QString headerText(int column);
    static int columnWidth(int column);

    explicit MonitorListModel(MonitorList& list, QObject* parent = nullptr);
    ~MonitorListModel() override;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    RowId idAt(int row) const;                 // 0 out of range
    int rowOf(RowId id) const;                 // -1 when not shown
    Text cellText(int row, int cell) const;    // as mirrored, cell 11 included

    // Applies every change that has arrived so far (normally run by the queued wake-up).
    void applyPending();

signals:
    // After a round of changes has been applied.
    void changesApplied();

private:
    struct Row {
        RowId id = 0;
        MonitorRow cells;
        std::array<QString, kVisibleCellCount> shown;
    };
    struct Inbox;

    void apply(const MonitorList::Change& change, int& dirtyFirst, int& dirtyLast);
    void flushDirty(int& dirtyFirst, int& dirtyLast);
    int locate(int hint, RowId id) const;

    MonitorList& m_list;
    std::shared_ptr<Inbox> m_inbox;
    std::shared_ptr<GuiRelay> m_relay;
    int m_token = -1;
    std::vector<Row> m_rows;
};

} // namespace qingtong
