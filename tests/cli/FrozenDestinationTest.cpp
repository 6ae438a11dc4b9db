// SPDX-License-Identifier: GPL-3.0-or-later
#include "ChildProcess.h"
#include "ImportFixture.h"

#include <gtest/gtest.h>
#include <sys/mount.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <future>
#include <thread>

namespace quaymark::test {
namespace {

namespace fs = std::filesystem;

// Polls for what another process makes, up to a generous bound.
bool waitUntil(const std::function<bool()>& ready) {
    for (int i = 0; i < 3000 && !ready(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return ready();
}

// A destination on a FUSE share whose server is stopped mid-import, as a network share that
// stops answering: the first Ctrl-C still ends the command, the stuck destination is left
// behind, and once the share answers again its import resumes to a verified folder.
TEST(FrozenDestination, TheFirstCtrlCEndsTheCommandAndTheStuckImportResumes) {
    TempDir work;
    const fs::path share = work / "share", output = work / "output.txt";
    writeFile(work / "backing/.mounted", "");
    fs::create_directories(share);
    fs::create_directories(work / "local");
    ChildProcess server({"/usr/bin/bindfs", "-f", (work / "backing").string(), share.string()});
    const std::unique_ptr<const fs::path, void (*)(const fs::path*)> unmount(
        &share, [](const fs::path* point) { ::umount2(point->c_str(), MNT_DETACH); });
    if (!waitUntil([&] { return fs::exists(share / ".mounted"); })) {
        GTEST_SKIP() << "FUSE cannot mount here";
    }
    // A large clip, so that the share is frozen while it is being written.
    writeFile(work / "CARD/A000.MOV", "");
    ASSERT_EQ(::truncate((work / "CARD/A000.MOV").c_str(), 512LL << 20), 0);
    // The output goes to a file: the process left stuck in the share holds it open.
    ChildProcess command({"/bin/sh", "-c", "exec \"$@\" >\"$0\" 2>&1", output.string(),
                          QUAYMARK_INGEST, "import", (work / "CARD").string(), "--to",
                          share.string(), "--to", (work / "local").string(), "--all-files",
                          "--camera", "X", "--rule", "X", "--json"});
    const auto printed = [&] { return fs::exists(output) ? readFile(output) : std::string(); };
    ASSERT_TRUE(waitUntil([&] {
        return std::ranges::any_of(listTree(work / "backing"), [](const std::string& name) {
            return name.ends_with(".partial");
        });
    })) << printed();
    server.signal(SIGSTOP);
    command.signal(SIGINT);
    auto ended = std::async(std::launch::async, [&] { return command.wait(); });
    const bool inTime = ended.wait_for(std::chrono::seconds(60)) == std::future_status::ready;
    server.signal(SIGCONT); // whatever happened, nothing may stay frozen
    ASSERT_TRUE(inTime) << "the command waited for the stuck share";
    EXPECT_EQ(ended.get(), 130);
    EXPECT_NE(printed().find("A write on this destination did not return; it was left behind."),
              std::string::npos)
        << printed();

    const auto resumed = runProcess({QUAYMARK_INGEST, "resume", (share / "X").string(), "--source",
                                     (work / "CARD").string(), "--all-files"});
    EXPECT_EQ(resumed.status, 0) << resumed.output << resumed.errors;
    expectNoTemporaries(share / "X");
}

} // namespace
} // namespace quaymark::test
