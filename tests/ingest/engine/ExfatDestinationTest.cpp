// SPDX-License-Identifier: GPL-3.0-or-later
#include "ImportFixture.h"
#include "SharedReadsFixture.h"
#include "TestMounts.h"
#include "ingest/copy/UniqueFd.h"
#include "ingest/engine/ReceiptCheck.h"

#include <linux/fiemap.h>
#include <linux/fs.h>
#include <sys/ioctl.h>

#include <array>
#include <cstring>

namespace quaymark::test {
namespace {

// exFAT, the cards' own file system, has neither a no-replace rename nor hard links, and its
// FUSE driver refuses direct I/O: the engine's fallbacks for all three run here.
class ExfatDestinationTest : public ImportFixture {
protected:
    platform::LoopCard card{{"/usr/sbin/mkfs.exfat", "-L", "BACKUP"}, 64 << 20};
    fs::path point = card.folder() / "mnt";
    std::optional<platform::TestMount> mount;

    void SetUp() override {
        if (!card.unavailable().empty()) {
            GTEST_SKIP() << card.unavailable();
        }
        if (!mount.emplace(card.device(), point, "exfat-fuse").mounted()) {
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

// Every card ends either verified, with every file of the receipt in place and matching, or
// refused before anything is copied, naming what the drive cannot hold.
TEST_F(ExfatDestinationTest, CardsTheDriveCannotHoldAsTheyAreAreRefusedOrRenamedBeforeCopying) {
    struct Case {
        std::vector<std::string> files;
        bool videosOnly;
        std::string refusal; // empty: verified
        std::vector<std::string> outputs = {};
    };
    const std::vector<Case> cases = {
        {{"ASCMHL/A001.MP4", "ASCMHL/A002.MP4"}, false, "“ASCMHL/A001.MP4”"},
        {{"A001.MP4", "_quaymark_verified.json"}, false, "“_quaymark_verified.json”"},
        {{"CLIP/A001.MOV", "CLIP/a001.mov"}, false, "CLIP/A001.MOV and CLIP/a001.mov"},
        {{"CLIP/A001.MOV", "CLIP/a001.mov"}, true, "", {"A001_", "a001_"}},
        {{"A?.MOV", "B\n.MOV", "C\xff.MOV"}, false, "A?.MOV, B\\x0A.MOV, C\\xFF.MOV"},
        {{"A?.MOV", "B\n.MOV", "C\xff.MOV"}, true, "", {"A_.MOV", "B_.MOV", "C_.MOV"}},
        {{"ascmhl/extra/A002.MP4", "ascmhl/notes.txt", "A001.MP4"}, false, "", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.files.front() + (c.videosOnly ? " (clips only)" : ""));
        fs::remove_all(source.path());
        for (const auto& name : c.files) {
            writeFile(source / name, name);
        }
        options.videosOnly = c.videosOnly;
        try {
            const fs::path folder = ImportEngine::run(source.path(), point, options, cancellation,
                                                      std::nullopt, {}, environment)
                                        .destination;
            EXPECT_EQ(c.refusal, "");
            const auto claims = ImportEngine::readClaims(folder);
            ASSERT_EQ(claims.receipt.files.size(), c.files.size());
            for (size_t i = 0; i < c.outputs.size(); ++i) {
                EXPECT_TRUE(claims.receipt.files[i].path.starts_with(c.outputs[i]));
            }
            ImportEngine::checkFolder(
                folder, claims, cancellation,
                [](const ImportEngine::ReceiptFinding& finding) {
                    EXPECT_EQ(finding.state, ImportEngine::ReceiptFinding::State::matches)
                        << finding.path;
                },
                [](size_t) {});
            fs::remove_all(folder);
        } catch (const QuayError& error) {
            ASSERT_NE(c.refusal, "") << error.what();
            EXPECT_NE(std::string(error.what()).find(c.refusal), std::string::npos) << error.what();
            EXPECT_TRUE(listTree(point).empty()) << "nothing copied";
        }
    }
}

// An ext4 card image of `size` bytes on a loop device, mounted.
struct LoopExt4 {
    platform::LoopCard card;
    fs::path point = card.folder() / "mnt";
    std::optional<platform::TestMount> mount;
    std::string unavailable = card.unavailable(); // why it could not be mounted here

    explicit LoopExt4(std::uintmax_t size)
        : card({"/usr/sbin/mkfs.ext4", "-q", "-F"}, size) {
        if (unavailable.empty() && !mount.emplace(card.device(), point, "ext4").mounted()) {
            unavailable = "ext4 cannot be mounted here: " + mount->error();
        }
    }

    // Flips a byte of `file` on the image itself, beneath the page cache that still holds the
    // written bytes: storage that lost what it was given.
    void damageOnStorage(const fs::path& file) const {
        const UniqueFd fd{::open(file.c_str(), O_RDONLY | O_CLOEXEC)};
        ASSERT_TRUE(fd);
        alignas(fiemap) std::array<char, sizeof(fiemap) + sizeof(fiemap_extent)> buffer{};
        auto* map = reinterpret_cast<fiemap*>(buffer.data());
        map->fm_length = FIEMAP_MAX_OFFSET;
        map->fm_flags = FIEMAP_FLAG_SYNC; // written out first, so the blocks have a place
        map->fm_extent_count = 1;
        ASSERT_EQ(::ioctl(fd.get(), FS_IOC_FIEMAP, map), 0) << std::strerror(errno);
        ASSERT_EQ(map->fm_mapped_extents, 1u);
        const auto at = static_cast<off_t>(map->fm_extents[0].fe_physical + 100);
        const UniqueFd disk{::open((card.folder() / "card.img").c_str(), O_RDWR | O_CLOEXEC)};
        ASSERT_TRUE(disk);
        unsigned char byte = 0;
        ASSERT_EQ(::pread(disk.get(), &byte, 1, at), 1);
        byte ^= 0xFF;
        ASSERT_EQ(::pwrite(disk.get(), &byte, 1, at), 1);
        ASSERT_EQ(::fdatasync(disk.get()), 0);
    }
};

// A destination that fills up mid-copy fails alone; the one beside it, sharing the reads,
// finishes with every byte right.
TEST_F(SharedReadsFixture, AFullDestinationFailsAloneAndLeavesNothingBehind) {
    const LoopExt4 disk(16 << 20);
    if (!disk.unavailable.empty()) {
        GTEST_SKIP() << disk.unavailable;
    }
    makeCard(2, 12 << 20, 4);
    Destination& full = add(disk.point);
    // Past the free-space check at the start, so that the disk fills up while copying.
    full.environment.freeSpace = [](const fs::path&) { return std::nullopt; };
    Destination& roomy = add(targets / "roomy");
    runAll();
    expectInterrupted(full, "");
    EXPECT_NE(full.error.find("No space left on device"), std::string::npos) << full.error;
    expectVerified(roomy);
}

// The copy reaches storage damaged while the page cache still holds the right bytes: only a
// reread from storage sees it, and the copy must never get its name.
TEST_F(SharedReadsFixture, ACopyThatStorageLostIsNeverPromoted) {
    const LoopExt4 disk(32 << 20);
    if (!disk.unavailable.empty()) {
        GTEST_SKIP() << disk.unavailable;
    }
    makeCard(1, 4 << 20, 0);
    Destination& damaged = add(disk.point);
    bool done = false;
    damaged.onReport = [&](const ImportProgress& progress) {
        if (progress.copiedBytes == 0 || progress.copiedBytes < progress.totalBytes ||
            std::exchange(done, true)) {
            return;
        }
        for (const auto& name : listTree(disk.point)) {
            if (name.find(".partial") != std::string::npos) {
                disk.damageOnStorage(disk.point / name);
            }
        }
    };
    runAll();
    waitFor([&] { return damaged.ended; });
    EXPECT_TRUE(done);
    EXPECT_EQ(damaged.error,
              "Checksum mismatch: DCIM/100/C0000.MP4. The import has not been marked verified.");
    for (const auto& name : listTree(disk.point)) {
        EXPECT_EQ(name.find("C0000.MP4"), std::string::npos) << name;
    }
}

} // namespace
} // namespace quaymark::test
