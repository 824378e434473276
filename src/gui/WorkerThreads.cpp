#include "gui/WorkerThreads.h"

#include <system_error>

namespace qingtong {

WorkerThreads::~WorkerThreads()
{
    joinAll();
}

bool WorkerThreads::start(std::function<void()> work)
{
    std::lock_guard lock(m_mutex);
    reapFinished();
    auto done = std::make_shared<bool>(false);
    try {
        std::thread thread([this, done, work = std::move(work)] {
            work();
            std::lock_guard doneLock(m_mutex);
            *done = true;
        });
        m_workers.push_back({std::move(thread), done});
    } catch (const std::system_error&) {
        return false;
    }
    return true;
}

int WorkerThreads::running() const
{
    std::lock_guard lock(m_mutex);
    int count = 0;
    for (const Worker& worker : m_workers)
        count += *worker.done ? 0 : 1;
    return count;
}

void WorkerThreads::reapFinished()
{
    for (auto it = m_workers.begin(); it != m_workers.end();) {
        if (*it->done) {
            it->thread.join();
            it = m_workers.erase(it);
        } else {
            ++it;
        }
    }
}

void WorkerThreads::joinAll()
{
    std::list<Worker> workers;
    {
        std::lock_guard lock(m_mutex);
        workers.swap(m_workers);
    }
    for (Worker& worker : workers) {
        if (worker.thread.joinable())
            worker.thread.join();
    }
}

} // namespace qingtong
