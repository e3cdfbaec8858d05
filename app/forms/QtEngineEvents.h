#pragma once

#include "EngineEvents.h"

#include <QObject>
#include <QPointer>

#include <atomic>
#include <functional>

namespace vvp {

// The engine's notices, from any thread, become one queued call on the GUI thread (several
// notices before it runs are one call).
class QtEngineEvents final : public EngineEvents {
public:
    // Construct on the GUI thread.
    QtEngineEvents() : m_context(new QObject) {}
    ~QtEngineEvents() override { delete m_context; }

    // What runs on the GUI thread; set it before the engine starts.
    void SetHandler(std::function<void()> handler) { m_handler = std::move(handler); }

    void StatusTextChanged(const std::string&) override { Notify(); }
    void ListenerStateChanged(bool) override { Notify(); }
    void DomainListChanged() override { Notify(); }
    void TokenStateChanged() override { Notify(); }
    void MonitorCaptionChanged(const std::string&) override { Notify(); }
    // The activity log grew.
    void LogLineAdded() { Notify(); }

private:
    void Notify() {
        if (m_queued.exchange(true)) return;
        QMetaObject::invokeMethod(
            m_context,
            [this] {
                m_queued = false;
                if (m_handler) m_handler();
            },
            Qt::QueuedConnection);
    }

    QObject* m_context;
    std::atomic<bool> m_queued{false};
    std::function<void()> m_handler;
};

} // namespace vvp
