// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ImportRecords.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quaymark {

// "2025-03-01T09:30:00Z": UTC, whole seconds (the fraction is dropped).
std::string formatIsoDate(Timestamp date);

// Reads the form formatIsoDate writes; throws std::invalid_argument otherwise, and for a date
// that a Timestamp cannot hold (before 1678 or after 2261).
Timestamp parseIsoDate(std::string_view text);

// A file time as a Timestamp, or nothing when it lies outside what a Timestamp can hold: a card
// with a clock set to the year 1200 must not wrap around to another date.
std::optional<Timestamp> timestampFromFileTime(std::int64_t seconds, std::int64_t nanoseconds);

} // namespace quaymark
