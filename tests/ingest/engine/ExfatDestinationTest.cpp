// SPDX-License-Identifier: GPL-3.0-or-later
#include "ImportFixture.h"
#include "SharedReadsFixture.h"
#include "TestMounts.h"

namespace quaymark::test {
namespace {

// exFAT, the cards' own file system, has neither a no-replace rename nor hard links, and its
// FUSE driver refuses direct I/O: the engine's fallbacks for all three run here.
class ExfatDestinationTest : public ImportFixture {
protected:
    std::unique_ptr<platform::LoopCard> card;
    std::unique_ptr<platform::TestMount> mount;
    fs::path point;

    void SetUp() override {
        card = std::make_unique<platform::LoopCard>(
            std::vector<std::string>{"/usr/sbin/mkfs.exfat", "-L", "BACKUP"}, 64 << 20);
        if (!card->unavailable().empty()) {
            GTEST_SKIP() << card->unavailable();
        }
        point = card->folder() / "mnt";
        mount = std::make_unique<platform::TestMount>(card->device(), point, "exfat-fuse");
        if (!mount->mounted()) {
            GTEST_SKIP() << "exFAT cannot be mounted here: " << mount->error();
        }
    }
};

TEST_F(ExfatDestinationTest, CopiesPromotesAndResumesWithTheFallbacks) {
    makeCard(6, 300'000);
    const fs::path folder = ImportEngine::run(source.path(), point, options, cancellation,
                                              std::nullopt, {}, environment)
                                .destination;
    SessionRecord record = journal(folder);
    ASSERT_EQ(record.status, "verified");

    // Taken back to a hard stop with half the copies in place, then resumed.
    fs::remove(folder / "_QUAYMARK_VERIFIED.json");
    for (int i = 0; i < 6; i += 2) {
        fs::remove(folder / ("DCIM/100/C000" + std::to_string(i) + ".MP4"));
    }
    record.status = "interrupted";
    record.completed.clear();
    saveSession(record, folder);
    ImportEngine::run(source.path(), point, options, cancellation, folder, {}, environment);

    const ImportReceipt receipt = decodeReceipt(readFile(folder / "_QUAYMARK_VERIFIED.json"));
    ASSERT_EQ(receipt.files.size(), 6u);
    for (const auto& file : receipt.files) {
        EXPECT_EQ(readFile(folder / file.path), readFile(source / file.path)) << file.path;
    }
    expectNoTemporaries(folder);
}

// A destination that fills up mid-copy fails alone; the one beside it, sharing the reads,
// finishes with every byte right.
TEST_F(SharedReadsFixture, AFullDestinationFailsAloneAndLeavesNothingBehind) {
    const platform::LoopCard card({"/usr/sbin/mkfs.ext4", "-q", "-F"});
    if (!card.unavailable().empty()) {
        GTEST_SKIP() << card.unavailable();
    }
    const fs::path point = card.folder() / "mnt";
    platform::TestMount mount{card.device(), point, "ext4"};
    if (!mount.mounted()) {
        GTEST_SKIP() << "ext4 cannot be mounted here: " << mount.error();
    }

    makeCard(2, 12 << 20, 4);
    Destination& full = add(point);
    // Past the free-space check at the start, so that the disk fills up while copying.
    full.environment.freeSpace = [](const fs::path&) { return std::nullopt; };
    Destination& roomy = add(targets / "roomy");
    runAll();
    expectInterrupted(full, "");
    EXPECT_NE(full.error.find("No space left on device"), std::string::npos) << full.error;
    expectVerified(roomy);
}

} // namespace
} // namespace quaymark::test
