// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>

namespace quaymark {

// A byte count as a file manager shows it, in decimal units: "0 bytes", "1 byte",
// "512 bytes", "12 KB", "1.5 MB", "182.5 GB", "1.23 TB". Kilobytes are whole, megabytes carry
// one decimal and larger units two, without trailing zeros; ASCII digits whatever the locale.
std::string formatFileSize(std::int64_t bytes);

} // namespace quaymark
