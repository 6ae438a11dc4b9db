// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <mutex>
#include <stop_token>
#include <string>
#include <string_view>
#include <thread>

namespace quaymark {

// "diagnostics.log" grows past this many bytes before it is rotated.
inline constexpr std::int64_t diagnosticsLogLimit = 5'242'880;

// Appends one line ("<UTC timestamp> <message>\n") to "diagnostics.log" in `folder`, first
// rotating an oversized log to "diagnostics.previous.log". Never creates `folder`; every failure
// is swallowed, and the line is lost only when the log cannot be opened.
void appendDiagnosticsLine(const std::filesystem::path& folder, std::string_view message);

// A serial queue of log appends on one worker thread: callers never wait for the disk, and lines
// are written in the order they were queued.
class DiagnosticsLog {
public:
    DiagnosticsLog();
    // Writes what is still queued, then stops the worker.
    ~DiagnosticsLog();
    DiagnosticsLog(const DiagnosticsLog&) = delete;
    DiagnosticsLog& operator=(const DiagnosticsLog&) = delete;

    void append(std::filesystem::path folder, std::string message);
    // Returns once every line queued before the call has been written (or dropped).
    void flush();

private:
    struct Entry {
        std::filesystem::path folder;
        std::string message;
    };

    void run(std::stop_token stop);

    std::mutex mutex_; // guards pending_ and the two counts
    std::condition_variable_any queued_;
    std::condition_variable written_;
    std::deque<Entry> pending_;
    std::uint64_t queuedCount_ = 0;
    std::uint64_t writtenCount_ = 0;
    // Last member: it starts once the rest exists and is joined before the rest goes.
    std::jthread worker_;
};

} // namespace quaymark
