// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QCoreApplication>
#include <QMetaObject>
#include <QPointer>
#include <QThreadPool>

#include <cstdint>
#include <map>
#include <stop_token>
#include <thread>
#include <utility>

// The two ways blocking work leaves the main thread and comes back: a job on the shared pool
// (runInBackground), or a thread an object owns for long work it may have to stop
// (OwnedThreads). Either way a result reaches the main thread as a queued call, dropped when
// its owner is gone by then.
namespace quaymark {

// Hands `call(owner)` to the main thread, unless `owner` is gone by then. Calls posted from
// one thread arrive in the order they were posted.
template <typename Owner, typename Call>
void postToMain(QPointer<Owner> owner, Call call) {
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [owner, call = std::move(call)]() mutable {
            if (owner) {
                call(*owner);
            }
        },
        Qt::QueuedConnection);
}

// Runs blocking `work` on the shared pool and hands its result to `done` on the main thread,
// unless `owner` is gone by then.
template <typename Owner, typename Work, typename Done>
void runInBackground(Owner* owner, Work work, Done done) {
    QThreadPool::globalInstance()->start(
        [owner = QPointer<Owner>(owner), work = std::move(work), done = std::move(done)]() mutable {
            auto result = work();
            postToMain(owner, [done = std::move(done), result = std::move(result)](
                                  Owner& receiver) mutable { done(receiver, std::move(result)); });
        });
}

// Threads that one object owns, each running one piece of long blocking work. A thread is
// joined on the main thread right after the last call it posted; whatever is still running
// when this goes is asked to stop and joined, so no thread outlives its owner. Used on the
// main thread only.
class OwnedThreads {
public:
    OwnedThreads() = default;
    ~OwnedThreads() { stopAndJoin(); }
    OwnedThreads(const OwnedThreads&) = delete;
    OwnedThreads& operator=(const OwnedThreads&) = delete;

    // Runs `work(stop, post)` on a new thread. `post(call)` hands `call(Owner&)` to the main
    // thread as postToMain does. `owner` holds this object.
    template <typename Owner, typename Work>
    void start(Owner* owner, Work work) {
        const std::uint64_t id = next_++;
        threads_[id] = std::jthread([this, id, owner = QPointer<Owner>(owner),
                                     work = std::move(work)](std::stop_token stop) mutable {
            const auto post = [owner](auto call) { postToMain(owner, std::move(call)); };
            work(stop, post);
            // Last: once the owner runs this, the thread has nothing left to do.
            postToMain(owner, [this, id](Owner&) { reap(id); });
        });
    }

    bool running() const { return !threads_.empty(); }

    // Asks every thread to stop, then waits for all of them.
    void stopAndJoin() {
        for (auto& [id, thread] : threads_) {
            thread.request_stop();
        }
        threads_.clear(); // each joins as it goes
    }

private:
    void reap(std::uint64_t id) { threads_.erase(id); }

    std::map<std::uint64_t, std::jthread> threads_;
    std::uint64_t next_ = 0;
};

} // namespace quaymark
