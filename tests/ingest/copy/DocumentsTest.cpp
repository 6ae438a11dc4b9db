// SPDX-License-Identifier: GPL-3.0-or-later
#include "TestFiles.h"
#include "ingest/copy/DiskWorkers.h"
#include "ingest/copy/DurableWrite.h"
#include "ingest/records/QuayError.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <condition_variable>
#include <mutex>

namespace quaymark {
namespace {

// Replaced whole or not at all, named in the error, no temporary left either way.
TEST(DurableWrite, ReplacesWholeOrKeepsThePreviousContent) {
    test::TempDir folder;
    const auto target = folder / "_QUAYMARK_INCOMPLETE.txt";
    durableWrite("first\n", target);
    durableWrite("second, longer\n", target);
    EXPECT_EQ(test::readFile(target), "second, longer\n");

    // A folder with content cannot be replaced by a file.
    const auto journal = folder / "_QUAYMARK_SESSION.json";
    test::writeFile(journal / "old", "previous");
    try {
        durableWrite("{}", journal);
        FAIL() << "replacing a folder must fail";
    } catch (const QuayError& error) {
        EXPECT_EQ(error.operation(), "Commit status record");
        EXPECT_EQ(error.payload(), journal.string());
    }
    EXPECT_EQ(test::listTree(folder.path()),
              (std::vector<std::string>{"_QUAYMARK_INCOMPLETE.txt", "_QUAYMARK_SESSION.json",
                                        "_QUAYMARK_SESSION.json/old"}));
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
