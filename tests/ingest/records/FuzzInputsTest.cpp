// SPDX-License-Identifier: GPL-3.0-or-later
#include "TestFiles.h"
#include "tests/fuzz/RecordsHarness.h"

#include <gtest/gtest.h>

namespace quaymark::test {
namespace {

// Fuzzing seeds and every input kept from fuzzing, through the fuzz target's round trip.
TEST(FuzzInputsTest, KeptDocumentsRoundTrip) {
    size_t decoded = 0;
    for (const char* folder : {"seeds", "regressions"}) {
        std::error_code error;
        const auto root = std::filesystem::path(QUAYMARK_RECORDS_FUZZ_INPUTS) / folder;
        for (const auto& entry : std::filesystem::directory_iterator(root, error)) {
            const std::string text = readFile(entry.path());
            EXPECT_NO_THROW(fuzz::checkDocument(text)) << entry.path();
            decoded += entry.path().extension() == ".json" ? 1 : 0;
        }
    }
    EXPECT_GE(decoded, 3u) << "seeds missing in " << QUAYMARK_RECORDS_FUZZ_INPUTS;
}

} // namespace
} // namespace quaymark::test
