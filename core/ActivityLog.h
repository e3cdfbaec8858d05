#pragma once

#include "Clock.h"

#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace vvp {

// The activity log: each line is "hh:nn:ss " + text, newest first; above 500 lines it is
// trimmed back to 400. Front ends subscribe to see lines as they are added.
class ActivityLog {
public:
    using Listener = std::function<void(const std::string& line)>;

    static constexpr size_t kTrimAbove = 500;
    static constexpr size_t kTrimTo = 400;

    explicit ActivityLog(const Clock& clock);

    void LogLine(const std::string& text);
    std::vector<std::string> Lines() const; // newest first
    void Clear();
    // Listeners run on the thread that logs, outside the log's lock.
    void Subscribe(Listener listener);

private:
    const Clock& m_clock;
    mutable std::mutex m_mutex;
    std::deque<std::string> m_lines;
    std::vector<Listener> m_listeners;
};

// A stored log line as one line of UTF-8 for an output that shows an entry per line (standard
// output, the journal, a log view): Windows-1252 bytes from printouts converted, each run of line
// breaks inside shown as " | ", other control characters as "?". The stored lines keep their
// exact text.
std::string LogLineForOutput(const std::string& line);

} // namespace vvp
