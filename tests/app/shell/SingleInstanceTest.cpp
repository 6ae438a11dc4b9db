// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/shell/SingleInstance.h"

#include "ChildProcess.h"
#include "ShellTestHome.h"
#include "TestFiles.h"

#include <gtest/gtest.h>

#include <csignal>

namespace quaymark::test {
namespace {

namespace fs = std::filesystem;

// Each probe prints one line as it starts: "acquired" or "refused".
std::vector<std::string> probe(int activations) {
    return {QUAYMARK_INSTANCE_PROBE, std::to_string(activations)};
}

TEST(SingleInstance, KilledInstanceLeavesNothingThatBlocksTheNextStart) {
    const ShellTestHome env;
    {
        ChildProcess crashed(probe(0));
        ASSERT_EQ(crashed.readLine(), "acquired");
        crashed.signal(SIGKILL);
        ASSERT_EQ(crashed.wait(), 128 + SIGKILL);
    }
    ASSERT_EQ(listTree(env.data()), (std::vector<std::string>{"instance.lock", "instance.socket"}));

    ChildProcess next(probe(1));
    ASSERT_EQ(next.readLine(), "acquired");
    ChildProcess later(probe(0));
    EXPECT_EQ(later.readLine(), "refused");
    EXPECT_EQ(next.readLine(), "activated");
    EXPECT_EQ(next.wait(), 0) << next.errors();
    // A clean exit takes the socket along; the lock file stays.
    EXPECT_EQ(listTree(env.data()), std::vector<std::string>{"instance.lock"});
}

TEST(SingleInstance, LockFileIsPrivateAndAFolderThatCannotBeMadeRefuses) {
    {
        const ShellTestHome env;
        SingleInstance guard;
        ASSERT_TRUE(guard.acquireSingleInstance());
        EXPECT_EQ(fs::status(env.data() / "instance.lock").permissions(),
                  fs::perms::owner_read | fs::perms::owner_write);
    }
    const ShellTestHome env;
    writeFile(env.data(), "a file where the data folder belongs");
    SingleInstance guard;
    EXPECT_FALSE(guard.acquireSingleInstance());
    EXPECT_EQ(readFile(env.data()), "a file where the data folder belongs");
}

} // namespace
} // namespace quaymark::test
