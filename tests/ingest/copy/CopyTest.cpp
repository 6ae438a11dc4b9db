// SPDX-License-Identifier: GPL-3.0-or-later
#include "TestFiles.h"
#include "ingest/copy/FileCopy.h"
#include "ingest/copy/FileDigest.h"
#include "ingest/copy/ReadSession.h"
#include "ingest/records/Sha256.h"
#include "ingest/records/Xxh128.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <tuple>

namespace quaymark {
namespace {

namespace fs = std::filesystem;
constexpr size_t MiB = 1024 * 1024;

Timestamp modificationTime(const fs::path& path) {
    struct stat info {};
    EXPECT_EQ(::stat(path.c_str(), &info), 0);
    return Timestamp{std::chrono::duration_cast<Timestamp::duration>(
        std::chrono::seconds{info.st_mtim.tv_sec} +
        std::chrono::nanoseconds{info.st_mtim.tv_nsec})};
}

// One source folder, one import folder, and everything a copy shares with its run.
class CopyTest : public ::testing::Test {
protected:
    test::TempDir source;
    test::TempDir destination;
    CancellationFlag cancellation;
    CancellationFlag localCancel;
    VolumeGuard sourceGuard = VolumeGuard::make(source.path());
    VolumeGuard targetGuard = VolumeGuard::make(destination.path());
    std::vector<ImportProgress> reports;
    std::function<void(const ImportProgress&)> onReport;
    // Made afresh for every planned file, so its first block is always reported.
    std::optional<ProgressTracker> tracker;
    const std::string partialName = ".quaymark-TEST.partial";

    SourceFile plan(const std::string& relative, std::string_view content,
                    const std::string& output = {}) {
        const auto path = source / relative;
        test::writeFile(path, content);
        reports.clear();
        tracker.emplace(ImportProgress{ImportPhase::copying,
                                       static_cast<std::int64_t>(content.size()),
                                       0,
                                       0,
                                       1,
                                       0,
                                       {},
                                       {}},
                        [this](const ImportProgress& progress) {
                            reports.push_back(progress);
                            if (onReport) {
                                onReport(progress);
                            }
                        });
        return SourceFile{path, relative, output.empty() ? relative : output,
                          static_cast<std::int64_t>(content.size()), modificationTime(path)};
    }

    FileReceipt copy(const SourceFile& file, const std::string& partial = {}) {
        const ImportEngine::CopyContext context{destination.path(), cancellation, localCancel,
                                                sourceGuard,        targetGuard,  *tracker};
        return ImportEngine::copy(file, partial.empty() ? partialName : partial, context);
    }

    // Only what the test itself put there: no partial and no status files.
    void expectDestination(const std::vector<std::string>& entries) {
        EXPECT_EQ(test::listTree(destination.path()), entries);
    }
};

TEST_F(CopyTest, CopiesExactBytesAndProvesThem) {
    const std::string content = test::patternBytes(20 * MiB + 123);
    const SourceFile file = plan("DCIM/100/C0001.MP4", content);
    const FileReceipt receipt = copy(file, "DCIM/100/.quaymark-A.partial");

    EXPECT_EQ(test::readFile(destination / "DCIM/100/C0001.MP4"), content);
    EXPECT_EQ(receipt, (FileReceipt{"DCIM/100/C0001.MP4", static_cast<std::int64_t>(content.size()),
                                    Sha256::hex(content), file.modified, "DCIM/100/C0001.MP4",
                                    Xxh128::hex(content)}));
    EXPECT_EQ(modificationTime(destination / "DCIM/100/C0001.MP4"), *file.modified);
    expectDestination({"DCIM", "DCIM/100", "DCIM/100/C0001.MP4"});

    ASSERT_FALSE(reports.empty());
    const ImportProgress& last = reports.back();
    EXPECT_EQ(last.copiedBytes, static_cast<std::int64_t>(content.size()));
    EXPECT_EQ(last.verifiedBytes, static_cast<std::int64_t>(content.size()));
    EXPECT_EQ(last.verifiedFiles, 1);
    EXPECT_EQ(last.phase, ImportPhase::verifying);
    EXPECT_EQ(last.currentFile, "DCIM/100/C0001.MP4");
}

TEST_F(CopyTest, EmptySourceMakesAnEmptyVerifiedCopyWithOneReport) {
    const SourceFile file = plan("EMPTY.MOV", "");
    const FileReceipt receipt = copy(file);
    EXPECT_EQ(receipt.bytes, 0);
    EXPECT_EQ(receipt.sha256, "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    // xxHash's published XXH3-128 of no data.
    EXPECT_EQ(receipt.xxh128, "99aa06d3014798d86001c324468d497f");
    EXPECT_EQ(test::readFile(destination / "EMPTY.MOV"), "");
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].verifiedFiles, 1);
}

TEST_F(CopyTest, ModificationTimeToleranceIsTenMilliseconds) {
    SourceFile close = plan("CLOSE.MOV", "a");
    *close.modified += std::chrono::milliseconds{5};
    EXPECT_NO_THROW(copy(close));

    SourceFile far = plan("FAR.MOV", "b");
    *far.modified -= std::chrono::milliseconds{20};
    try {
        copy(far);
        FAIL() << "a source 20 ms off its scan must be refused";
    } catch (const QuayError& error) {
        EXPECT_STREQ(error.what(), "Source changed during import: FAR.MOV. Keep the card "
                                   "untouched and try again.");
    }
    expectDestination({"CLOSE.MOV"});
}

TEST_F(CopyTest, SourceChangedBeforeOrDuringTheCopyIsRefusedAndLeavesNothing) {
    SourceFile resized = plan("RESIZED.MOV", "abc");
    resized.bytes = 4;
    EXPECT_THROW(copy(resized), QuayError);

    // Long enough that the first block's report comes before the read reaches the end, however
    // far the read runs ahead of the write.
    const SourceFile growing = plan("GROWING.MOV", test::patternBytes(48 * MiB + 1));
    onReport = [&, done = false](const ImportProgress&) mutable {
        if (std::exchange(done, true)) {
            return;
        }
        std::FILE* out = std::fopen(growing.url.c_str(), "ab");
        std::fputs("more", out);
        std::fclose(out);
    };
    try {
        copy(growing);
        FAIL() << "a source that grew while read must be refused";
    } catch (const QuayError& error) {
        EXPECT_EQ(error.kind(), QuayError::Kind::changed);
        EXPECT_EQ(error.payload(), "GROWING.MOV");
    }

    // Rewritten in place with its date put back, as some tools do: only the status-change time
    // tells. The rewrite must fall in a later clock tick than the file's creation.
    const SourceFile rewritten = plan("REWRITTEN.MOV", test::patternBytes(48 * MiB + 1));
    struct stat original {};
    ASSERT_EQ(::stat(rewritten.url.c_str(), &original), 0);
    for (timespec now{}; ::clock_gettime(CLOCK_REALTIME_COARSE, &now) == 0 &&
                         std::tie(now.tv_sec, now.tv_nsec) <=
                             std::tie(original.st_ctim.tv_sec, original.st_ctim.tv_nsec);) {
    }
    onReport = [&, done = false](const ImportProgress&) mutable {
        if (std::exchange(done, true)) {
            return;
        }
        const int fd = ::open(rewritten.url.c_str(), O_WRONLY);
        ASSERT_EQ(::pwrite(fd, "X", 1, 0), 1);
        ::close(fd);
        const timespec times[2] = {{0, UTIME_OMIT}, original.st_mtim};
        ASSERT_EQ(::utimensat(AT_FDCWD, rewritten.url.c_str(), times, 0), 0);
    };
    try {
        copy(rewritten);
        FAIL() << "a source rewritten while read must be refused";
    } catch (const QuayError& error) {
        EXPECT_EQ(error.payload(), "REWRITTEN.MOV");
    }
    expectDestination({});
}

TEST_F(CopyTest, CopyCorruptedOnTheWayIsNeverPromoted) {
    const SourceFile file = plan("C0001.MP4", test::patternBytes(9 * MiB, 7));
    onReport = [&](const ImportProgress& progress) {
        if (progress.copiedBytes == file.bytes && std::exchange(onReport, nullptr)) {
            // The storage returns other bytes than were written: flip one in the copy.
            const int fd = ::open((destination / partialName).c_str(), O_WRONLY);
            ASSERT_GE(fd, 0);
            ASSERT_EQ(::pwrite(fd, "X", 1, 5), 1);
            ::close(fd);
        }
    };
    try {
        copy(file);
        FAIL() << "a copy whose reread differs must fail";
    } catch (const QuayError& error) {
        EXPECT_STREQ(error.what(),
                     "Checksum mismatch: C0001.MP4. The import has not been marked verified.");
    }
    expectDestination({});
}

TEST_F(CopyTest, ExistingFinalFileIsNeverReplaced) {
    test::writeFile(destination / "C0001.MP4", "precious");
    const SourceFile file = plan("C0001.MP4", "new content");
    EXPECT_THROW(copy(file), fs::filesystem_error);
    EXPECT_EQ(test::readFile(destination / "C0001.MP4"), "precious");
    expectDestination({"C0001.MP4"});
}

TEST_F(CopyTest, CancellationStopsAtTheNextBlockAndRemovesThePartialFile) {
    for (const bool local : {false, true}) {
        CancellationFlag outer;
        CancellationFlag inner;
        CancellationFlag& flag = local ? inner : outer;
        const SourceFile file = plan("LONG.MOV", test::patternBytes(24 * MiB));
        onReport = [&](const ImportProgress&) { flag.cancel(); };
        const ImportEngine::CopyContext context{destination.path(), outer,       inner,
                                                sourceGuard,        targetGuard, *tracker};
        try {
            ImportEngine::copy(file, partialName, context);
            FAIL() << "cancelled copy must throw";
        } catch (const QuayError& error) {
            EXPECT_EQ(error.kind(), QuayError::Kind::cancelled);
        }
        ASSERT_FALSE(reports.empty());
        EXPECT_LT(reports.back().copiedBytes, file.bytes) << "stopped before the end";
        expectDestination({});
        onReport = nullptr;
    }
}

TEST_F(CopyTest, ChangedOrMissingDriveStopsTheCopy) {
    const SourceFile file = plan("C0001.MP4", "x");
    VolumeGuard swapped = targetGuard;
    swapped.device += 1;
    const ImportEngine::CopyContext context{destination.path(), cancellation, localCancel,
                                            sourceGuard,        swapped,      *tracker};
    try {
        ImportEngine::copy(file, partialName, context);
        FAIL() << "a swapped drive must stop the copy";
    } catch (const QuayError& error) {
        EXPECT_EQ(error.what(), "Drive disconnected or changed: " + destination.path().string() +
                                    ". Reconnect it and use Retry / recover.");
    }
    try {
        VolumeGuard::make(source / "missing");
        FAIL() << "no guard for a missing folder";
    } catch (const QuayError& error) {
        EXPECT_EQ(error.what(), "Drive or folder unavailable: " + (source / "missing").string());
    }
    expectDestination({});
}

TEST_F(CopyTest, SourceThatIsALinkOrMissingIsAnIoError) {
    SourceFile file = plan("REAL.MOV", "x");
    fs::create_symlink(file.url, source / "LINK.MOV");
    file.url = source / "LINK.MOV";
    file.relative = file.output = "LINK.MOV";
    try {
        copy(file);
        FAIL() << "a symbolic link must not be followed";
    } catch (const QuayError& error) {
        EXPECT_EQ(error.kind(), QuayError::Kind::io);
        EXPECT_EQ(error.operation(), "Open source");
        EXPECT_EQ(error.payload(), "LINK.MOV");
    }
    expectDestination({});
}

TEST(Digest, HashesFromStorageAndObservesCancellation) {
    test::TempDir folder;
    const std::string content = test::patternBytes(17 * MiB, 3);
    test::writeFile(folder / "f", content);
    CancellationFlag flag;
    size_t seen = 0;
    EXPECT_EQ(ImportEngine::digest(folder / "f", flag, [&](size_t n) { seen += n; }),
              Sha256::hex(content));
    EXPECT_EQ(seen, content.size());

    flag.cancel();
    EXPECT_THROW(ImportEngine::digest(folder / "f", flag), QuayError);
    try {
        ImportEngine::digest(folder / "missing", CancellationFlag{});
        FAIL();
    } catch (const QuayError& error) {
        EXPECT_EQ(error.operation(), "Open for verification");
        EXPECT_EQ(error.payload(), (folder / "missing").string());
    }
}

} // namespace
} // namespace quaymark
