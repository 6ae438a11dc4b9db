#pragma once

#include "ImportRecords.h"

#include <string>
#include <string_view>

namespace quaymark {

// "2025-03-01T09:30:00Z": UTC, whole seconds (the fraction is dropped).
std::string formatIsoDate(Timestamp date);

// Reads the form formatIsoDate writes; throws std::invalid_argument otherwise.
Timestamp parseIsoDate(std::string_view text);

} // namespace quaymark
