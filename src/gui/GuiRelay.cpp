#include "gui/GuiRelay.h"

#include <QMetaObject>
#include <QObject>

namespace qingtong {

GuiRelay::GuiRelay(QObject* target)
    : m_target(target)
{
}

void GuiRelay::post(std::function<void()> work)
{
    // The lock keeps detach() (and so the target's destruction) from overtaking the post.
    std::lock_guard lock(m_mutex);
    if (m_target)
        QMetaObject::invokeMethod(m_target, std::move(work), Qt::QueuedConnection);
}

void GuiRelay::detach()
{
    std::lock_guard lock(m_mutex);
    m_target = nullptr;
}

bool GuiRelay::attached() const
{
    std::lock_guard lock(m_mutex);
    return m_target != nullptr;
}

} // namespace qingtong
