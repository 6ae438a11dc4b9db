// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ingest/records/ImportRecords.h"

#include <chrono>
#include <deque>

namespace quaymark {

// Turns one destination's progress snapshots, which may arrive out of order, into its current
// progress and a smoothed speed with a short history. Not thread-safe: one owner feeds it.
class ProgressIntake {
public:
    using TimePoint = std::chrono::steady_clock::time_point;
    static constexpr size_t historyLength = 40;
    static constexpr std::chrono::milliseconds sampleInterval{300};

    explicit ProgressIntake(TimePoint started);

    // False when the snapshot went backwards and was ignored.
    bool accept(const ImportProgress& snapshot, TimePoint now);

    const ImportProgress& progress() const { return progress_; }
    // Bytes per second: of verified bytes while verifying, of copied bytes otherwise.
    double speed() const { return speed_; }
    // The newest samples, oldest first; always `historyLength` long.
    const std::deque<double>& samples() const { return samples_; }
    void stop() { speed_ = 0; }

private:
    ImportProgress progress_;
    double speed_ = 0;
    std::deque<double> samples_ = std::deque<double>(historyLength, 0.0);
    TimePoint lastTime_;
    std::int64_t lastBytes_ = 0;
    std::int64_t lastVerify_ = 0;
};

} // namespace quaymark
