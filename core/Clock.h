#pragma once

#include "DateTime.h"

#include <atomic>
#include <mutex>

namespace vvp {

class Clock {
public:
    virtual ~Clock() = default;
    // Local date and time, to the millisecond.
    virtual TDateTime Now() const = 0;
    // Local time minus UTC in minutes (east of Greenwich is positive), daylight time included.
    virtual int UtcOffsetMinutes() const = 0;
};

class SystemClock final : public Clock {
public:
    TDateTime Now() const override;
    int UtcOffsetMinutes() const override;
};

// A clock that stands still unless told otherwise; tests and reproducible conversions use it.
class FixedClock final : public Clock {
public:
    explicit FixedClock(TDateTime now = 0, int utcOffsetMinutes = 600);
    TDateTime Now() const override;
    int UtcOffsetMinutes() const override { return m_offset; }
    void Set(TDateTime now);
    void Advance(double days);

private:
    mutable std::mutex m_mutex;
    TDateTime m_now;
    int m_offset;
};

// Formats the system's time-zone suffix "+hhmm"/"-hhmm". The sign follows the platform bias
// (UTC minus local), so a zero offset is written with a minus sign.
std::string FormatZoneSuffix(int utcOffsetMinutes);

} // namespace vvp
