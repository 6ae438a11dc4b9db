// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "QuayError.h"

#include <mutex>

namespace quaymark {

// Set once, shared by a job, its running import and the import's workers.
class CancellationFlag {
public:
    void cancel() {
        std::lock_guard lock(mutex_);
        value_ = true;
    }

    bool isCancelled() const {
        std::lock_guard lock(mutex_);
        return value_;
    }

    void check() const {
        if (isCancelled()) {
            throw QuayError::cancelled();
        }
    }

private:
    mutable std::mutex mutex_; // guards value_
    bool value_ = false;
};

} // namespace quaymark
