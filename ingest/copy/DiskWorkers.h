// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <future>
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
    explicit DiskWorkers(size_t threads);
    ~DiskWorkers();
    DiskWorkers(const DiskWorkers&) = delete;
    DiskWorkers& operator=(const DiskWorkers&) = delete;

    // The process-wide pool of 4 threads.
    static DiskWorkers& shared();
    // The process-wide pool for small files: 16 threads, so that their flushes overlap.
    static DiskWorkers& smallFiles();
    // The process-wide pool that flushes, rereads and promotes large copies once written: 8
    // threads, so that the source's read goes on meanwhile.
    static DiskWorkers& verifiers();

    void post(std::function<void()> job);

private:
    void work(std::stop_token stop);

    std::mutex mutex_;
    std::condition_variable_any wake_;
    std::deque<std::function<void()>> jobs_;
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
