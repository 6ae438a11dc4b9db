// SPDX-License-Identifier: GPL-3.0-or-later
#include "TestFiles.h"
#include "ingest/copy/DiskWorkers.h"
#include "ingest/copy/DurableWrite.h"
#include "ingest/copy/ProgressTracker.h"
#include "ingest/copy/SessionDocuments.h"
#include "ingest/copy/SessionLock.h"
#include "ingest/records/QuayError.h"
#include "ingest/records/RecordsJson.h"

#include <gtest/gtest.h>
#include <sys/file.h>

#include <condition_variable>

namespace quaymark {
namespace {

namespace fs = std::filesystem;

TEST(DurableWrite, ReplacesTheDocumentWholeAndLeavesNoTemporary) {
    test::TempDir folder;
    const auto target = folder / "_QUAYMARK_INCOMPLETE.txt";
    durableWrite("first\n", target);
    durableWrite("second, longer\n", target);
    EXPECT_EQ(test::readFile(target), "second, longer\n");
    EXPECT_EQ(test::listTree(folder.path()), std::vector<std::string>{"_QUAYMARK_INCOMPLETE.txt"});
}

TEST(DurableWrite, FailureKeepsThePreviousContentAndNamesTheTarget) {
    test::TempDir folder;
    // A folder with content cannot be replaced by a file.
    const auto target = folder / "_QUAYMARK_SESSION.json";
    test::writeFile(target / "old", "previous");
    try {
        durableWrite("{}", target);
        FAIL() << "replacing a folder must fail";
    } catch (const QuayError& error) {
        EXPECT_EQ(error.operation(), "Commit status record");
        EXPECT_EQ(error.payload(), target.string());
    }
    EXPECT_EQ(test::readFile(target / "old"), "previous");
    EXPECT_EQ(test::listTree(folder.path()),
              (std::vector<std::string>{"_QUAYMARK_SESSION.json", "_QUAYMARK_SESSION.json/old"}));
}

TEST(SessionLock, SecondLockIsRefusedWhileTheFirstHolds) {
    test::TempDir folder;
    std::optional<SessionLock> first{std::in_place, folder.path()};
    EXPECT_TRUE(first->held());
    EXPECT_THROW(SessionLock{folder.path()}, QuayError) << "a second lock must be refused";
    // Still held: another descriptor cannot take it either.
    const int probe = ::open((folder / ".quaymark-import.lock").c_str(), O_RDONLY);
    EXPECT_NE(::flock(probe, LOCK_EX | LOCK_NB), 0);

    first->release();
    first->release();
    EXPECT_FALSE(first->held());
    EXPECT_EQ(::flock(probe, LOCK_EX | LOCK_NB), 0) << "released";
    ::flock(probe, LOCK_UN);
    ::close(probe);
    first.reset();
    EXPECT_TRUE(fs::exists(folder / ".quaymark-import.lock")) << "the lock file stays";
    EXPECT_THROW(SessionLock{folder / "gone"}, QuayError);
}

TEST(ProgressTracker, CallsBackOutsideItsLock) {
    std::vector<ImportProgress> seen;
    ProgressTracker* self = nullptr;
    ProgressTracker tracker{ImportProgress{}, [&](const ImportProgress& progress) {
                                // Would deadlock if the tracker still held its lock.
                                seen.push_back(self->snapshot());
                                EXPECT_EQ(seen.back(), progress);
                            }};
    self = &tracker;
    for (int i = 0; i < 3; ++i) {
        tracker.update([](ImportProgress& state) { state.verifiedFiles += 1; },
                       ProgressTracker::Report::always);
    }
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_EQ(seen.back().verifiedFiles, 3);
}

// Six jobs of one key, say a destination whose writes hang, take two of the four threads; the
// other jobs run on the others.
TEST(DiskWorkers, RunsAtMostItsThreadCountAtOnceAndAKeyAtItsLimitHoldsNoOtherJob) {
    DiskWorkers workers{4, 2};
    std::mutex mutex;
    std::condition_variable changed;
    int running = 0;
    int keyed = 0;
    int most = 0;
    int mostKeyed = 0;
    int finished = 0;
    bool release = false;
    const int key = 0;
    for (int i = 0; i < 9; ++i) {
        const bool hung = i < 6;
        auto job = [&, hung] {
            std::unique_lock lock(mutex);
            most = std::max(most, ++running);
            mostKeyed = std::max(mostKeyed, keyed += hung ? 1 : 0);
            changed.notify_all();
            changed.wait(lock, [&] { return release; });
            --running;
            keyed -= hung ? 1 : 0;
            ++finished;
            changed.notify_all();
        };
        workers.post(job, hung ? &key : nullptr);
    }
    std::unique_lock lock(mutex);
    ASSERT_TRUE(changed.wait_for(lock, std::chrono::seconds(30), [&] { return running == 4; }));
    release = true;
    changed.notify_all();
    ASSERT_TRUE(changed.wait_for(lock, std::chrono::seconds(30), [&] { return finished == 9; }));
    EXPECT_EQ(most, 4);
    EXPECT_EQ(mostKeyed, 2);
}

} // namespace
} // namespace quaymark
