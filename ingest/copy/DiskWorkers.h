// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <future>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <type_traits>
#include <vector>

namespace quaymark {

// A fixed set of threads for blocking file work. The process-wide pool bounds how many copies
// and rechecks touch the disks at once, whatever the number of imports.
class DiskWorkers {
public:
    // `perKey`: how many jobs of one key may run at once, so that jobs whose disk hangs (a
    // network share that stopped answering) hold only their share of the threads.
    explicit DiskWorkers(size_t threads, size_t perKey = SIZE_MAX);
    ~DiskWorkers();
    DiskWorkers(const DiskWorkers&) = delete;
    DiskWorkers& operator=(const DiskWorkers&) = delete;

    // The process-wide pool of 4 threads.
    static DiskWorkers& shared();
    // The process-wide pool for small files: 20 threads, so that their flushes overlap, at
    // most 16 for one destination.
    static DiskWorkers& smallFiles();
    // The process-wide pool that flushes, rereads and promotes large copies once written: 8
    // threads, so that the source's read goes on meanwhile, at most 6 for one destination.
    static DiskWorkers& verifiers();

    // Jobs run in the order posted, except that one whose key is at its limit waits for a job
    // of that key to end. A null key has no limit.
    void post(std::function<void()> job, const void* key = nullptr);

private:
    struct Job {
        const void* key;
        std::function<void()> run;
    };

    void work(std::stop_token stop);
    // The first job that may start now, or end(); under the lock.
    std::deque<Job>::iterator nextJob();

    const size_t perKey_;
    std::mutex mutex_; // guards the queued jobs and the running count per key
    std::condition_variable_any wake_;
    std::deque<Job> jobs_;
    std::map<const void*, size_t> running_;
    std::vector<std::jthread> threads_;
};

// Runs a blocking function on the shared pool; the future carries its result or error.
template <typename Function>
auto onWorker(Function function) -> std::future<std::invoke_result_t<Function>> {
    using Result = std::invoke_result_t<Function>;
    auto task = std::make_shared<std::packaged_task<Result()>>(std::move(function));
    auto future = task->get_future();
    DiskWorkers::shared().post([task] { (*task)(); });
    return future;
}

} // namespace quaymark
