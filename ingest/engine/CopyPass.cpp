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

constexpr std::chrono::milliseconds journalInterval{250};
// How often copies that wait for other runs are looked at again, in case one was cancelled.
constexpr std::chrono::milliseconds recheckInterval{500};
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

} // namespace

void ImportEngine::copyPending(const std::vector<const SourceFile*>& pending,
                               std::int64_t parallelFiles, const CopyContext& context,
                               CancellationFlag& localCancel, JournalWriter& journal,
                               SharedReads::Member& sharing) {
    std::exception_ptr firstError;
    size_t next = 0;
    // Large files: at most `parallelFiles` reading and writing, as many again verifying, so
    // that the source's read goes on while written copies are reread.
    const size_t largeWindow = parallelFiles > 0 ? static_cast<size_t>(parallelFiles) : 0;
    const size_t smallWindow = parallelFiles > 0 ? smallFilesInFlight : 0;
    size_t largeWriting = 0;
    size_t largeVerifying = 0;
    size_t smallRunning = 0;
    std::vector<bool> written(pending.size(), false);
    Outcomes outcomes;

    // Strictly in plan order, so that runs sharing reads never wait on each other in a circle.
    const auto startMore = [&] {
        while (!firstError && next < pending.size()) {
            const SourceFile& file = *pending[next];
            const bool small = file.bytes <= smallFileLimit;
            if (small ? smallRunning >= smallWindow
                      : largeWriting >= largeWindow || largeVerifying >= largeWindow) {
                return;
            }
            ++(small ? smallRunning : largeWriting);
            const size_t index = next++;
            outcomes.started();
            sharing.copy(CopyRequest{
                &file,
                journal.record().partialFiles->at(file.relative),
                &context,
                [&outcomes, index](std::optional<FileReceipt> receipt, std::exception_ptr error) {
                    outcomes.deliver(Outcome{index, std::move(receipt), std::move(error), false});
                },
                [&outcomes, index] {
                    outcomes.deliver(Outcome{index, {}, {}, true});
                },
                {}});
        }
    };
    startMore();

    // Receipts are recorded, and the journal saved, at most every `journalInterval` while
    // copies run: the journal holds every receipt and is rewritten whole, so saving it per
    // small file would cost more than copying. A crash before a save leaves promoted files
    // that the journal does not list yet, which a resume rehashes in place.
    std::vector<FileReceipt> unrecorded;
    auto lastSave = std::chrono::steady_clock::now();
    const auto record = [&] {
        for (auto& receipt : unrecorded) {
            journal.addCompleted(std::move(receipt));
        }
        unrecorded.clear();
        try {
            journal.save();
        } catch (...) {
            if (!firstError) {
                firstError = std::current_exception();
            }
            localCancel.cancel();
            sharing.withdraw();
        }
        lastSave = std::chrono::steady_clock::now();
    };

    for (;;) {
        const auto recheckAt = std::chrono::steady_clock::now() + recheckInterval;
        const auto deadline =
            unrecorded.empty() ? recheckAt : std::min(recheckAt, lastSave + journalInterval);
        for (auto& outcome : outcomes.take(deadline)) {
            const bool small = pending[outcome.index]->bytes <= smallFileLimit;
            if (outcome.written) {
                written[outcome.index] = true;
                --largeWriting;
                ++largeVerifying;
                continue;
            }
            --(small ? smallRunning : written[outcome.index] ? largeVerifying : largeWriting);
            if (outcome.receipt) {
                unrecorded.push_back(std::move(*outcome.receipt));
            } else if (!firstError) {
                firstError = outcome.error;
                localCancel.cancel();
                // The other runs need not wait for this one's files any more.
                sharing.withdraw();
            }
        }
        startMore();
        sharing.recheck();
        // An outcome delivered since take() still counts, so that none is left behind.
        const bool busy = outcomes.busy();
        if (!unrecorded.empty() &&
            (firstError || !busy ||
             std::chrono::steady_clock::now() >= lastSave + journalInterval)) {
            record();
        }
        if (!busy && unrecorded.empty()) {
            break;
        }
    }
    if (firstError) {
        std::rethrow_exception(firstError);
    }
}

} // namespace quaymark
