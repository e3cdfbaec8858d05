#include "Clock.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <thread>

namespace vvp {

namespace {

constexpr double kMillisecondDays = 1.0 / 86400000.0;

const char* StampPattern(StampUnit unit) {
    return unit == StampUnit::Second ? "yyyymmddhhnnss" : "yyyymmddhhnnsszzz";
}

// The first moment of the unit after the one the time falls in.
TDateTime NextUnit(TDateTime time, StampUnit unit) {
    DateTimeParts parts = DecodeDateTime(time);
    int step = 1;
    if (unit == StampUnit::Second) {
        parts.millisecond = 0;
        step = 1000;
    }
    return EncodeDateTime(parts).value_or(time) + step * kMillisecondDays;
}

} // namespace

TDateTime Clock::TakeStamp(StampUnit unit) const {
    std::lock_guard lock(m_stampMutex);
    std::string& last = m_lastStamp[static_cast<size_t>(unit)];
    TDateTime now = Now();
    // A few rounds at most: a clock set back while waiting must not hold a job up for good.
    for (int round = 0; round < 3 && FormatDateTime(StampPattern(unit), now) == last; ++round) {
        WaitUntil(NextUnit(now, unit));
        now = Now();
    }
    last = FormatDateTime(StampPattern(unit), now);
    return now;
}

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

void SystemClock::WaitUntil(TDateTime time) const {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    for (;;) {
        const double leftMs = (time - Now()) / kMillisecondDays;
        if (leftMs <= 0 || std::chrono::steady_clock::now() >= deadline) return;
        std::this_thread::sleep_for(std::chrono::microseconds(static_cast<long long>(leftMs * 1000.0) + 200));
    }
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

void FixedClock::WaitUntil(TDateTime time) const {
    std::lock_guard lock(m_mutex);
    if (m_now < time) m_now = time;
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

std::unique_ptr<Clock> MakeClockFromEnvironment() {
    const char* value = std::getenv("VVP_FIXED_TIME");
    const std::string fixed = value ? value : "";
    if (fixed.size() == 14 && fixed.find_first_not_of("0123456789") == std::string::npos) {
        auto n = [&](size_t pos, size_t len) { return std::atoi(fixed.substr(pos, len).c_str()); };
        auto t = EncodeDateTime({n(0, 4), n(4, 2), n(6, 2), n(8, 2), n(10, 2), n(12, 2), 0});
        const char* offset = std::getenv("VVP_FIXED_UTC_OFFSET");
        if (t) return std::make_unique<FixedClock>(*t, offset && *offset ? std::atoi(offset) : 600);
    }
    return std::make_unique<SystemClock>();
}

} // namespace vvp
