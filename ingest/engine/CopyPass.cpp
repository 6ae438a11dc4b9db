#include "CopyPass.h"

#include "ingest/copy/DiskWorkers.h"

#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <utility>

namespace quaymark {

namespace {

struct Outcome {
    std::optional<FileReceipt> receipt;
    std::exception_ptr error;
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
        outcomes_.push_back(std::move(outcome));
        --running_;
        arrived_.notify_all();
    }

    // Every outcome that has arrived, waiting for at least one; empty when none can come.
    std::deque<Outcome> take() {
        std::unique_lock lock(mutex_);
        arrived_.wait(lock, [this] { return !outcomes_.empty() || running_ == 0; });
        return std::exchange(outcomes_, {});
    }

private:
    std::mutex mutex_;
    std::condition_variable arrived_;
    std::deque<Outcome> outcomes_;
    size_t running_ = 0;
};

} // namespace

void ImportEngine::copyPending(const std::vector<const SourceFile*>& pending,
                               std::int64_t parallelFiles, const CopyContext& context,
                               CancellationFlag& localCancel, JournalWriter& journal) {
    std::exception_ptr firstError;
    size_t next = 0;
    Outcomes outcomes;

    const auto start = [&] {
        const SourceFile& file = *pending[next++];
        const std::string partialName = journal.record().partialFiles->at(file.relative);
        outcomes.started();
        DiskWorkers::shared().post([&file, partialName, &context, &localCancel, &outcomes] {
            Outcome outcome;
            try {
                context.cancellation.check();
                localCancel.check();
                outcome.receipt = ImportEngine::copy(file, partialName, context);
            } catch (...) {
                outcome.error = std::current_exception();
            }
            outcomes.deliver(std::move(outcome));
        });
    };

    const size_t first =
        parallelFiles > 0 ? std::min(pending.size(), static_cast<size_t>(parallelFiles)) : 0;
    while (next < first) {
        start();
    }

    for (;;) {
        std::deque<Outcome> arrived = outcomes.take();
        if (arrived.empty()) {
            break;
        }
        // Copies that finished together are recorded with one save of the journal.
        size_t finished = 0;
        bool recorded = false;
        for (auto& outcome : arrived) {
            if (outcome.receipt) {
                journal.addCompleted(std::move(*outcome.receipt));
                recorded = true;
                ++finished;
            } else if (!firstError) {
                firstError = outcome.error;
                localCancel.cancel();
            }
        }
        // The next copies start before the journal is saved, so that the disks stay busy
        // while it is written; a failed save stops them like any other error.
        while (!firstError && finished > 0 && next < pending.size()) {
            start();
            --finished;
        }
        if (recorded) {
            try {
                journal.save();
            } catch (...) {
                if (!firstError) {
                    firstError = std::current_exception();
                }
                localCancel.cancel();
            }
        }
    }
    if (firstError) {
        std::rethrow_exception(firstError);
    }
}

} // namespace quaymark
