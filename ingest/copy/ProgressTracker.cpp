// SPDX-License-Identifier: GPL-3.0-or-later
#include "ProgressTracker.h"

namespace quaymark {

ProgressTracker::ProgressTracker(ImportProgress initial, Callback callback)
    : state_(std::move(initial))
    , callback_(std::move(callback)) {}

ImportProgress ProgressTracker::snapshot() const {
    std::lock_guard lock(mutex_);
    return state_;
}

void ProgressTracker::recomputePhase(ImportProgress& state) {
    state.phase =
        state.copiedBytes < state.totalBytes ? ImportPhase::copying : ImportPhase::verifying;
}

void ProgressTracker::reportLocked(std::unique_lock<std::mutex>& lock, Report report) {
    const auto now = std::chrono::steady_clock::now();
    if (report == Report::throttled && reported_ && now - last_ <= interval) {
        return;
    }
    last_ = now;
    reported_ = true;
    ImportProgress copy = state_;
    lock.unlock();
    if (callback_) {
        callback_(copy);
    }
}

} // namespace quaymark
