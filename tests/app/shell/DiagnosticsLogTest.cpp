// SPDX-License-Identifier: GPL-3.0-or-later
#include "ShellTestHome.h"
#include "TestFiles.h"
#include "app/core/AppDiagnostics.h"

#include <gtest/gtest.h>

#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace quaymark::test {
namespace {

namespace fs = std::filesystem;

constexpr size_t limit = 5'242'880;

class DiagnosticsLogTest : public ::testing::Test {
protected:
    ShellTestHome env;
    fs::path current = env.data() / "diagnostics.log";
    fs::path previous = env.data() / "diagnostics.previous.log";

    void SetUp() override { fs::create_directories(env.data()); }

    static void logNow(const char* message) {
        AppDiagnostics::log(QString::fromUtf8(message));
        AppDiagnostics::flush();
    }
};

// The message of one written line, after checking its UTC timestamp and blank.
std::string messageOf(const std::string& line) {
    EXPECT_TRUE(
        std::regex_match(line.substr(0, 21), std::regex(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ )")))
        << line;
    return line.substr(std::min<size_t>(21, line.size()));
}

TEST_F(DiagnosticsLogTest, RotatesOnlyAboveTheLimitKeepingOneGeneration) {
    writeFile(current, std::string(limit, 'a'));
    logNow("at the limit");
    const std::string grown = readFile(current);
    ASSERT_EQ(grown.size(), limit + 21 + 13);
    EXPECT_EQ(messageOf(grown.substr(limit)), "at the limit\n");
    EXPECT_FALSE(fs::exists(previous));

    // Written unchanged, blanks, line breaks and all.
    logNow("  first\nline after rotation, caf\xc3\xa9\t ");
    EXPECT_EQ(readFile(previous), grown);
    EXPECT_EQ(messageOf(readFile(current)), "  first\nline after rotation, caf\xc3\xa9\t \n");

    writeFile(current, std::string(limit + 1, 'b'));
    logNow("second rotation");
    EXPECT_EQ(readFile(previous), std::string(limit + 1, 'b'));
    EXPECT_EQ(messageOf(readFile(current)), "second rotation\n");
}

TEST_F(DiagnosticsLogTest, KeepsEveryLineAndEachThreadsOrder) {
    constexpr int threads = 4;
    constexpr int perThread = 250;
    {
        std::vector<std::jthread> writers;
        for (int t = 0; t < threads; ++t) {
            writers.emplace_back([t] {
                for (int n = 0; n < perThread; ++n) {
                    AppDiagnostics::log(QStringLiteral("thread %1 line %2").arg(t).arg(n));
                }
            });
        }
    }
    AppDiagnostics::flush();

    std::istringstream lines(readFile(current));
    std::map<int, int> next;
    int count = 0;
    static const std::regex shape(R"(\S+ thread (\d) line (\d+))");
    for (std::string line; std::getline(lines, line); ++count) {
        std::smatch match;
        ASSERT_TRUE(std::regex_match(line, match, shape)) << line;
        const int t = std::stoi(match[1]);
        ASSERT_EQ(std::stoi(match[2]), next[t]++) << "thread " << t;
    }
    EXPECT_EQ(count, threads * perThread);
}

TEST(DiagnosticsLog, NeverCreatesTheDataFolder) {
    const ShellTestHome env;
    AppDiagnostics::log(QStringLiteral("dropped"));
    AppDiagnostics::flush();
    EXPECT_EQ(listTree(env.home()), std::vector<std::string>{});
}

} // namespace
} // namespace quaymark::test
