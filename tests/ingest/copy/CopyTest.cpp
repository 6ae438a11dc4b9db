// SPDX-License-Identifier: GPL-3.0-or-later
#include "TestFiles.h"
#include "ingest/copy/FileCopy.h"
#include "ingest/copy/FileDigest.h"
#include "ingest/copy/ReadAhead.h"
#include "ingest/copy/ReadSession.h"
#include "ingest/copy/SharedReads.h"
#include "ingest/copy/UniqueFd.h"
#include "ingest/records/Sha256.h"
#include "ingest/records/Xxh128.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <future>
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

// The error `action` throws; a test failure when it throws none.
QuayError errorOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const QuayError& error) {
        return error;
    }
    ADD_FAILURE() << "no error";
    return QuayError::noFiles();
}

// One source folder, one import folder, and everything a copy shares with its run.
class CopyTest : public ::testing::Test {
protected:
    test::TempDir source;
    test::TempDir destination;
    // The run's flag and the one its sibling copies raise after a failure.
    std::unique_ptr<CancellationFlag> cancellation, localCancel;
    VolumeGuard sourceGuard = VolumeGuard::make(source.path());
    VolumeGuard targetGuard = VolumeGuard::make(destination.path());
    std::vector<ImportProgress> reports;
    std::function<void(const ImportProgress&)> onReport;
    // Made afresh for every planned file, so its first block is always reported.
    std::optional<ProgressTracker> tracker;
    const std::string partialName = ".quaymark-TEST.partial";

    SourceFile plan(const std::string& relative, std::string_view content) {
        const auto path = source / relative;
        test::writeFile(path, content);
        reports.clear();
        cancellation = std::make_unique<CancellationFlag>();
        localCancel = std::make_unique<CancellationFlag>();
        const auto bytes = static_cast<std::int64_t>(content.size());
        tracker.emplace(ImportProgress{ImportPhase::copying, bytes, 0, 0, 1, 0, {}, {}},
                        [this](const ImportProgress& progress) {
                            reports.push_back(progress);
                            if (onReport) {
                                onReport(progress);
                            }
                        });
        return SourceFile{path, relative, relative, bytes, modificationTime(path)};
    }

    FileReceipt copy(const SourceFile& file, const std::string& partial = {}) {
        const ImportEngine::CopyContext context{destination.path(), *cancellation, *localCancel,
                                                sourceGuard,        targetGuard,   *tracker};
        return ImportEngine::copy(file, partial.empty() ? partialName : partial, context);
    }
    QuayError failure(const SourceFile& file) {
        return errorOf([&] { copy(file); });
    }

    // Only what the test itself put there: no partial and no status files.
    void expectDestination(const std::vector<std::string>& entries) {
        EXPECT_EQ(test::listTree(destination.path()), entries);
    }
};

TEST_F(CopyTest, CopiesExactBytesAndProvesThem) {
    const std::string content = test::patternBytes(20 * MiB + 123);
    const auto bytes = static_cast<std::int64_t>(content.size());
    const SourceFile file = plan("DCIM/100/C0001.MP4", content);
    const FileReceipt receipt = copy(file, "DCIM/100/.quaymark-A.partial");

    EXPECT_EQ(test::readFile(destination / "DCIM/100/C0001.MP4"), content);
    EXPECT_EQ(receipt, (FileReceipt{"DCIM/100/C0001.MP4", bytes, Sha256::hex(content),
                                    file.modified, "DCIM/100/C0001.MP4", Xxh128::hex(content)}));
    EXPECT_EQ(modificationTime(destination / "DCIM/100/C0001.MP4"), *file.modified);
    expectDestination({"DCIM", "DCIM/100", "DCIM/100/C0001.MP4"});
    ASSERT_FALSE(reports.empty());
    EXPECT_EQ(reports.back(),
              (ImportProgress{
                  ImportPhase::verifying, bytes, bytes, bytes, 1, 1, "DCIM/100/C0001.MP4", {}}));

    // An empty file is a copy too, with one report.
    EXPECT_EQ(copy(plan("EMPTY.MOV", "")).sha256, Sha256::hex(""));
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
    EXPECT_STREQ(failure(far).what(), "Source changed during import: FAR.MOV. Keep the card "
                                      "untouched and try again.");
    expectDestination({"CLOSE.MOV"});
}

TEST_F(CopyTest, SourceChangedBeforeOrDuringTheCopyIsRefusedAndLeavesNothing) {
    SourceFile resized = plan("RESIZED.MOV", "abc");
    resized.bytes = 4;
    EXPECT_EQ(failure(resized).kind(), QuayError::Kind::changed);

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
    const QuayError grown = failure(growing);
    EXPECT_EQ(grown.kind(), QuayError::Kind::changed);
    EXPECT_EQ(grown.payload(), "GROWING.MOV");

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
    EXPECT_EQ(failure(rewritten).payload(), "REWRITTEN.MOV");
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
    EXPECT_STREQ(failure(file).what(),
                 "Checksum mismatch: C0001.MP4. The import has not been marked verified.");
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
        const SourceFile file = plan("LONG.MOV", test::patternBytes(24 * MiB));
        onReport = [&](const ImportProgress&) { (local ? localCancel : cancellation)->cancel(); };
        EXPECT_EQ(failure(file).kind(), QuayError::Kind::cancelled);
        ASSERT_FALSE(reports.empty());
        EXPECT_LT(reports.back().copiedBytes, file.bytes) << "stopped before the end";
        expectDestination({});
    }
}

// Blocks come in order and whole with several reads in flight, and each stays as it was
// handed out for as long as the reader promises, whatever the reads behind it are doing.
TEST_F(CopyTest, ReadAheadHandsOutEveryBlockInOrderAndKeepsItUntouched) {
    constexpr size_t depth = 3;
    for (const size_t length :
         {size_t{0}, copyBlockSize, copyBlockSize + 1, 5 * copyBlockSize + copyBlockSize / 2 + 1}) {
        const std::string content = test::patternBytes(length, static_cast<unsigned>(length));
        test::writeFile(source / "CLIP.MOV", content);
        const UniqueFd fd{::open((source / "CLIP.MOV").c_str(), O_RDONLY | O_CLOEXEC)};
        ReadAhead reader{fd.get(), depth};
        std::string read;
        // The blocks the reader promises to keep: this one and depth - 2 before it.
        std::vector<std::pair<ReadAhead::Block, std::string>> held;
        for (ReadAhead::Block block = reader.next(); block.size > 0; block = reader.next()) {
            const auto size = static_cast<size_t>(block.size);
            read.append(reinterpret_cast<const char*>(block.data), size);
            held.emplace_back(block, read.substr(read.size() - size));
            if (held.size() > depth - 1) {
                held.erase(held.begin());
            }
            for (const auto& [kept, bytes] : held) {
                ASSERT_TRUE(std::string_view(reinterpret_cast<const char*>(kept.data),
                                             bytes.size()) == bytes)
                    << "a held block was read into again";
            }
        }
        EXPECT_TRUE(read == content) << length << " bytes read as " << read.size();
    }
}

// A copy that waits for a run which has not said what it needs starts the moment that run is
// cancelled, however long the grace it would otherwise wait.
TEST_F(CopyTest, AWaitingCopyStartsOnceTheRunItWaitsForIsCancelled) {
    const SourceFile file = plan("A001.MP4", "clip");
    const auto reads = std::make_shared<ImportEngine::SharedReads>(2, std::chrono::hours(1));
    CancellationFlag stuckCancellation;
    const auto waiting = reads->join(*cancellation);
    const auto stuck = reads->join(stuckCancellation);
    const ImportEngine::CopyContext context{destination.path(), *cancellation, *localCancel,
                                            sourceGuard,        targetGuard,   *tracker};
    std::promise<bool> copied;
    ImportEngine::CopyRequest request;
    request.file = &file;
    request.partialName = partialName;
    request.context = &context;
    request.done = [&](std::optional<FileReceipt> receipt, std::exception_ptr) {
        copied.set_value(receipt.has_value());
    };
    waiting->copy(std::move(request));
    const auto graceEnd = waiting->graceEnd();
    ASSERT_TRUE(graceEnd);
    EXPECT_GT(*graceEnd, std::chrono::steady_clock::now() + std::chrono::minutes(59));

    stuckCancellation.cancel();
    auto outcome = copied.get_future();
    ASSERT_EQ(outcome.wait_for(std::chrono::seconds(60)), std::future_status::ready);
    EXPECT_TRUE(outcome.get());
    EXPECT_FALSE(waiting->graceEnd()) << "nothing waits any more";
    EXPECT_EQ(test::readFile(destination / "A001.MP4"), "clip");
}

TEST_F(CopyTest, ChangedMissingOrLinkedFilesStopTheCopy) {
    SourceFile file = plan("REAL.MOV", "x");
    fs::create_symlink(file.url, source / "LINK.MOV");
    file.url = source / "LINK.MOV";
    file.relative = file.output = "LINK.MOV";
    const QuayError linked = failure(file);
    EXPECT_EQ(linked.kind(), QuayError::Kind::io) << "a symbolic link must not be followed";
    EXPECT_EQ(linked.operation(), "Open source");
    EXPECT_EQ(linked.payload(), "LINK.MOV");

    targetGuard.device += 1;
    EXPECT_EQ(failure(plan("C0001.MP4", "x")).what(),
              "Drive disconnected or changed: " + destination.path().string() +
                  ". Reconnect it and use Retry / recover.");
    EXPECT_EQ(errorOf([&] { VolumeGuard::make(source / "missing"); }).what(),
              "Drive or folder unavailable: " + (source / "missing").string());
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
    const QuayError missing =
        errorOf([&] { ImportEngine::digest(folder / "missing", CancellationFlag{}); });
    EXPECT_EQ(missing.operation(), "Open for verification");
    EXPECT_EQ(missing.payload(), (folder / "missing").string());
}

} // namespace
} // namespace quaymark
