// SPDX-License-Identifier: GPL-3.0-or-later
#include "DiskWorkers.h"

#include <algorithm>

namespace quaymark {

DiskWorkers::DiskWorkers(size_t threads, size_t perKey)
    : perKey_(perKey) {
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
    static auto* workers = new DiskWorkers(20, 16);
    return *workers;
}

DiskWorkers& DiskWorkers::verifiers() {
    static auto* workers = new DiskWorkers(8, 6);
    return *workers;
}

void DiskWorkers::post(std::function<void()> job, const void* key) {
    {
        std::lock_guard lock(mutex_);
        jobs_.push_back({key, std::move(job)});
    }
    wake_.notify_one();
}

std::deque<DiskWorkers::Job>::iterator DiskWorkers::nextJob() {
    return std::find_if(jobs_.begin(), jobs_.end(), [this](const Job& job) {
        if (!job.key) {
            return true;
        }
        const auto running = running_.find(job.key);
        return running == running_.end() || running->second < perKey_;
    });
}

void DiskWorkers::work(std::stop_token stop) {
    const void* finished = nullptr;
    for (;;) {
        Job job;
        {
            std::unique_lock lock(mutex_);
            if (finished && --running_[finished] == 0) {
                running_.erase(finished);
            }
            // The thread that ends a job looks again itself: a job its key held back may start.
            if (!wake_.wait(lock, stop, [this] { return nextJob() != jobs_.end(); })) {
                return;
            }
            const auto next = nextJob();
            job = std::move(*next);
            jobs_.erase(next);
            if (job.key) {
                ++running_[job.key];
            }
        }
        job.run();
        finished = job.key;
    }
}

} // namespace quaymark
