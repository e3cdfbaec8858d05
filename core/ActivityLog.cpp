#include "ActivityLog.h"

namespace vvp {

ActivityLog::ActivityLog(const Clock& clock) : m_clock(clock) {}

void ActivityLog::LogLine(const std::string& text) {
    std::string line = FormatDateTime("hh:nn:ss", m_clock.Now()) + " " + text;
    std::vector<Listener> listeners;
    {
        std::lock_guard lock(m_mutex);
        m_lines.push_front(line);
        if (m_lines.size() > kTrimAbove) m_lines.resize(kTrimTo);
        listeners = m_listeners;
    }
    for (auto& listener : listeners)
        listener(line);
}

std::vector<std::string> ActivityLog::Lines() const {
    std::lock_guard lock(m_mutex);
    return {m_lines.begin(), m_lines.end()};
}

void ActivityLog::Clear() {
    std::lock_guard lock(m_mutex);
    m_lines.clear();
}

void ActivityLog::Subscribe(Listener listener) {
    std::lock_guard lock(m_mutex);
    m_listeners.push_back(std::move(listener));
}

} // namespace vvp
