// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <functional>

namespace quaymark::cli {

// Ctrl-C and termination requests are taken by the main thread between its own work, never by
// a signal handler, so that cancelling is an ordinary call.
class InterruptWatch {
public:
    // Blocks SIGINT and SIGTERM for this thread and every thread started after.
    // They stay blocked afterwards: a late Ctrl-C must not kill the command while it reports.
    InterruptWatch();
    InterruptWatch(const InterruptWatch&) = delete;
    InterruptWatch& operator=(const InterruptWatch&) = delete;

    // Waits up to `timeout` for an interrupt; true when one came during this wait.
    bool wait(std::chrono::milliseconds timeout);
    // True once any interrupt came.
    bool interrupted() const { return interrupted_; }

private:
    bool interrupted_ = false;
};

} // namespace quaymark::cli
