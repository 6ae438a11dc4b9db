// SPDX-License-Identifier: GPL-3.0-or-later
#include "Signals.h"

#include <signal.h>

#include <cerrno>

namespace quaymark::cli {

namespace {

sigset_t interruptSignals() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    return set;
}

} // namespace

InterruptWatch::InterruptWatch() {
    const sigset_t set = interruptSignals();
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

bool InterruptWatch::wait(std::chrono::milliseconds timeout) {
    const sigset_t set = interruptSignals();
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(timeout);
    const timespec limit{static_cast<time_t>(seconds.count()),
                         static_cast<long>((timeout - seconds).count() * 1'000'000)};
    siginfo_t info;
    if (sigtimedwait(&set, &info, &limit) > 0) {
        interrupted_ = true;
        return true;
    }
    return false;
}

} // namespace quaymark::cli
