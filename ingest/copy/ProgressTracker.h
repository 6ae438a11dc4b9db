// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ingest/records/ImportRecords.h"

#include <chrono>
#include <functional>
#include <mutex>

namespace quaymark {

// One run's progress state, shared by its copies. Reports are throttled, and the callback is
// always called outside the lock, so snapshots may arrive out of order.
class ProgressTracker {
public:
    using Callback = std::function<void(const ImportProgress&)>;
    enum class Report { always, throttled };

    static constexpr std::chrono::milliseconds interval{150};

    ProgressTracker(ImportProgress initial, Callback callback);

    // Applies `change` to the state under the lock, then reports as asked.
    template <typename Change>
    void update(Change&& change, Report report) {
        std::unique_lock lock(mutex_);
        change(state_);
        reportLocked(lock, report);
    }

    ImportProgress snapshot() const;

    // copying while bytes remain to be written, verifying after.
    static void recomputePhase(ImportProgress& state);

private:
    void reportLocked(std::unique_lock<std::mutex>& lock, Report report);

    mutable std::mutex mutex_; // guards state_ and the report throttle
    ImportProgress state_;
    std::chrono::steady_clock::time_point last_{};
    bool reported_ = false;
    Callback callback_;
};

} // namespace quaymark
