#pragma once

#include <functional>
#include <memory>
#include <mutex>

class QObject;

namespace qingtong {

// Hands work from any thread to the thread of a QObject (the GUI thread for widgets).
//
// Worker threads may outlive the widget they report to (an add batch keeps running after
// its window has closed). They hold the relay by shared_ptr; the widget calls detach()
// before it dies, and from then on every post is dropped. A call already queued when the
// widget dies is dropped by Qt, because the widget is the call's context object.
class GuiRelay {
public:
    explicit GuiRelay(QObject* target);
    GuiRelay(const GuiRelay&) = delete;
    GuiRelay& operator=(const GuiRelay&) = delete;

    static std::shared_ptr<GuiRelay> create(QObject* target) { return std::make_shared<GuiRelay>(target); }

    // Any thread. Runs `work` later on the target's thread, unless detached.
    void post(std::function<void()> work);
    // Target's thread, before the target is destroyed.
    void detach();
    bool attached() const;

private:
    mutable std::mutex m_mutex;
    QObject* m_target;
};

} // namespace qingtong
