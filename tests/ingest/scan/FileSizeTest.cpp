// SPDX-License-Identifier: GPL-3.0-or-later
#include "ingest/scan/FileSize.h"

#include <gtest/gtest.h>

#include <limits>

namespace quaymark {
namespace {

TEST(FileSize, ReadsLikeAFileManagerInDecimalUnits) {
    // Half up at each unit's decimals, into the next unit where that reaches 1000; the extremes
    // of the type must not overflow.
    const std::vector<std::pair<std::int64_t, std::string>> cases{
        {0, "0 bytes"},
        {1, "1 byte"},
        {1'000, "1 KB"},
        {1'500, "2 KB"},
        {999'500, "1 MB"},
        {1'234'567'890, "1.23 GB"},
        {182'500'000'000, "182.5 GB"},
        {999'995'000'000, "1 TB"},
        {std::numeric_limits<std::int64_t>::max(), "9.22 EB"},
        {std::numeric_limits<std::int64_t>::min(), "-9.22 EB"},
    };
    for (const auto& [bytes, text] : cases) {
        EXPECT_EQ(formatFileSize(bytes), text) << bytes;
    }
}

} // namespace
} // namespace quaymark
