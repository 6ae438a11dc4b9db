// SPDX-License-Identifier: GPL-3.0-or-later
#include "FileSize.h"

#include <array>
#include <string_view>

namespace quaymark {

namespace {

struct Unit {
    std::string_view name;
    std::uint64_t size;
    int decimals;
};

constexpr std::array<Unit, 6> units{{{"KB", 1'000ULL, 0},
                                     {"MB", 1'000'000ULL, 1},
                                     {"GB", 1'000'000'000ULL, 2},
                                     {"TB", 1'000'000'000'000ULL, 2},
                                     {"PB", 1'000'000'000'000'000ULL, 2},
                                     {"EB", 1'000'000'000'000'000'000ULL, 2}}};

std::uint64_t powerOfTen(int exponent) {
    std::uint64_t value = 1;
    while (exponent-- > 0) {
        value *= 10;
    }
    return value;
}

} // namespace

std::string formatFileSize(std::int64_t bytes) {
    const std::string sign = bytes < 0 ? "-" : "";
    // Through unsigned arithmetic, so that the most negative count has a magnitude too.
    const std::uint64_t magnitude =
        bytes < 0 ? ~static_cast<std::uint64_t>(bytes) + 1 : static_cast<std::uint64_t>(bytes);
    if (magnitude < units.front().size) {
        return sign + std::to_string(magnitude) + (magnitude == 1 ? " byte" : " bytes");
    }
    size_t index = 0;
    while (index + 1 < units.size() && magnitude >= units[index + 1].size) {
        ++index;
    }
    for (;; ++index) {
        const Unit& unit = units[index];
        const std::uint64_t scale = powerOfTen(unit.decimals);
        const std::uint64_t step = unit.size / scale;
        // Rounded to the unit's decimals, half up; below 2^64 for every int64 magnitude.
        const std::uint64_t rounded = magnitude / step + (magnitude % step >= (step + 1) / 2);
        const std::uint64_t whole = rounded / scale;
        const std::uint64_t fraction = rounded % scale;
        // 999.96 MB rounds to 1000.0 MB, which reads "1 GB".
        if (whole >= 1000 && index + 1 < units.size()) {
            continue;
        }
        std::string text = sign + std::to_string(whole);
        if (fraction != 0) {
            std::string digits = std::to_string(fraction);
            digits.insert(0, static_cast<size_t>(unit.decimals) - digits.size(), '0');
            digits.erase(digits.find_last_not_of('0') + 1);
            text += "." + digits;
        }
        return text + " " + std::string(unit.name);
    }
}

} // namespace quaymark
