#pragma once

#include <atomic>

namespace qingtong::net {

// Lets a thread abandon the HTTP exchange it is in when another thread raises a flag.
// While a CancelScope lives on a thread, every exchange that thread drives checks the
// flag at least once a second and, once it is raised, ends as a failure (not retried).
// Scopes nest; the innermost one counts.
class CancelScope {
public:
    explicit CancelScope(const std::atomic<bool>& cancelled);
    ~CancelScope();
    CancelScope(const CancelScope&) = delete;
    CancelScope& operator=(const CancelScope&) = delete;

private:
    const std::atomic<bool>* m_previous;
};

// True when the calling thread's innermost scope has been cancelled.
bool cancelRequested();

} // namespace qingtong::net
