// SPDX-License-Identifier: GPL-3.0-or-later
#include "CopyPass.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <utility>

namespace quaymark {

namespace {

using namespace ImportEngine;

constexpr std::chrono::milliseconds journalInterval{250};
// Small files in flight, whatever the parallel-files setting: each waits mostly for its own
// flush, and flushes in flight together are far cheaper than one after another.
constexpr size_t smallFilesInFlight = 32;

struct Outcome {
    size_t index = 0; // in the pending list
    std::optional<FileReceipt> receipt;
    std::exception_ptr error;
    // Only that a large copy has written every block and goes on verifying; more will come.
    bool written = false;
};

// Where the copies hand their outcomes to the run's thread. Its owner waits, on every exit
// path, until no copy that was started is still running.
class Outcomes {
public:
    ~Outcomes() {
        std::unique_lock lock(mutex_);
        arrived_.wait(lock, [this] { return running_ == 0; });
    }

    void started() {
        std::lock_guard lock(mutex_);
        ++running_;
    }

    void deliver(Outcome outcome) {
        std::lock_guard lock(mutex_);
        const bool final = !outcome.written;
        outcomes_.push_back(std::move(outcome));
        if (final) {
            --running_;
        }
        arrived_.notify_all();
    }

    // Every outcome that has arrived, waiting for at least one until `deadline`; empty when
    // the deadline passed first or no copy is running.
    std::deque<Outcome> take(std::optional<std::chrono::steady_clock::time_point> deadline) {
        std::unique_lock lock(mutex_);
        const auto ready = [this] { return !outcomes_.empty() || running_ == 0; };
        if (deadline) {
            arrived_.wait_until(lock, *deadline, ready);
        } else {
            arrived_.wait(lock, ready);
        }
        return std::exchange(outcomes_, {});
    }

    // True while a copy runs or an outcome waits to be taken: more is still to come.
    bool busy() {
        std::lock_guard lock(mutex_);
        return running_ > 0 || !outcomes_.empty();
    }

private:
    std::mutex mutex_; // guards outcomes_ and running_
    std::condition_variable arrived_;
    std::deque<Outcome> outcomes_;
    size_t running_ = 0;
};

// One pass over the pending files: what is in flight, what has arrived and not yet been
// recorded, and the first error. Lives on the run's thread; copies reach it only through
// `outcomes_`.
class CopyWindow {
public:
    CopyWindow(const std::vector<const SourceFile*>& pending, std::int64_t parallelFiles,
               const CopyContext& context, CancellationFlag& localCancel, JournalWriter& journal,
               SharedReads::Member& sharing)
        : pending_(pending)
        , context_(context)
        , localCancel_(localCancel)
        , journal_(journal)
        , sharing_(sharing)
        // Large files: at most `parallelFiles` reading and writing, as many again verifying,
        // so that the source's read goes on while written copies are reread.
        , largeWindow_(parallelFiles > 0 ? static_cast<size_t>(parallelFiles) : 0)
        , smallWindow_(parallelFiles > 0 ? smallFilesInFlight : 0)
        , written_(pending.size(), false) {}

    void run() {
        startMore();
        for (;;) {
            // Woken by an outcome; else when a waiting copy's grace ends or the journal is due.
            auto deadline = sharing_.graceEnd();
            const auto journalDue = lastSave_ + journalInterval;
            if (!unrecorded_.empty() && (!deadline || journalDue < *deadline)) {
                deadline = journalDue;
            }
            for (auto& outcome : outcomes_.take(deadline)) {
                settle(outcome);
            }
            startMore();
            sharing_.recheck();
            // An outcome delivered since take() still counts, so that none is left behind.
            const bool busy = outcomes_.busy();
            if (!unrecorded_.empty() &&
                (firstError_ || !busy ||
                 std::chrono::steady_clock::now() >= lastSave_ + journalInterval)) {
                record();
            }
            if (!busy && unrecorded_.empty()) {
                break;
            }
        }
        if (firstError_) {
            std::rethrow_exception(firstError_);
        }
    }

private:
    // Strictly in plan order, so that runs sharing reads never wait on each other in a circle.
    void startMore() {
        while (!firstError_ && next_ < pending_.size()) {
            const SourceFile& file = *pending_[next_];
            const bool small = file.bytes <= smallFileLimit;
            if (small ? smallRunning_ >= smallWindow_
                      : largeWriting_ >= largeWindow_ || largeVerifying_ >= largeWindow_) {
                return;
            }
            ++(small ? smallRunning_ : largeWriting_);
            const size_t index = next_++;
            outcomes_.started();
            sharing_.copy(CopyRequest{
                &file,
                journal_.record().partialFiles->at(file.relative),
                &context_,
                [this, index](std::optional<FileReceipt> receipt, std::exception_ptr error) {
                    outcomes_.deliver(Outcome{index, std::move(receipt), std::move(error), false});
                },
                [this, index] {
                    outcomes_.deliver(Outcome{index, {}, {}, true});
                },
                {}});
        }
    }

    void settle(Outcome& outcome) {
        const bool small = pending_[outcome.index]->bytes <= smallFileLimit;
        if (outcome.written) {
            written_[outcome.index] = true;
            --largeWriting_;
            ++largeVerifying_;
            return;
        }
        --(small ? smallRunning_ : written_[outcome.index] ? largeVerifying_ : largeWriting_);
        if (outcome.receipt) {
            unrecorded_.push_back(std::move(*outcome.receipt));
        } else {
            fail(outcome.error);
        }
    }

    // The first error stops this run's other copies, and the other runs need not wait for
    // its files any more.
    void fail(std::exception_ptr error) {
        if (firstError_) {
            return;
        }
        firstError_ = std::move(error);
        localCancel_.cancel();
        sharing_.withdraw();
    }

    // Receipts are recorded, and the journal saved, at most every `journalInterval` while
    // copies run: the journal holds every receipt and is rewritten whole, so saving it per
    // small file would cost more than copying. A crash before a save leaves promoted files
    // that the journal does not list yet, which a resume rehashes in place.
    void record() {
        for (auto& receipt : unrecorded_) {
            journal_.addCompleted(std::move(receipt));
        }
        unrecorded_.clear();
        try {
            journal_.save();
        } catch (...) {
            fail(std::current_exception());
        }
        lastSave_ = std::chrono::steady_clock::now();
    }

    const std::vector<const SourceFile*>& pending_;
    const CopyContext& context_;
    CancellationFlag& localCancel_;
    JournalWriter& journal_;
    SharedReads::Member& sharing_;
    const size_t largeWindow_;
    const size_t smallWindow_;
    std::exception_ptr firstError_;
    size_t next_ = 0;
    size_t largeWriting_ = 0;
    size_t largeVerifying_ = 0;
    size_t smallRunning_ = 0;
    std::vector<bool> written_;
    std::vector<FileReceipt> unrecorded_;
    std::chrono::steady_clock::time_point lastSave_ = std::chrono::steady_clock::now();
    // Last: it waits, as it goes, until no copy that was started still runs.
    Outcomes outcomes_;
};

} // namespace

void ImportEngine::copyPending(const std::vector<const SourceFile*>& pending,
                               std::int64_t parallelFiles, const CopyContext& context,
                               CancellationFlag& localCancel, JournalWriter& journal,
                               SharedReads::Member& sharing) {
    CopyWindow(pending, parallelFiles, context, localCancel, journal, sharing).run();
}

} // namespace quaymark
