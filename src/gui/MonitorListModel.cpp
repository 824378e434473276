#include "gui/MonitorListModel.h"

#include <algorithm>
#include <deque>
#include <mutex>

#include "gui/GuiRelay.h"
#include "gui/GuiText.h"

namespace qingtong {

namespace {

struct ColumnSpec {
    const char* header;
    int width;
};

constexpr std::array<ColumnSpec, MonitorListModel::kColumnCount> kColumns{{
    {"序号", 50},
    {"用户昵称", 100},
    {"抖音号", 100},
    {"用户id", 50},
    {"直播状态", 100},
    {"直播房间", 60},
    {"直播源", 80},
    {"下载状态", 110},
    {"文件尺寸", 80},
    {"下载线程", 80},
    {"文件路径", 100},
}};

} // namespace

// Changes waiting for the GUI thread. Shared with the listener, which may still run on a
// worker thread for a moment after the model has gone.
struct MonitorListModel::Inbox {
    std::mutex mutex;
    std::deque<MonitorList::Change> changes;
    bool wakeUpPosted = false;
};

QString MonitorListModel::headerText(int column)
{
    if (column < 0 || column >= kColumnCount)
        return {};
    return QString::fromUtf8(kColumns[static_cast<size_t>(column)].header);
}

int MonitorListModel::columnWidth(int column)
{
    if (column < 0 || column >= kColumnCount)
        return 0;
    return kColumns[static_cast<size_t>(column)].width;
}

MonitorListModel::MonitorListModel(MonitorList& list, QObject* parent)
    : QAbstractTableModel(parent)
    , m_list(list)
    , m_inbox(std::make_shared<Inbox>())
    , m_relay(GuiRelay::create(this))
{
    // Subscribe before reading the rows, so that nothing made meanwhile is missed; a change
    // that the first reading already shows is recognised by its row identity and skipped.
    std::weak_ptr<Inbox> weakInbox = m_inbox;
    std::shared_ptr<GuiRelay> relay = m_relay;
    m_token = m_list.subscribe([weakInbox, relay, this](const MonitorList::Change& change) {
        std::shared_ptr<Inbox> inbox = weakInbox.lock();
        if (!inbox)
            return;
        std::lock_guard lock(inbox->mutex);
        inbox->changes.push_back(change);
        if (!inbox->wakeUpPosted) {
            inbox->wakeUpPosted = true;
            // `this` is the relay's target and the call's context: the call is dropped if
            // the model is gone before it runs.
            relay->post([this] { applyPending(); });
        }
    });

    const std::vector<RowId> ids = m_list.ids();
    const std::vector<MonitorRow> rows = m_list.snapshot();
    const size_t count = std::min(ids.size(), rows.size());
    m_rows.reserve(count);
    for (size_t i = 0; i < count; ++i) {
        Row row;
        row.id = ids[i];
        row.cells = rows[i];
        for (int c = 0; c < kColumnCount; ++c)
            row.shown[static_cast<size_t>(c)] = toQString(row.cells[static_cast<size_t>(c)]);
        m_rows.push_back(std::move(row));
    }
}

MonitorListModel::~MonitorListModel()
{
    m_relay->detach();
    m_list.unsubscribe(m_token);
}

int MonitorListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

int MonitorListModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : kColumnCount;
}

QVariant MonitorListModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= static_cast<int>(m_rows.size()) || index.column() >= kColumnCount)
        return {};
    const QString& text = m_rows[static_cast<size_t>(index.row())].shown[static_cast<size_t>(index.column())];
    if (role == Qt::DisplayRole)
        return text;
    if (role == Qt::ToolTipRole && !text.isEmpty())
        return text;
    return {};
}

QVariant MonitorListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole)
        return headerText(section);
    return {};
}

RowId MonitorListModel::idAt(int row) const
{
    if (row < 0 || row >= static_cast<int>(m_rows.size()))
        return 0;
    return m_rows[static_cast<size_t>(row)].id;
}

int MonitorListModel::rowOf(RowId id) const
{
    return locate(-1, id);
}

Text MonitorListModel::cellText(int row, int cell) const
{
    if (row < 0 || row >= static_cast<int>(m_rows.size()) || cell < 0 || cell >= kCellCount)
        return {};
    return m_rows[static_cast<size_t>(row)].cells[static_cast<size_t>(cell)];
}

int MonitorListModel::locate(int hint, RowId id) const
{
    if (hint >= 0 && hint < static_cast<int>(m_rows.size()) && m_rows[static_cast<size_t>(hint)].id == id)
        return hint;
    for (size_t i = 0; i < m_rows.size(); ++i) {
        if (m_rows[i].id == id)
            return static_cast<int>(i);
    }
    return -1;
}

void MonitorListModel::applyPending()
{
    std::deque<MonitorList::Change> changes;
    {
        std::lock_guard lock(m_inbox->mutex);
        changes.swap(m_inbox->changes);
        m_inbox->wakeUpPosted = false;
    }
    if (changes.empty())
        return;
    int dirtyFirst = -1;
    int dirtyLast = -1;
    for (const MonitorList::Change& change : changes)
        apply(change, dirtyFirst, dirtyLast);
    flushDirty(dirtyFirst, dirtyLast);
    emit changesApplied();
}

void MonitorListModel::flushDirty(int& dirtyFirst, int& dirtyLast)
{
    if (dirtyFirst < 0)
        return;
    emit dataChanged(index(dirtyFirst, 0), index(dirtyLast, kColumnCount - 1), {Qt::DisplayRole});
    dirtyFirst = dirtyLast = -1;
}

void MonitorListModel::apply(const MonitorList::Change& change, int& dirtyFirst, int& dirtyLast)
{
    switch (change.kind) {
    case MonitorList::ChangeKind::RowInserted: {
        if (locate(change.row, change.id) >= 0)
            return;  // already in the first reading
        flushDirty(dirtyFirst, dirtyLast);
        const int at = std::clamp(change.row, 0, static_cast<int>(m_rows.size()));
        beginInsertRows({}, at, at);
        Row row;
        row.id = change.id;
        m_rows.insert(m_rows.begin() + at, std::move(row));
        endInsertRows();
        return;
    }
    case MonitorList::ChangeKind::RowRemoved: {
        const int at = locate(change.row, change.id);
        if (at < 0)
            return;
        flushDirty(dirtyFirst, dirtyLast);
        beginRemoveRows({}, at, at);
        m_rows.erase(m_rows.begin() + at);
        endRemoveRows();
        return;
    }
    case MonitorList::ChangeKind::CellChanged: {
        const int at = locate(change.row, change.id);
        if (at < 0 || change.cell < 0 || change.cell >= kCellCount)
            return;
        Row& row = m_rows[static_cast<size_t>(at)];
        row.cells[static_cast<size_t>(change.cell)] = change.text;
        if (change.cell >= kColumnCount)
            return;  // the download identity is never shown
        row.shown[static_cast<size_t>(change.cell)] = toQString(change.text);
        if (dirtyFirst < 0) {
            dirtyFirst = dirtyLast = at;
        } else {
            dirtyFirst = std::min(dirtyFirst, at);
            dirtyLast = std::max(dirtyLast, at);
        }
        return;
    }
    }
}

} // namespace qingtong
