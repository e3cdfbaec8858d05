#pragma once

#include "DateTime.h"

#include <array>
#include <atomic>
#include <memory>
#include <mutex>
#include <string>

namespace vvp {

// What the time in a control id counts: orders name the second, letters the millisecond.
enum class StampUnit { Second, Millisecond };

class Clock {
public:
    virtual ~Clock() = default;
    // Local date and time, to the millisecond.
    virtual TDateTime Now() const = 0;
    // Local time minus UTC in minutes (east of Greenwich is positive), daylight time included.
    virtual int UtcOffsetMinutes() const = 0;

    // The time for a message whose control id is this time to the unit. A receiver drops a
    // repeated id, so when the unit is the one this clock handed out last, it waits for the next.
    TDateTime TakeStamp(StampUnit unit) const;

protected:
    // Returns once Now() has reached the time (or after a bounded wait).
    virtual void WaitUntil(TDateTime time) const = 0;

private:
    mutable std::mutex m_stampMutex;
    mutable std::array<std::string, 2> m_lastStamp;
};

class SystemClock final : public Clock {
public:
    TDateTime Now() const override;
    int UtcOffsetMinutes() const override;

protected:
    void WaitUntil(TDateTime time) const override;
};

// A clock that stands still unless told otherwise; tests and reproducible conversions use it.
// Waiting for a later time moves it there at once.
class FixedClock final : public Clock {
public:
    explicit FixedClock(TDateTime now = 0, int utcOffsetMinutes = 600);
    TDateTime Now() const override;
    int UtcOffsetMinutes() const override { return m_offset; }
    void Set(TDateTime now);
    void Advance(double days);

protected:
    void WaitUntil(TDateTime time) const override;

private:
    mutable std::mutex m_mutex;
    mutable TDateTime m_now;
    int m_offset;
};

// Formats the system's time-zone suffix "+hhmm"/"-hhmm". The sign follows the platform bias
// (UTC minus local), so a zero offset is written with a minus sign.
std::string FormatZoneSuffix(int utcOffsetMinutes);

// The system clock, or with VVP_FIXED_TIME=yyyymmddhhnnss (and VVP_FIXED_UTC_OFFSET in minutes,
// default 600) a fixed one, so every time stamp is reproducible (tests, demonstrations).
std::unique_ptr<Clock> MakeClockFromEnvironment();

} // namespace vvp
