// SPDX-License-Identifier: GPL-3.0-or-later
#include "ProgressIntake.h"

#include <algorithm>

namespace quaymark {

ProgressIntake::ProgressIntake(TimePoint started)
    : lastTime_(started) {}

bool ProgressIntake::accept(const ImportProgress& snapshot, TimePoint now) {
    if (snapshot.copiedBytes < progress_.copiedBytes ||
        snapshot.verifiedBytes < progress_.verifiedBytes) {
        return false;
    }
    if (now - lastTime_ > sampleInterval) {
        const std::int64_t difference = snapshot.phase == ImportPhase::verifying
                                            ? snapshot.verifiedBytes - lastVerify_
                                            : snapshot.copiedBytes - lastBytes_;
        const double seconds = std::chrono::duration<double>(now - lastTime_).count();
        const double rate = static_cast<double>(std::max<std::int64_t>(difference, 0)) / seconds;
        speed_ = speed_ != 0 ? 0.55 * rate + 0.45 * speed_ : rate;
        samples_.push_back(speed_);
        while (samples_.size() > historyLength) {
            samples_.pop_front();
        }
        lastTime_ = now;
        lastBytes_ = snapshot.copiedBytes;
        lastVerify_ = snapshot.verifiedBytes;
    }
    progress_ = snapshot;
    return true;
}

} // namespace quaymark
