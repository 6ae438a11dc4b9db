// SPDX-License-Identifier: GPL-3.0-or-later
#include "ImportFixture.h"
#include "ingest/scan/FileSize.h"

#include <sys/stat.h>

#include <set>

namespace quaymark::test {
namespace {

TEST_F(ImportFixture, NewImportCopiesVerifiesAndLeavesAReceipt) {
    makeCard();
    const ImportResult result = run();
    const fs::path folder = target / source.path().filename();
    EXPECT_EQ(result.destination, folder);
    EXPECT_EQ(result.fileCount, 10);

    const ImportReceipt receipt = decodeReceipt(readFile(folder / "_QUAYMARK_VERIFIED.json"));
    ASSERT_EQ(receipt.files.size(), 10u);
    EXPECT_TRUE(std::is_sorted(receipt.files.begin(), receipt.files.end(),
                               [](const auto& a, const auto& b) { return a.path < b.path; }));
    std::int64_t bytes = 0;
    for (const auto& file : receipt.files) {
        const std::string original = readFile(source / file.path);
        EXPECT_EQ(readFile(folder / file.path), original);
        EXPECT_EQ(file.sha256, Sha256::hex(original));
        EXPECT_EQ(file.sourcePath, file.path);
        bytes += file.bytes;
    }
    EXPECT_EQ(result.bytes, bytes);
    EXPECT_EQ(receipt.source, source.path().string());

    const SessionRecord record = journal(folder);
    EXPECT_EQ(record.status, "verified");
    EXPECT_FALSE(record.failure);
    EXPECT_EQ(record.completed.size(), 10u);
    EXPECT_FALSE(fs::exists(folder / "_QUAYMARK_INCOMPLETE.txt"));
    expectNoTemporaries(folder);

    std::lock_guard lock(mutex);
    ASSERT_GE(reports.size(), 3u);
    EXPECT_EQ(reports[1].destination, folder) << "the folder is shown while files are prepared";
    EXPECT_EQ(reports.back(), (ImportProgress{ImportPhase::finished, bytes, bytes, bytes, 10, 10,
                                              "Every file verified", folder}));
}

// Teammates on a shared drive must read the proof as they read the copies: the umask alone
// decides every mode, and a verified folder keeps no lock file.
TEST_F(ImportFixture, EveryDocumentTakesTheModeOfTheCopiesAndTheLockGoes) {
    makeCard(2);
    writeFile(source / "ascmhl/0001_card.mhl", "<hashlist/>");
    for (const mode_t mask : {mode_t{022}, mode_t{077}}) {
        const mode_t previous = ::umask(mask);
        const fs::path folder = run().destination;
        ::umask(previous);
        EXPECT_FALSE(fs::exists(folder / ".quaymark-import.lock"));
        // Receipt, journal, the history (folder, chain, two manifests), two copies in three
        // folders.
        EXPECT_EQ(listTree(folder).size(), 11u);
        for (const auto& entry : fs::recursive_directory_iterator(folder)) {
            struct stat info {};
            ASSERT_EQ(::lstat(entry.path().c_str(), &info), 0);
            const mode_t expected = (entry.is_directory() ? 0777 : 0666) & ~mask;
            EXPECT_EQ(info.st_mode & 07777, expected) << entry.path() << " under umask " << mask;
        }
        fs::remove_all(folder);
    }
}

// The receipt may only list names that survive a power cut: every folder holding a copy, and
// every folder made on the way from the destination, is flushed before it is written.
TEST_F(ImportFixture, EveryFolderOfTheCopiesIsFlushedBeforeTheReceipt) {
    makeCard(4);
    options.folderRule = "{date}/{source}";
    std::vector<std::pair<fs::path, bool>> synced;
    environment.folderSynced = [&](const fs::path& folder) {
        const auto names = listTree(target.path());
        synced.emplace_back(folder, std::any_of(names.begin(), names.end(), [](const auto& name) {
                                return name.ends_with("_QUAYMARK_VERIFIED.json");
                            }));
    };
    const fs::path folder = run().destination;
    std::set<fs::path> flushed;
    for (const auto& [path, receiptSeen] : synced) {
        EXPECT_FALSE(receiptSeen) << path;
        flushed.insert(path);
    }
    const std::set<fs::path> expected{folder,
                                      folder / "DCIM",
                                      folder / "DCIM/100",
                                      folder / "DCIM/101",
                                      folder.parent_path(),
                                      target.path()};
    EXPECT_EQ(flushed, expected);
}

TEST_F(ImportFixture, PreparationFailuresWriteNothing) {
    EXPECT_EQ(runFailure(), "No matching files were found in this source.");
    EXPECT_TRUE(listTree(target.path()).empty());

    writeFile(source / "C0001.MP4", "x");
    options.folderRule = "../escape";
    EXPECT_EQ(runFailure(), "Use a relative folder rule with {date}, {time}, {source}, {year}, "
                            "{month}, {day}, or {camera}. Avoid hidden folders, empty names and "
                            "'..'.");
    EXPECT_TRUE(listTree(target.path()).empty());

    options.folderRule = "{source}";
    cancellation.cancel();
    EXPECT_EQ(runFailure(), "Import cancelled. Completed files remain in the import folder.");
    EXPECT_TRUE(listTree(target.path()).empty());
}

TEST_F(ImportFixture, FreeSpaceMustCoverTheCopyAndSixteenMebibytes) {
    makeCard(3);
    const std::int64_t needed = 3 * 4096 + 0 + 1 + 2;
    std::int64_t free = needed + 16'777'216;
    environment.freeSpace = [&](const fs::path&) { return free; };
    EXPECT_NO_THROW(run());

    free -= 1;
    EXPECT_EQ(runFailure(),
              "Not enough free space. Remaining copy requires " + formatFileSize(needed) + ".");
    const fs::path folder = target / (source.path().filename().string() + "_002");
    EXPECT_EQ(journal(folder).status, "interrupted");
    EXPECT_TRUE(markerOf(folder).starts_with("Import interrupted: Not enough free space."));
}

TEST_F(ImportFixture, NoParallelFilesMeansNothingIsCopiedAndTheImportIsShort) {
    makeCard(2);
    options.parallelFiles = 0;
    EXPECT_EQ(runFailure(), "The import is missing files. Use Retry / recover.");
    const fs::path folder = onlyImportFolder();
    EXPECT_FALSE(fs::exists(folder / "_QUAYMARK_VERIFIED.json"));
    EXPECT_EQ(journal(folder).status, "interrupted");
}

TEST_F(ImportFixture, CancellingMidCopyKeepsVerifiedFilesAndResumes) {
    makeCard(6, 3 * 1024 * 1024);
    options.parallelFiles = 1;
    onReport = [&](const ImportProgress& progress) {
        if (progress.verifiedFiles == 2) {
            cancellation.cancel();
        }
    };
    const std::string cancelled = "Import cancelled. Completed files remain in the import folder.";
    EXPECT_EQ(runFailure(), cancelled);
    const fs::path folder = onlyImportFolder();
    const SessionRecord record = journal(folder);
    EXPECT_EQ(record.status, "interrupted");
    EXPECT_EQ(record.failure, cancelled);
    EXPECT_GE(record.completed.size(), 2u);
    EXPECT_LT(record.completed.size(), 6u);
    for (const auto& receipt : record.completed) {
        EXPECT_EQ(Sha256::hex(readFile(folder / receipt.path)), receipt.sha256);
    }
    EXPECT_EQ(markerOf(folder),
              "Import interrupted: Import cancelled. Completed files remain in the import "
              "folder.\nUse Retry / recover after reconnecting the original source and "
              "destination.\n");
    expectNoTemporaries(folder);

    CancellationFlag fresh;
    onReport = nullptr;
    const ImportResult result = ImportEngine::run(source.path(), target.path(), options, fresh,
                                                  folder, nullptr, environment);
    EXPECT_EQ(result.fileCount, 6);
    EXPECT_EQ(decodeReceipt(readFile(folder / "_QUAYMARK_VERIFIED.json")).files.size(), 6u);
    EXPECT_EQ(journal(folder).status, "verified");
}

TEST_F(ImportFixture, FileAddedDuringTheImportFailsTheFinalCheck) {
    makeCard(3);
    onReport = [&](const ImportProgress& progress) {
        if (progress.verifiedFiles == 1) {
            std::error_code ignored;
            if (!fs::exists(source / "DCIM/NEW.MP4", ignored)) {
                writeFile(source / "DCIM/NEW.MP4", "late");
            }
        }
    };
    EXPECT_EQ(runFailure(), "Source changed during import: The source file list changed during "
                            "import. Keep the card untouched and try again.");
    const fs::path folder = onlyImportFolder();
    EXPECT_FALSE(fs::exists(folder / "_QUAYMARK_VERIFIED.json"));
    EXPECT_EQ(journal(folder).status, "interrupted");
    EXPECT_EQ(journal(folder).completed.size(), 3u) << "every planned file did verify";
}

TEST_F(ImportFixture, FirstCopyErrorWinsOverTheCancellationsItCauses) {
    makeCard(4, 6 * 1024 * 1024);
    options.parallelFiles = 2;
    // Once planned, one clip grows on the card before its copy starts.
    onReport = [&](const ImportProgress& progress) {
        if (progress.currentFile == "Preparing files…") {
            std::FILE* out = std::fopen((source / "DCIM/101/C0003.MP4").c_str(), "ab");
            std::fputs("grown", out);
            std::fclose(out);
        }
    };
    const std::string changed =
        "Source changed during import: DCIM/101/C0003.MP4. Keep the card untouched and try again.";
    EXPECT_EQ(runFailure(), changed);
    const fs::path folder = onlyImportFolder();
    const SessionRecord record = journal(folder);
    EXPECT_EQ(record.failure, changed);
    for (const auto& receipt : record.completed) {
        EXPECT_TRUE(fs::exists(folder / receipt.path)) << "recorded files are in place";
        EXPECT_NE(receipt.path, "DCIM/101/C0003.MP4");
    }
    expectNoTemporaries(folder);
}

} // namespace
} // namespace quaymark::test
