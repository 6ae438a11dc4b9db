// SPDX-License-Identifier: GPL-3.0-or-later
#include "ingest/records/ImportRecords.h"

#include <gtest/gtest.h>

namespace quaymark {
namespace {

TEST(ImportProgress, FractionRules) {
    ImportProgress progress;
    progress.phase = ImportPhase::copying;
    progress.totalFiles = 4;
    progress.verifiedFiles = 3;
    EXPECT_DOUBLE_EQ(progress.fraction(), 0.75) << "zero bytes: counted by files";

    progress.totalFiles = 0;
    progress.verifiedFiles = 0;
    EXPECT_DOUBLE_EQ(progress.fraction(), 0.0);

    progress.phase = ImportPhase::finished;
    EXPECT_DOUBLE_EQ(progress.fraction(), 1.0) << "finished is full whatever the counters";

    progress.phase = ImportPhase::verifying;
    progress.totalBytes = 100;
    progress.copiedBytes = 100;
    progress.verifiedBytes = 50;
    EXPECT_DOUBLE_EQ(progress.fraction(), 0.75) << "copy and reread each fill half";

    progress.verifiedBytes = 400;
    EXPECT_DOUBLE_EQ(progress.fraction(), 1.0) << "capped";
}

} // namespace
} // namespace quaymark
