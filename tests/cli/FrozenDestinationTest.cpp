// SPDX-License-Identifier: GPL-3.0-or-later
#include "ChildProcess.h"
#include "ImportFixture.h"

#include <gtest/gtest.h>
#include <sys/mount.h>
#include <unistd.h>

#include <csignal>
#include <future>
#include <nlohmann/json.hpp>
#include <thread>

namespace quaymark::test {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

// A destination on a FUSE share whose server is stopped mid-import, as a network share that
// stops answering: the first Ctrl-C still ends the command, the stuck destination is left
// behind, and once the share answers again its import resumes to a verified folder.
TEST(FrozenDestination, TheFirstCtrlCEndsTheCommandAndTheStuckImportResumes) {
    TempDir work;
    const fs::path share = work / "share";
    fs::create_directories(work / "backing");
    fs::create_directories(share);
    fs::create_directories(work / "local");
    writeFile(work / "backing/.mounted", "");
    ChildProcess server({"/usr/bin/bindfs", "-f", (work / "backing").string(), share.string()});
    struct Unmount {
        const ChildProcess& server;
        fs::path point;
        ~Unmount() {
            server.signal(SIGCONT);
            ::umount2(point.c_str(), MNT_DETACH);
        }
    } unmount{server, share};
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!fs::exists(share / ".mounted") && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    if (!fs::exists(share / ".mounted")) {
        GTEST_SKIP() << "FUSE cannot mount here";
    }
    for (int i = 0; i < 40; ++i) {
        writeFile(work / ("CARD/C" + std::to_string(i) + ".MP4"),
                  patternBytes(300'000 + static_cast<size_t>(i), i + 1U));
    }

    ChildProcess command({QUAYMARK_INGEST, "import", (work / "CARD").string(), "--to",
                          share.string(), "--to", (work / "local").string(), "--all-files",
                          "--camera", "X", "--rule", "X", "--json"});
    while (const auto line = command.readLine()) {
        const json event = json::parse(*line);
        if (event.at("event") == "progress" && event.at("destination") == share.string() &&
            event.at("verifiedFiles").get<int>() > 0) {
            break;
        }
    }
    server.signal(SIGSTOP);
    command.signal(SIGINT);
    auto ended = std::async(std::launch::async, [&] { return command.wait(); });
    ASSERT_EQ(ended.wait_for(std::chrono::seconds(60)), std::future_status::ready)
        << "the command waited for the stuck share";
    EXPECT_EQ(ended.get(), 130);
    EXPECT_NE(command.output().find("A write on this destination did not return; it was left "
                                    "behind."),
              std::string::npos)
        << command.output();

    server.signal(SIGCONT);
    const auto resumed = runProcess({QUAYMARK_INGEST, "resume", (share / "X").string(), "--source",
                                     (work / "CARD").string(), "--all-files"});
    EXPECT_EQ(resumed.status, 0) << resumed.output << resumed.errors;
    expectNoTemporaries(share / "X");
}

} // namespace
} // namespace quaymark::test
