// SPDX-License-Identifier: GPL-3.0-or-later
#include "DiskWorkers.h"

namespace quaymark {

DiskWorkers::DiskWorkers(size_t threads) {
    threads_.reserve(threads);
    for (size_t i = 0; i < threads; ++i) {
        threads_.emplace_back([this](std::stop_token stop) { work(stop); });
    }
}

DiskWorkers::~DiskWorkers() {
    for (auto& thread : threads_) {
        thread.request_stop();
    }
    wake_.notify_all();
    threads_.clear();
}

DiskWorkers& DiskWorkers::shared() {
    // Never destroyed: quitting must not wait for running copies, which journals make safe to
    // abandon, and no static destructor may join a thread that is still in a system call.
    static auto* workers = new DiskWorkers(4);
    return *workers;
}

DiskWorkers& DiskWorkers::smallFiles() {
    static auto* workers = new DiskWorkers(16);
    return *workers;
}

DiskWorkers& DiskWorkers::verifiers() {
    static auto* workers = new DiskWorkers(8);
    return *workers;
}

void DiskWorkers::post(std::function<void()> job) {
    {
        std::lock_guard lock(mutex_);
        jobs_.push_back(std::move(job));
    }
    wake_.notify_one();
}

void DiskWorkers::work(std::stop_token stop) {
    for (;;) {
        std::function<void()> job;
        {
            std::unique_lock lock(mutex_);
            if (!wake_.wait(lock, stop, [this] { return !jobs_.empty(); })) {
                return;
            }
            job = std::move(jobs_.front());
            jobs_.pop_front();
        }
        job();
    }
}

} // namespace quaymark
