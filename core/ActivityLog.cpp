#include "ActivityLog.h"

#include "TextEncoding.h"

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

std::string LogLineForOutput(const std::string& line) {
    std::string_view text = line;
    while (!text.empty() && (text.back() == '\r' || text.back() == '\n'))
        text.remove_suffix(1);
    const std::string utf8 = MixedTextToUtf8(text);
    std::string out;
    out.reserve(utf8.size());
    for (size_t i = 0; i < utf8.size(); ++i) {
        const auto c = static_cast<unsigned char>(utf8[i]);
        if (c == '\r' || c == '\n') {
            while (i + 1 < utf8.size() && (utf8[i + 1] == '\r' || utf8[i + 1] == '\n'))
                ++i;
            out += " | ";
        } else if ((c < 0x20 && c != '\t') || c == 0x7F) {
            out += '?';
        } else if (c == 0xC2 && i + 1 < utf8.size() && static_cast<unsigned char>(utf8[i + 1]) < 0xA0) {
            out += '?'; // a C1 control, which some terminals obey
            ++i;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

} // namespace vvp
