// SPDX-License-Identifier: GPL-3.0-or-later
#include "DiagnosticsLog.h"

#include "ingest/copy/UniqueFd.h"
#include "ingest/records/IsoDate.h"

#include <fcntl.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

namespace quaymark {

namespace {

void writeAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = retryOnInterrupt([&] { return ::write(fd, bytes.data(), bytes.size()); });
        if (n <= 0) {
            return;
        }
        bytes.remove_prefix(static_cast<size_t>(n));
    }
}

} // namespace

void appendDiagnosticsLine(const std::filesystem::path& folder, std::string_view message) {
    const std::filesystem::path log = folder / "diagnostics.log";
    struct stat status {};
    if (::stat(log.c_str(), &status) == 0 && status.st_size > diagnosticsLogLimit) {
        // rename replaces the older generation in one step; when it fails, appends simply
        // continue on the oversized log and rotation is tried again with the next line.
        std::rename(log.c_str(), (folder / "diagnostics.previous.log").c_str());
    }
    // O_APPEND keeps every line at the end; O_NOFOLLOW keeps a planted link from redirecting
    // the log into another file. Without the folder the open fails and the line is dropped.
    const UniqueFd fd(retryOnInterrupt([&] {
        return ::open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | O_NOFOLLOW, 0666);
    }));
    if (!fd) {
        return;
    }
    std::string line = formatIsoDate(Clock::now());
    line.reserve(line.size() + message.size() + 2);
    line += ' ';
    line += message;
    line += '\n';
    writeAll(fd.get(), line);
    ::fsync(fd.get());
}

DiagnosticsLog::DiagnosticsLog()
    : worker_([this](std::stop_token stop) { run(std::move(stop)); }) {
    ::pthread_setname_np(worker_.native_handle(), "qm-diagnostics");
}

DiagnosticsLog::~DiagnosticsLog() {
    worker_.request_stop();
    worker_.join();
}

void DiagnosticsLog::append(std::filesystem::path folder, std::string message) {
    {
        const std::lock_guard lock(mutex_);
        pending_.push_back({std::move(folder), std::move(message)});
        ++queuedCount_;
    }
    queued_.notify_one();
}

void DiagnosticsLog::flush() {
    std::unique_lock lock(mutex_);
    const std::uint64_t target = queuedCount_;
    written_.wait(lock, [&] { return writtenCount_ >= target; });
}

void DiagnosticsLog::run(std::stop_token stop) {
    std::unique_lock lock(mutex_);
    for (;;) {
        queued_.wait(lock, stop, [&] { return !pending_.empty(); });
        // A stop request still drains the queue, so no line queued before it is lost.
        if (pending_.empty()) {
            return;
        }
        Entry entry = std::move(pending_.front());
        pending_.pop_front();
        lock.unlock();
        appendDiagnosticsLine(entry.folder, entry.message);
        lock.lock();
        ++writtenCount_;
        written_.notify_all();
    }
}

} // namespace quaymark
