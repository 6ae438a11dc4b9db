// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "QuayError.h"

#include <functional>
#include <stop_token>

namespace quaymark {

// Set once, shared by a job, its running import and the import's workers. Whatever waits for
// something else as well registers a `CancellationWake`, so that it never has to poll.
class CancellationFlag {
public:
    CancellationFlag() = default;
    CancellationFlag(const CancellationFlag&) = delete;
    CancellationFlag& operator=(const CancellationFlag&) = delete;

    void cancel() { source_.request_stop(); }

    bool isCancelled() const { return source_.stop_requested(); }

    void check() const {
        if (isCancelled()) {
            throw QuayError::cancelled();
        }
    }

private:
    friend class CancellationWake;
    std::stop_source source_;
};

// While it lives, `wake` runs once when the flag is set, on the thread that sets it, or at
// once in the constructor when it already is. `wake` must not take a lock that whoever cancels
// may hold, and the wake must not be destroyed under a lock that `wake` takes.
class CancellationWake {
public:
    CancellationWake(const CancellationFlag& flag, std::function<void()> wake)
        : callback_(flag.source_.get_token(), std::move(wake)) {}
    CancellationWake(const CancellationWake&) = delete;
    CancellationWake& operator=(const CancellationWake&) = delete;

private:
    std::stop_callback<std::function<void()>> callback_;
};

} // namespace quaymark
