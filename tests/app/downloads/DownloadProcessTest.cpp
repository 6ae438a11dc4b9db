// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/downloads/DownloadProcess.h"

#include "TestFiles.h"
#include "app/downloads/DownloadError.h"
#include "app/downloads/DownloadRunner.h"

#include <QCoreApplication>
#include <QTest>

#include <gtest/gtest.h>
#include <signal.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <fstream>
#include <future>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

namespace quaymark {
namespace {

using namespace std::chrono_literals;

struct RunResult {
    std::vector<std::string> lines;
    std::string transcript;
    std::optional<DownloadError> error;
};

RunResult runShell(const std::string& script) {
    ProcessControl control;
    RunResult result;
    try {
        result.transcript =
            DownloadProcess::run("/bin/sh", {"-c", script}, control,
                                 [&](const std::string& line) { result.lines.push_back(line); });
    } catch (const DownloadError& error) {
        result.error = error;
    }
    return result;
}

struct OutputCase {
    const char* name;
    const char* script;
    std::vector<std::string> lines;
    std::string transcript;
};

TEST(DownloadProcessTest, DeliversLinesInOrderAndReturnsTranscript) {
    const OutputCase cases[] = {
        {"unterminated last line", "printf 'a\\nb'", {"a", "b"}, "a\nb"},
        {"windows line endings", "printf 'x\\r\\ny\\r\\n'", {"x\r", "y\r"}, "x\r\ny\r\n"},
        {"both streams interleaved",
         "echo out; echo err >&2; echo again",
         {"out", "err", "again"},
         "out\nerr\nagain\n"},
        {"invalid bytes replaced", "printf '\\377ok\\n'", {"\xEF\xBF\xBDok"}, "\xEF\xBF\xBDok\n"},
        {"empty lines kept", "printf '\\n\\nz\\n'", {"", "", "z"}, "\n\nz\n"},
        {"no output", "true", {}, ""},
    };
    for (const OutputCase& c : cases) {
        SCOPED_TRACE(c.name);
        const RunResult result = runShell(c.script);
        EXPECT_FALSE(result.error.has_value());
        EXPECT_EQ(result.lines, c.lines);
        EXPECT_EQ(result.transcript, c.transcript);
    }
}

TEST(DownloadProcessTest, HelpersStartWithDefaultSignalsWhateverTheApplicationIgnores) {
    // The application ignores SIGPIPE for its own network code; a helper writing into a closed
    // pipe must still end the usual way.
    const auto previous = std::signal(SIGPIPE, SIG_IGN);
    const RunResult result = runShell("grep SigIgn /proc/self/status");
    std::signal(SIGPIPE, previous);
    ASSERT_EQ(result.lines.size(), 1u);
    const unsigned long ignored =
        std::stoul(result.lines[0].substr(result.lines[0].find_last_of(" \t") + 1), nullptr, 16);
    EXPECT_EQ(ignored & (1ul << (SIGPIPE - 1)), 0ul) << result.lines[0];
}

TEST(DownloadProcessTest, NonZeroExitCarriesStatusAndOutputTail) {
    const RunResult silent = runShell("exit 2");
    ASSERT_TRUE(silent.error.has_value());
    EXPECT_EQ(silent.error->domain, "Quaymark.Download");
    EXPECT_EQ(silent.error->code, 2);
    const RunResult talking = runShell("echo first; echo 'ERROR: gone' >&2; exit 1");
    ASSERT_TRUE(talking.error.has_value());
    EXPECT_EQ(talking.error->code, 1);
    EXPECT_EQ(talking.error->description, "first\nERROR: gone\n");
}

TEST(DownloadProcessTest, BoundsPendingLineAndTranscript) {
    // 34,464 'a' then 65,536 'b' without a line feed: only the b's survive.
    const RunResult longLine = runShell("head -c 34464 /dev/zero | tr '\\0' a;"
                                        "head -c 65536 /dev/zero | tr '\\0' b");
    ASSERT_EQ(longLine.lines.size(), 1u);
    EXPECT_EQ(longLine.lines[0], std::string(65536, 'b'));
    EXPECT_EQ(longLine.transcript, std::string(4096, 'b'));

    // Characters, not bytes: 5000 two-byte letters, a line feed and "end" keep 4091 letters.
    const RunResult manyLines =
        runShell("i=0; while [ $i -lt 5000 ]; do printf '\\303\\251'; i=$((i+1)); done;"
                 "echo; echo end");
    std::string expected;
    for (int i = 0; i < 4091; ++i) {
        expected += "\xC3\xA9";
    }
    EXPECT_EQ(manyLines.transcript, expected + "\nend\n");
}

TEST(DownloadProcessTest, LaunchFailureAndCancelBeforeLaunch) {
    ProcessControl control;
    const auto ignore = [](const std::string&) {};
    EXPECT_THROW(DownloadProcess::run("/nonexistent/helper", {}, control, ignore),
                 std::system_error);
    test::TempDir folder;
    control.cancel();
    EXPECT_THROW(
        DownloadProcess::run("/usr/bin/touch", {(folder / "ran").string()}, control, ignore),
        DownloadCancelled);
    EXPECT_FALSE(std::filesystem::exists(folder / "ran"));
}

bool processGone(pid_t pid) {
    if (::kill(pid, 0) != 0) {
        return errno == ESRCH;
    }
    // Reparented and exited but not yet collected by whoever reaps orphans here.
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    std::getline(stat, line);
    const auto close = line.rfind(')');
    return close != std::string::npos && line.size() > close + 2 && line[close + 2] == 'Z';
}

// The ignored disposition is inherited by sleep, so the whole group ignores SIGTERM.
TEST(DownloadProcessTest, CancelTermsThenKillsTheWholeGroup) {
    ProcessControl control;
    std::promise<std::string> first;
    auto run = std::async(std::launch::async, [&] {
        try {
            DownloadProcess::run("/bin/sh", {"-c", "trap '' TERM; sleep 60 & echo $!; wait"},
                                 control, [&](const std::string& line) { first.set_value(line); });
        } catch (const DownloadCancelled&) {
            return true;
        }
        return false;
    });
    auto line = first.get_future();
    ASSERT_EQ(line.wait_for(30s), std::future_status::ready) << "the helper printed nothing";
    const pid_t grandchild = std::stoi(line.get());
    const auto start = std::chrono::steady_clock::now();
    control.cancel();
    ASSERT_EQ(run.wait_for(30s), std::future_status::ready);
    EXPECT_GE(std::chrono::steady_clock::now() - start, 4900ms)
        << "SIGTERM first, SIGKILL only after the grace period";
    EXPECT_TRUE(run.get());
    EXPECT_TRUE(QTest::qWaitFor([&] { return processGone(grandchild); }, 60'000));
}

TEST(DownloadRunnerTest, DestroyingTheRunnerStopsTheHelper) {
    pid_t helper = 0;
    {
        DownloadRunner runner;
        QObject::connect(&runner, &DownloadRunner::line,
                         [&](const QString& text) { helper = text.toInt(); });
        runner.start(QStringLiteral("/bin/sh"),
                     {QStringLiteral("-c"), QStringLiteral("echo $$; exec sleep 600")});
        ASSERT_TRUE(QTest::qWaitFor([&] { return helper != 0; }, 60'000));
    }
    // Gone and reaped, not left running or as a zombie.
    EXPECT_TRUE(QTest::qWaitFor([&] { return ::kill(helper, 0) != 0 && errno == ESRCH; }, 60'000));
    // Calls it had queued are dropped with it.
    QCoreApplication::processEvents();
}

} // namespace
} // namespace quaymark
