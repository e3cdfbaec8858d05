#include "JobPool.h"

namespace vvp {

JobPool::JobPool(size_t threads) {
    if (threads == 0) threads = 1;
    m_threads.reserve(threads);
    for (size_t i = 0; i < threads; ++i)
        m_threads.emplace_back([this] { Run(); });
}

JobPool::~JobPool() {
    Drain();
}

bool JobPool::Submit(std::function<void()> task) {
    {
        std::lock_guard lock(m_mutex);
        if (m_draining) return false;
        m_tasks.push_back(std::move(task));
    }
    m_wake.notify_one();
    return true;
}

void JobPool::Drain() {
    {
        std::lock_guard lock(m_mutex);
        m_draining = true;
    }
    m_wake.notify_all();
    for (auto& t : m_threads)
        if (t.joinable()) t.join();
}

size_t JobPool::Pending() const {
    std::lock_guard lock(m_mutex);
    return m_tasks.size() + m_running;
}

void JobPool::Run() {
    for (;;) {
        std::function<void()> task;
        {
            std::unique_lock lock(m_mutex);
            m_wake.wait(lock, [this] { return m_draining || !m_tasks.empty(); });
            if (m_tasks.empty()) return; // draining and nothing left
            task = std::move(m_tasks.front());
            m_tasks.pop_front();
            ++m_running;
        }
        try {
            task();
        } catch (...) {
            // A failing job never stops the others; the task reports its own failures.
        }
        std::lock_guard lock(m_mutex);
        --m_running;
    }
}

} // namespace vvp
