#include "platform/wall_clock.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <ctime>

namespace veskator {

namespace {

// Two digits, or four for a year; out-of-range parts are clamped rather than widened.
std::string digits(int value, int width) {
    std::array<char, 8> text{};
    const int most = width == 4 ? 9999 : 99;
    std::snprintf(text.data(), text.size(), "%0*d", width, std::clamp(value, 0, most));
    return text.data();
}

}  // namespace

std::string dateText(const LocalTime& time) {
    return digits(time.year, 4) + "-" + digits(time.month, 2) + "-" + digits(time.day, 2);
}

std::string clockText(const LocalTime& time) {
    return digits(time.hour, 2) + ":" + digits(time.minute, 2) + ":" + digits(time.second, 2);
}

std::string dateTimeText(const LocalTime& time) { return dateText(time) + " " + clockText(time); }

LocalTime SystemWallClock::localNow() const {
    const std::time_t now = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
    std::tm local{};
    if (::localtime_r(&now, &local) == nullptr) return {};
    return LocalTime{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
                     local.tm_hour,        local.tm_min,     local.tm_sec};
}

}  // namespace veskator
