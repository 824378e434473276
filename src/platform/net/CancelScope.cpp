#include "platform/net/CancelScope.h"

namespace qingtong::net {

namespace {
thread_local const std::atomic<bool>* t_cancelled = nullptr;
}

CancelScope::CancelScope(const std::atomic<bool>& cancelled)
    : m_previous(t_cancelled)
{
    t_cancelled = &cancelled;
}

CancelScope::~CancelScope()
{
    t_cancelled = m_previous;
}

bool cancelRequested()
{
    return t_cancelled != nullptr && t_cancelled->load(std::memory_order_relaxed);
}

} // namespace qingtong::net
