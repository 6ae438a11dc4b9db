// SPDX-License-Identifier: GPL-3.0-or-later
#include "SharedReadsFixture.h"

#include <sys/stat.h>

#include <atomic>

namespace quaymark::test {
namespace {

constexpr size_t MiB = 1024 * 1024;

// The size of the partial file that a run is writing below `target`, 0 while there is none.
std::int64_t partialSize(const fs::path& target) {
    std::int64_t size = 0;
    for (const auto& name : listTree(target)) {
        struct stat info {};
        if (name.find(".partial") != std::string::npos &&
            ::stat((target / name).c_str(), &info) == 0) {
            size = std::max<std::int64_t>(size, info.st_size);
        }
    }
    return size;
}

// Waits until `target`'s partial file holds the blocks a shared read lets a destination write
// ahead of one held inside its first: four beyond the held one.
std::int64_t waitForReadAhead(const fs::path& target) {
    constexpr auto limit = static_cast<std::int64_t>(5 * 8 * MiB);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (partialSize(target) < limit && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return limit;
}

// A report hook that calls `hold` once, inside the destination's first written block. A
// destination's reports may come from several threads.
std::function<void(const ImportProgress&)> atFirstWrite(std::atomic<bool>& held,
                                                        std::function<void()> hold) {
    return [&held, hold](const ImportProgress& progress) {
        if (progress.currentFile == "Preparing files…") {
            // Lets the report throttle lapse, so that the first block's write is reported.
            std::this_thread::sleep_for(ProgressTracker::interval * 2);
        } else if (progress.phase == ImportPhase::copying && progress.copiedBytes > 0 &&
                   !held.exchange(true)) {
            hold();
        }
    };
}

// One destination held inside its first block of a large file while the other writes on:
// the other runs ahead only a few blocks, and the held one's blocks are still intact when it
// writes them, so both copies verify.
TEST_F(SharedReadsFixture, DestinationsFinishingAtDifferentTimesBothGetTheRightBytes) {
    makeCard(1, 80 * MiB, 0); // more blocks than the shared read keeps in flight
    Destination& slow = add(targets / "slow");
    Destination& fast = add(targets / "fast");
    std::atomic<bool> held = false;
    slow.onReport = atFirstWrite(held, [&] {
        // Held inside its first block while the fast destination writes on: it gets the four
        // blocks ahead that the shared read keeps in flight beyond the held one, and no more.
        // Its partial file is the only sign of that, so it is looked at until then.
        const std::int64_t limit = waitForReadAhead(fast.target);
        // A read that ran on regardless would go past the limit in this time.
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        EXPECT_EQ(partialSize(fast.target), limit);
    });
    runAll();
    EXPECT_TRUE(held);
    expectVerified(slow);
    expectVerified(fast);
}

// Cancelled mid-file, or while stuck before its copies (as on a drive that stops answering):
// either way the others finish without it.
TEST_F(SharedReadsFixture, ACancelledDestinationLeavesTheOthersToFinish) {
    makeCard(2, 20 * MiB, 6);
    for (const bool stuck : {false, true}) {
        destinations.clear();
        Destination& cancelled = add(targets / (stuck ? "stuck" : "cancelled"));
        Destination& kept = add(targets / (stuck ? "kept2" : "kept"));
        Destination& third = add(targets / (stuck ? "third2" : "third"));
        std::atomic<bool> held = false;
        cancelled.onReport = [&, stuck](const ImportProgress& progress) {
            if (stuck) {
                if (!held.exchange(true)) {
                    cancelled.cancellation.cancel();
                    EXPECT_TRUE(waitFor([&] { return kept.ended && third.ended; }));
                }
            } else if (progress.copiedBytes > 0 && progress.copiedBytes < progress.totalBytes) {
                cancelled.cancellation.cancel();
            }
        };
        runAll();
        if (stuck) { // stopped before its import folder was made
            EXPECT_EQ(cancelled.error,
                      "Import cancelled. Completed files remain in the import folder.");
            EXPECT_TRUE(fs::is_empty(cancelled.target));
        } else {
            expectInterrupted(cancelled,
                              "Import cancelled. Completed files remain in the import folder.");
        }
        expectVerified(kept);
        expectVerified(third);
    }
}

// A destination whose write hangs (a network share that stopped answering) and is then
// cancelled holds none of the others' copies: of a large file, whose read goes on without it
// though its writer is still stuck, or of small files, which each destination copies alone.
TEST_F(SharedReadsFixture, ADestinationCancelledInsideAHangingWriteReleasesTheOthers) {
    laggardGrace = std::chrono::hours(1); // only the cancel itself can release them
    for (const bool small : {false, true}) {
        SCOPED_TRACE(small ? "small files" : "a large file");
        destinations.clear();
        for (const auto& entry : fs::directory_iterator(source.path())) {
            fs::remove_all(entry.path());
        }
        // The large file has more blocks than the shared read keeps in flight.
        small ? makeCard(0, 0, 40) : makeCard(1, 80 * MiB, 0);
        Destination& hung = add(targets / (small ? "hung-small" : "hung"));
        Destination& kept = add(targets / (small ? "kept-small" : "kept"));
        std::atomic<bool> held = false;
        hung.onReport = atFirstWrite(held, [&, small] {
            if (!small) { // cancelled once the read waits for it
                waitForReadAhead(kept.target);
            }
            hung.cancellation.cancel();
            EXPECT_TRUE(waitFor([&] { return kept.ended; }));
        });
        runAll();
        expectVerified(kept);
        expectInterrupted(hung, "Import cancelled. Completed files remain in the import folder.");
    }
}

// A destination whose write stops answering, or that stops before it asked for any file, and
// is never cancelled, holds the others only for a grace: they finish while it is still stuck,
// in a large file's read and in the files its run has not asked for yet. Once it answers again
// it finishes from reads of its own.
TEST_F(SharedReadsFixture, AStalledDestinationIsLeftBehindAndFinishesAlone) {
    options.parallelFiles = 1; // the stalled run asks for nothing more while it is stuck
    makeCard(2, 40 * MiB, 6);
    for (const bool writing : {true, false}) {
        destinations.clear();
        Destination& stalled = add(targets / (writing ? "stalled" : "stalled-early"));
        Destination& kept = add(targets / (writing ? "kept" : "kept-early"));
        std::atomic<bool> held = false;
        const auto hold = [&] { EXPECT_TRUE(waitFor([&] { return kept.ended; })); };
        // Before asking: held at its first report, which comes before it says what it needs.
        stalled.onReport = writing ? atFirstWrite(held, hold) : [&](const ImportProgress&) {
            held.exchange(true) ? void() : hold();
        };
        runAll();
        EXPECT_TRUE(held);
        expectVerified(kept);
        expectVerified(stalled);
    }
}

// A destination resumed with half its files verified rechecks those and copies only the
// others, sharing their reads with a new import beside it.
TEST_F(SharedReadsFixture, AResumedDestinationSharesOnlyWhatItStillNeeds) {
    makeCard(2, 12 * MiB, 6);
    Destination& first = add(targets / "resumed");
    runAll();
    expectVerified(first);
    const fs::path folder = first.result->destination;
    SessionRecord record = ImportEngine::readSession(folder);
    fs::remove(folder / "_QUAYMARK_VERIFIED.json");
    std::set<std::string> kept;
    for (size_t i = 0; i < record.completed.size(); ++i) {
        if (i % 2 == 0) {
            fs::remove(folder / record.completed[i].path);
        } else {
            kept.insert(record.completed[i].path);
        }
    }
    record.status = "interrupted";
    record.completed.clear();
    saveSession(record, folder);

    destinations.clear();
    Destination& resumed = add(targets / "resumed");
    resumed.resume = folder;
    Destination& fresh = add(targets / "fresh");
    runAll();
    expectVerified(resumed);
    expectVerified(fresh);
    std::lock_guard lock(mutex);
    for (const auto& report : resumed.reports) {
        EXPECT_FALSE(kept.contains(report.currentFile)) << "copied again: " << report.currentFile;
    }
}

} // namespace
} // namespace quaymark::test
