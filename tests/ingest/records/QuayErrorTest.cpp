#include "ingest/records/QuayError.h"

#include "ingest/records/ImportRecords.h"

#include <gtest/gtest.h>

#include <cstring>

namespace quaymark {
namespace {

TEST(QuayError, DescriptionsAreTheUserFacingSentences) {
    EXPECT_STREQ(QuayError::invalidLocation("Cannot lock this import folder.").what(),
                 "Cannot lock this import folder.");
    EXPECT_STREQ(QuayError::unavailable("Drive or folder unavailable: /x").what(),
                 "Drive or folder unavailable: /x");
    EXPECT_STREQ(QuayError::changed("DCIM/C0001.MP4").what(),
                 "Source changed during import: DCIM/C0001.MP4. Keep the card untouched and try "
                 "again.");
    EXPECT_STREQ(QuayError::verification("A/B.MOV").what(),
                 "Checksum mismatch: A/B.MOV. The import has not been marked verified.");
    EXPECT_STREQ(QuayError::cancelled().what(),
                 "Import cancelled. Completed files remain in the import folder.");
    EXPECT_STREQ(QuayError::noFiles().what(), "No matching files were found in this source.");
}

TEST(QuayError, IoNamesOperationPathSystemTextAndNumber) {
    const auto error = QuayError::io("Write", "A/B.MOV", 28);
    const std::string expected =
        std::string("Write failed for A/B.MOV: ") + std::strerror(28) + " (28).";
    EXPECT_EQ(error.what(), expected);
    EXPECT_EQ(expected, "Write failed for A/B.MOV: No space left on device (28).");
    EXPECT_EQ(error.kind(), QuayError::Kind::io);
    EXPECT_EQ(error.operation(), "Write");
    EXPECT_EQ(error.payload(), "A/B.MOV");
    EXPECT_EQ(error.code(), 28);
}

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

TEST(ImportPhase, OnlyExactNamesMakeAPhase) {
    EXPECT_EQ(importPhaseFromString("copying"), ImportPhase::copying);
    EXPECT_EQ(importPhaseFromString("Copying"), std::nullopt);
}

TEST(ImportDocuments, MarkerTexts) {
    EXPECT_EQ(ImportDocuments::incompleteText,
              "Import incomplete. Only _QUAYMARK_VERIFIED.json confirms a fully verified "
              "import.\n");
    EXPECT_EQ(ImportDocuments::interruptedText("Import cancelled. Completed files remain in the "
                                               "import folder."),
              "Import interrupted: Import cancelled. Completed files remain in the import "
              "folder.\nUse Retry / recover after reconnecting the original source and "
              "destination.\n");
}

} // namespace
} // namespace quaymark
