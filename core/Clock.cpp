#include "Clock.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>

namespace vvp {

TDateTime SystemClock::Now() const {
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    tm local{};
    localtime_r(&ts.tv_sec, &local);
    DateTimeParts p{local.tm_year + 1900,
                    local.tm_mon + 1,
                    local.tm_mday,
                    local.tm_hour,
                    local.tm_min,
                    local.tm_sec > 59 ? 59 : local.tm_sec,
                    static_cast<int>(ts.tv_nsec / 1000000)};
    return EncodeDateTime(p).value_or(0);
}

int SystemClock::UtcOffsetMinutes() const {
    time_t now = time(nullptr);
    tm local{};
    localtime_r(&now, &local);
    return static_cast<int>(local.tm_gmtoff / 60);
}

FixedClock::FixedClock(TDateTime now, int utcOffsetMinutes) : m_now(now), m_offset(utcOffsetMinutes) {}

TDateTime FixedClock::Now() const {
    std::lock_guard lock(m_mutex);
    return m_now;
}

void FixedClock::Set(TDateTime now) {
    std::lock_guard lock(m_mutex);
    m_now = now;
}

void FixedClock::Advance(double days) {
    std::lock_guard lock(m_mutex);
    m_now += days;
}

std::string FormatZoneSuffix(int utcOffsetMinutes) {
    int bias = -utcOffsetMinutes;
    int a = std::abs(bias);
    char buf[16];
    std::snprintf(buf, sizeof buf, "%c%02d%02d", bias < 0 ? '+' : '-', a / 60, a % 60);
    return buf;
}

} // namespace vvp
