// SPDX-License-Identifier: GPL-3.0-or-later
#include "ChildProcess.h"
#include "ImportFixture.h"

#include <gtest/gtest.h>
#include <sys/mount.h>
#include <unistd.h>

#include <csignal>
#include <future>
#include <nlohmann/json.hpp>
#include <sstream>
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

    // The output goes to a file: the process left stuck in the share holds it open.
    const fs::path output = work / "output.jsonl";
    ChildProcess command({"/bin/sh", "-c", "exec \"$@\" >\"$0\" 2>&1", output.string(),
                          QUAYMARK_INGEST, "import", (work / "CARD").string(), "--to",
                          share.string(), "--to", (work / "local").string(), "--all-files",
                          "--camera", "X", "--rule", "X", "--json"});
    const auto printed = [&] { return fs::exists(output) ? readFile(output) : std::string(); };
    const auto copying = [&] {
        std::istringstream lines(printed());
        for (std::string line; std::getline(lines, line);) {
            const json event = json::parse(line, nullptr, false);
            if (event.is_object() && event.value("event", "") == "progress" &&
                event.value("destination", "") == share.string() &&
                event.value("verifiedFiles", 0) > 0) {
                return true;
            }
        }
        return false;
    };
    for (int i = 0; i < 3000 && !copying(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ASSERT_TRUE(copying()) << printed();
    server.signal(SIGSTOP);
    command.signal(SIGINT);
    auto ended = std::async(std::launch::async, [&] { return command.wait(); });
    const bool inTime = ended.wait_for(std::chrono::seconds(60)) == std::future_status::ready;
    server.signal(SIGCONT); // whatever happened, nothing may stay frozen
    ASSERT_TRUE(inTime) << "the command waited for the stuck share";
    EXPECT_EQ(ended.get(), 130);
    EXPECT_NE(readFile(output).find("A write on this destination did not return; it was left "
                                    "behind."),
              std::string::npos)
        << readFile(output);

    const auto resumed = runProcess({QUAYMARK_INGEST, "resume", (share / "X").string(), "--source",
                                     (work / "CARD").string(), "--all-files"});
    EXPECT_EQ(resumed.status, 0) << resumed.output << resumed.errors;
    expectNoTemporaries(share / "X");
}

} // namespace
} // namespace quaymark::test
