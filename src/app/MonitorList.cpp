#include "app/MonitorList.h"

#include <algorithm>
#include <deque>

namespace qingtong {
namespace {

// The tables whose changes this thread is delivering right now, so a change made from
// inside a listener is queued for the running delivery instead of waiting for itself.
thread_local std::vector<const void*> t_delivering;

bool deliveringOnThisThread(const void* table)
{
    return std::find(t_delivering.begin(), t_delivering.end(), table) != t_delivering.end();
}

struct DeliveryMark {
    explicit DeliveryMark(const void* table) { t_delivering.push_back(table); }
    ~DeliveryMark() { t_delivering.pop_back(); }
    DeliveryMark(const DeliveryMark&) = delete;
    DeliveryMark& operator=(const DeliveryMark&) = delete;
};

bool validCell(int cell) { return cell >= 0 && cell < kCellCount; }

} // namespace

struct MonitorList::Impl {
    struct Row {
        RowId id;
        MonitorRow cells;
    };

    mutable std::mutex tableMutex;   // guards rows, nextId and pending
    std::vector<Row> rows;
    RowId nextId = 1;
    std::deque<Change> pending;      // changes not yet delivered, in the order they were made

    std::mutex deliveryMutex;        // one delivery at a time, so listeners see the order
    std::mutex listenerMutex;        // guards listeners and nextToken
    std::vector<std::pair<int, std::shared_ptr<Listener>>> listeners;
    int nextToken = 1;

    // Index of a row by identity; caller holds tableMutex.
    int find(RowId id) const
    {
        for (std::size_t i = 0; i < rows.size(); ++i)
            if (rows[i].id == id)
                return static_cast<int>(i);
        return -1;
    }

    void queueCell(int row, int cell, const Text& text)
    {
        pending.push_back({ChangeKind::CellChanged, row, rows[static_cast<std::size_t>(row)].id, cell, text});
    }

    // Delivers every queued change, oldest first, outside tableMutex. Whoever delivers also
    // delivers the changes of threads that queued meanwhile; they wait on deliveryMutex, so
    // every change has been delivered when the call that made it returns.
    void deliver()
    {
        if (deliveringOnThisThread(this))
            return;
        std::lock_guard<std::mutex> delivery(deliveryMutex);
        DeliveryMark mark(this);
        for (;;) {
            std::deque<Change> batch;
            {
                std::lock_guard<std::mutex> lock(tableMutex);
                batch.swap(pending);
            }
            if (batch.empty())
                break;
            std::vector<std::shared_ptr<Listener>> current;
            {
                std::lock_guard<std::mutex> lock(listenerMutex);
                for (const auto& entry : listeners)
                    current.push_back(entry.second);
            }
            for (const Change& change : batch) {
                for (const auto& listener : current) {
                    try {
                        (*listener)(change);
                    } catch (...) {
                        // A failing listener must not stop the others or the change itself.
                    }
                }
            }
        }
    }
};

MonitorList::MonitorList() : m_impl(std::make_unique<Impl>()) {}

MonitorList::~MonitorList() = default;

int MonitorList::subscribe(Listener listener)
{
    std::lock_guard<std::mutex> lock(m_impl->listenerMutex);
    const int token = m_impl->nextToken++;
    m_impl->listeners.emplace_back(token, std::make_shared<Listener>(std::move(listener)));
    return token;
}

void MonitorList::unsubscribe(int token)
{
    // Waiting for a running delivery means the listener is never called after this returns
    // (unless it unsubscribes itself from inside a delivery on this thread).
    std::unique_lock<std::mutex> delivery(m_impl->deliveryMutex, std::defer_lock);
    if (!deliveringOnThisThread(m_impl.get()))
        delivery.lock();
    std::lock_guard<std::mutex> lock(m_impl->listenerMutex);
    auto& l = m_impl->listeners;
    l.erase(std::remove_if(l.begin(), l.end(), [token](const auto& entry) { return entry.first == token; }), l.end());
}

int MonitorList::rowCount() const
{
    std::lock_guard<std::mutex> lock(m_impl->tableMutex);
    return static_cast<int>(m_impl->rows.size());
}

int MonitorList::insertRow()
{
    int index;
    {
        std::lock_guard<std::mutex> lock(m_impl->tableMutex);
        const RowId id = m_impl->nextId++;
        m_impl->rows.push_back({id, {}});
        index = static_cast<int>(m_impl->rows.size()) - 1;
        m_impl->pending.push_back({ChangeKind::RowInserted, index, id, -1, {}});
    }
    m_impl->deliver();
    return index;
}

bool MonitorList::deleteRow(int row)
{
    {
        std::lock_guard<std::mutex> lock(m_impl->tableMutex);
        if (row < 0 || row >= static_cast<int>(m_impl->rows.size()))
            return false;
        const RowId id = m_impl->rows[static_cast<std::size_t>(row)].id;
        m_impl->rows.erase(m_impl->rows.begin() + row);
        m_impl->pending.push_back({ChangeKind::RowRemoved, row, id, -1, {}});
    }
    m_impl->deliver();
    return true;
}

Text MonitorList::cell(int row, int cell) const
{
    std::lock_guard<std::mutex> lock(m_impl->tableMutex);
    if (row < 0 || row >= static_cast<int>(m_impl->rows.size()) || !validCell(cell))
        return {};
    return m_impl->rows[static_cast<std::size_t>(row)].cells[static_cast<std::size_t>(cell)];
}

bool MonitorList::setCell(int row, int cell, const Text& text)
{
    {
        std::lock_guard<std::mutex> lock(m_impl->tableMutex);
        if (row < 0 || row >= static_cast<int>(m_impl->rows.size()) || !validCell(cell))
            return false;
        Text& slot = m_impl->rows[static_cast<std::size_t>(row)].cells[static_cast<std::size_t>(cell)];
        if (slot == text)
            return true;
        slot = text;
        m_impl->queueCell(row, cell, text);
    }
    m_impl->deliver();
    return true;
}

int MonitorList::findRow(int cell, const Text& text) const
{
    std::lock_guard<std::mutex> lock(m_impl->tableMutex);
    if (!validCell(cell))
        return -1;
    for (std::size_t i = 0; i < m_impl->rows.size(); ++i)
        if (m_impl->rows[i].cells[static_cast<std::size_t>(cell)] == text)
            return static_cast<int>(i);
    return -1;
}

RowId MonitorList::idOf(int row) const
{
    std::lock_guard<std::mutex> lock(m_impl->tableMutex);
    if (row < 0 || row >= static_cast<int>(m_impl->rows.size()))
        return 0;
    return m_impl->rows[static_cast<std::size_t>(row)].id;
}

int MonitorList::indexOf(RowId id) const
{
    std::lock_guard<std::mutex> lock(m_impl->tableMutex);
    return m_impl->find(id);
}

RowId MonitorList::appendRow()
{
    RowId id;
    {
        std::lock_guard<std::mutex> lock(m_impl->tableMutex);
        id = m_impl->nextId++;
        m_impl->rows.push_back({id, {}});
        m_impl->pending.push_back(
            {ChangeKind::RowInserted, static_cast<int>(m_impl->rows.size()) - 1, id, -1, {}});
    }
    m_impl->deliver();
    return id;
}

bool MonitorList::deleteRowById(RowId id)
{
    {
        std::lock_guard<std::mutex> lock(m_impl->tableMutex);
        const int row = m_impl->find(id);
        if (row < 0)
            return false;
        m_impl->rows.erase(m_impl->rows.begin() + row);
        m_impl->pending.push_back({ChangeKind::RowRemoved, row, id, -1, {}});
    }
    m_impl->deliver();
    return true;
}

std::optional<Text> MonitorList::cellById(RowId id, int cell) const
{
    std::lock_guard<std::mutex> lock(m_impl->tableMutex);
    const int row = m_impl->find(id);
    if (row < 0 || !validCell(cell))
        return std::nullopt;
    return m_impl->rows[static_cast<std::size_t>(row)].cells[static_cast<std::size_t>(cell)];
}

bool MonitorList::setCellById(RowId id, int cell, const Text& text)
{
    {
        std::lock_guard<std::mutex> lock(m_impl->tableMutex);
        const int row = m_impl->find(id);
        if (row < 0 || !validCell(cell))
            return false;
        Text& slot = m_impl->rows[static_cast<std::size_t>(row)].cells[static_cast<std::size_t>(cell)];
        if (slot == text)
            return true;
        slot = text;
        m_impl->queueCell(row, cell, text);
    }
    m_impl->deliver();
    return true;
}

std::optional<MonitorRow> MonitorList::rowById(RowId id) const
{
    std::lock_guard<std::mutex> lock(m_impl->tableMutex);
    const int row = m_impl->find(id);
    if (row < 0)
        return std::nullopt;
    return m_impl->rows[static_cast<std::size_t>(row)].cells;
}

bool MonitorList::updateById(RowId id, const std::function<void(MonitorRow&)>& edit)
{
    {
        std::lock_guard<std::mutex> lock(m_impl->tableMutex);
        const int row = m_impl->find(id);
        if (row < 0)
            return false;
        MonitorRow& cells = m_impl->rows[static_cast<std::size_t>(row)].cells;
        const MonitorRow before = cells;
        edit(cells);
        for (int c = 0; c < kCellCount; ++c)
            if (cells[static_cast<std::size_t>(c)] != before[static_cast<std::size_t>(c)])
                m_impl->queueCell(row, c, cells[static_cast<std::size_t>(c)]);
    }
    m_impl->deliver();
    return true;
}

std::vector<RowId> MonitorList::ids() const
{
    std::lock_guard<std::mutex> lock(m_impl->tableMutex);
    std::vector<RowId> out;
    out.reserve(m_impl->rows.size());
    for (const auto& row : m_impl->rows)
        out.push_back(row.id);
    return out;
}

std::vector<MonitorRow> MonitorList::snapshot() const
{
    std::lock_guard<std::mutex> lock(m_impl->tableMutex);
    std::vector<MonitorRow> out;
    out.reserve(m_impl->rows.size());
    for (const auto& row : m_impl->rows)
        out.push_back(row.cells);
    return out;
}

void MonitorList::renumberRows()
{
    {
        std::lock_guard<std::mutex> lock(m_impl->tableMutex);
        for (std::size_t i = 0; i < m_impl->rows.size(); ++i) {
            Text serial = std::to_string(i + 1);
            Text& slot = m_impl->rows[i].cells[CellSerial];
            if (slot != serial) {
                slot = std::move(serial);
                m_impl->queueCell(static_cast<int>(i), CellSerial, slot);
            }
        }
    }
    m_impl->deliver();
}

void MonitorList::clear()
{
    {
        std::lock_guard<std::mutex> lock(m_impl->tableMutex);
        // Last row first, so every reported index is valid at the time of its removal.
        while (!m_impl->rows.empty()) {
            const int row = static_cast<int>(m_impl->rows.size()) - 1;
            m_impl->pending.push_back({ChangeKind::RowRemoved, row, m_impl->rows.back().id, -1, {}});
            m_impl->rows.pop_back();
        }
    }
    m_impl->deliver();
}

} // namespace qingtong
