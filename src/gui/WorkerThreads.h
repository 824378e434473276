#pragma once

#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <thread>

namespace qingtong {

// Owns the window's short-lived background threads (start-up load, add batches, the
// promotional picture). Each thread runs to its own end; nothing is cut off. The owner
// joins them all when it goes (joinAll, or the destructor).
class WorkerThreads {
public:
    WorkerThreads() = default;
    ~WorkerThreads();
    WorkerThreads(const WorkerThreads&) = delete;
    WorkerThreads& operator=(const WorkerThreads&) = delete;

    // False when the thread could not be started (the work is then not run).
    bool start(std::function<void()> work);
    int running() const;
    void joinAll();

private:
    struct Worker {
        std::thread thread;
        std::shared_ptr<bool> done;  // written under m_mutex
    };
    void reapFinished();  // under m_mutex

    mutable std::mutex m_mutex;
    std::list<Worker> m_workers;
};

} // namespace qingtong
