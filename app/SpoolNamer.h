#pragma once

#include "Clock.h"
#include "DateTime.h"

#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>

namespace vvp {

// Message-id stems for spool files: the hexadecimal local time stamp "yyyymmddhhnnsszzz" and a
// counter that starts at 1020 for each new time stamp. The counter goes on within one
// millisecond instead of starting again, so two jobs of one run never share an id, even after
// the first one's spool file is gone (the id names the messages made from the job).
class SpoolNamer {
public:
    std::string Next(const Clock& clock) {
        std::lock_guard lock(m_mutex);
        const std::string stamp = FormatDateTime("yyyymmddhhnnsszzz", clock.Now());
        // A clock set back keeps counting on the latest stamp rather than repeat an id.
        if (stamp <= m_lastStamp) {
            ++m_counter;
        } else {
            m_lastStamp = stamp;
            m_counter = kFirstCounter;
            char hex[32];
            std::snprintf(hex, sizeof hex, "%llx", std::strtoull(stamp.c_str(), nullptr, 10));
            m_hex = hex;
        }
        return m_hex + std::to_string(m_counter);
    }

    static constexpr int kFirstCounter = 1020;

private:
    std::mutex m_mutex;
    std::string m_lastStamp, m_hex;
    int m_counter = 0;
};

} // namespace vvp
