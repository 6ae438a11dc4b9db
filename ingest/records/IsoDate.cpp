// SPDX-License-Identifier: GPL-3.0-or-later
#include "IsoDate.h"

#include <time.h>

#include <charconv>
#include <limits>
#include <stdexcept>

namespace quaymark {

std::string formatIsoDate(Timestamp date) {
    const auto seconds = std::chrono::floor<std::chrono::seconds>(date);
    const time_t t = static_cast<time_t>(seconds.time_since_epoch().count());
    struct tm parts {};
    if (::gmtime_r(&t, &parts) == nullptr) {
        throw std::invalid_argument("Date out of range");
    }
    char text[32];
    const size_t length = ::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &parts);
    return std::string(text, length);
}

namespace {

int digits(std::string_view text, size_t at, size_t count) {
    int value = 0;
    const char* first = text.data() + at;
    const auto [end, error] = std::from_chars(first, first + count, value);
    if (error != std::errc{} || end != first + count) {
        throw std::invalid_argument("Invalid date: " + std::string(text));
    }
    return value;
}

} // namespace

Timestamp parseIsoDate(std::string_view text) {
    // yyyy-MM-ddTHH:mm:ssZ
    constexpr size_t length = 20;
    if (text.size() != length || text[4] != '-' || text[7] != '-' || text[10] != 'T' ||
        text[13] != ':' || text[16] != ':' || text[19] != 'Z') {
        throw std::invalid_argument("Invalid date: " + std::string(text));
    }
    struct tm parts {};
    parts.tm_year = digits(text, 0, 4) - 1900;
    parts.tm_mon = digits(text, 5, 2) - 1;
    parts.tm_mday = digits(text, 8, 2);
    parts.tm_hour = digits(text, 11, 2);
    parts.tm_min = digits(text, 14, 2);
    parts.tm_sec = digits(text, 17, 2);
    if (parts.tm_mon > 11 || parts.tm_mday < 1 || parts.tm_mday > 31 || parts.tm_hour > 23 ||
        parts.tm_min > 59 || parts.tm_sec > 60) {
        throw std::invalid_argument("Invalid date: " + std::string(text));
    }
    const auto date = timestampFromFileTime(::timegm(&parts), 0);
    if (!date) {
        throw std::invalid_argument("Date out of range: " + std::string(text));
    }
    return *date;
}

std::optional<Timestamp> timestampFromFileTime(std::int64_t seconds, std::int64_t nanoseconds) {
    using Ticks = Timestamp::duration;
    constexpr auto perSecond = std::chrono::duration_cast<Ticks>(std::chrono::seconds(1)).count();
    constexpr auto limit = std::numeric_limits<Ticks::rep>::max() / perSecond - 1;
    if (seconds < -limit || seconds > limit || nanoseconds < 0 || nanoseconds >= 1'000'000'000) {
        return std::nullopt;
    }
    return Timestamp{std::chrono::duration_cast<Ticks>(std::chrono::seconds(seconds) +
                                                       std::chrono::nanoseconds(nanoseconds))};
}

} // namespace quaymark
