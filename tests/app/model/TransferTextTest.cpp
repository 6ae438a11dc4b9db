// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/model/TransferText.h"

#include "QtPrinting.h"
#include "app/model/DestinationJob.h"

#include <gtest/gtest.h>

#include <limits>

namespace quaymark {
namespace {

TEST(TransferText, SpeedInWholeMegabytesOrADash) {
    EXPECT_EQ(speedText(182'600'000), u"183 MB/s");
    EXPECT_EQ(speedText(400'000), u"0 MB/s") << "moving, if slowly";
    EXPECT_EQ(speedText(0), u"— MB/s");
    EXPECT_EQ(speedText(std::numeric_limits<double>::quiet_NaN()), u"— MB/s");
    EXPECT_EQ(speedText(std::numeric_limits<double>::infinity()), u"— MB/s");
}

TEST(TransferText, VerifiedSummaryCountsFilesWithoutGrouping) {
    EXPECT_EQ(verifiedSummary({"/x", 1204, 182'500'000'000, 1433.9}),
              u"1204 files · 182.5 GB · SHA-256 matched · 1433s");
    EXPECT_EQ(verifiedSummary({"/x", 1, 2'100'000'000, 0.2}),
              u"1 file · 2.1 GB · SHA-256 matched · 0s");
    EXPECT_EQ(verifiedSummary({"/x", 0, 0, -1}), u"0 files · 0 bytes · SHA-256 matched · 0s");
    EXPECT_EQ(
        verifiedSummary({"/x", 2, 10, 1, {"ASC MHL: A.MOV differs.", "ASC MHL: B.MOV differs."}}),
        u"2 files · 10 bytes · SHA-256 matched · 1s · ASC MHL: A.MOV differs. (+1 more)");
}

TEST(TransferText, ProgressTruncatesThePercentage) {
    ImportProgress progress;
    progress.phase = ImportPhase::copying;
    progress.totalFiles = 120;
    progress.verifiedFiles = 37;
    progress.totalBytes = 1000;
    progress.copiedBytes = 600; // 30% of copy plus reread
    EXPECT_EQ(progressSummary(progress), u"37/120 verified · 30%");
    progress.copiedBytes = 580; // 29%, which binary fractions put just below
    EXPECT_EQ(progressSummary(progress), u"37/120 verified · 29%");
    progress.copiedBytes = 1000;
    progress.verifiedBytes = 999;
    EXPECT_EQ(progressSummary(progress), u"37/120 verified · 99%") << "never rounded up to done";
    EXPECT_EQ(progressSummary(ImportProgress{}), u"0/0 verified · 0%");
}

} // namespace
} // namespace quaymark
