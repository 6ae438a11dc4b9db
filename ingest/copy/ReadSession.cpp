// SPDX-License-Identifier: GPL-3.0-or-later
#include "ReadSession.h"

#include "DiskWorkers.h"
#include "ingest/records/QuayError.h"

#include <array>
#include <chrono>
#include <condition_variable>
#include <future>
#include <memory>
#include <mutex>
#include <thread>

namespace quaymark {

using namespace ImportEngine;

namespace {

// Source blocks in flight for a large file. The slowest destination may fall this many blocks
// less two behind the read: one block is on its way from storage, one is being hashed.
constexpr size_t sharedDepth = 6;
// How often a read held back by a destination looks whether that destination was cancelled:
// a write that hangs (a dead network share) must not hold the others once it is cancelled.
constexpr std::chrono::milliseconds cancelCheckInterval{200};

void deliver(CopyRequest& request, std::optional<FileReceipt> receipt, std::exception_ptr error) {
    const auto done = std::move(request.done);
    done(std::move(receipt), std::move(error));
}

void checkCancelled(const CopyRequest& request) {
    request.context->cancellation.check();
    request.context->localCancel.check();
}

// Every block to each destination still writing; one that fails stops alone. Returns how
// many are still writing.
size_t writeInTurn(CopySource& source, std::vector<std::optional<CopyWriter>>& writers,
                   std::vector<std::exception_ptr>& errors, size_t active) {
    while (active > 0) {
        const ReadAhead::Block block = source.next();
        if (block.size == 0) {
            break;
        }
        for (size_t i = 0; i < writers.size(); ++i) {
            try {
                if (writers[i]) {
                    writers[i]->write(block.data, static_cast<size_t>(block.size));
                }
            } catch (...) {
                errors[i] = std::current_exception();
                writers[i].reset();
                --active;
            }
        }
    }
    return active;
}

// A small file: read and hashed once, written to every destination in turn on this thread.
// Throughput comes from the many small files in flight, whose flushes overlap.
void copyInTurn(std::vector<CopyRequest>& requests, const SourceFile& file) {
    std::vector<std::optional<CopyWriter>> writers(requests.size());
    std::vector<std::exception_ptr> errors(requests.size());
    std::optional<CopySource> source;
    try {
        requests.front().context->sourceGuard.check();
        source.emplace(file, 2);
    } catch (...) {
        for (auto& request : requests) {
            deliver(request, std::nullopt, std::current_exception());
        }
        return;
    }
    size_t active = 0;
    for (size_t i = 0; i < requests.size(); ++i) {
        try {
            checkCancelled(requests[i]);
            writers[i].emplace(*requests[i].file, requests[i].partialName, *requests[i].context);
            ++active;
        } catch (...) {
            errors[i] = std::current_exception();
        }
    }
    try {
        active = writeInTurn(*source, writers, errors, active);
        const SourceDigests digests = active > 0 ? source->digests() : SourceDigests{};
        for (size_t i = 0; i < requests.size(); ++i) {
            if (!writers[i]) {
                continue;
            }
            try {
                FileReceipt receipt = writers[i]->finish(digests);
                writers[i].reset();
                deliver(requests[i], std::move(receipt), nullptr);
            } catch (...) {
                errors[i] = std::current_exception();
                writers[i].reset();
            }
        }
    } catch (...) {
        for (size_t i = 0; i < requests.size(); ++i) {
            if (writers[i]) {
                writers[i].reset();
                errors[i] = std::current_exception();
            }
        }
    }
    for (size_t i = 0; i < requests.size(); ++i) {
        if (errors[i]) {
            deliver(requests[i], std::nullopt, errors[i]);
        }
    }
}

// A written copy's flush, reread and promotion, on the verifying workers.
void verifyLater(std::shared_ptr<CopyWriter> writer, const SourceDigests& digests,
                 CopyRequest& request) {
    if (request.written) {
        request.written();
    }
    DiskWorkers::verifiers().post(
        [writer = std::move(writer), digests,
         request = std::make_shared<CopyRequest>(std::move(request))]() mutable {
            std::optional<FileReceipt> receipt;
            std::exception_ptr failure;
            try {
                receipt = writer->finish(digests);
            } catch (...) {
                failure = std::current_exception();
            }
            writer.reset();
            deliver(*request, std::move(receipt), std::move(failure));
        });
}

// A large file: this thread reads and takes the SHA-256, a second one the XXH3-128 beside it,
// and one writer thread per destination writes. A block's buffer is read into again only once
// every destination still copying, and the XXH3, are done with it.
class SharedRead {
public:
    explicit SharedRead(const std::vector<CopyRequest>& requests)
        : consumed_(requests.size(), 0)
        , active_(requests.size(), true)
        , xxhDone_(!xxh128Enabled()) {
        for (const auto& request : requests) {
            contexts_.push_back(request.context);
        }
    }

    // The reading side; every outcome, also an error, is handed to the writers.
    void read(CopySource& source) noexcept {
        try {
            for (size_t c = 0;; ++c) {
                const size_t mustHaveWritten = c + 2 > sharedDepth ? c + 2 - sharedDepth : 0;
                {
                    std::unique_lock lock(mutex_);
                    while (!changed_.wait_for(lock, cancelCheckInterval,
                                              [&] { return written(mustHaveWritten); })) {
                        leaveCancelled();
                    }
                    if (!anyActive()) {
                        break; // every destination left: nobody needs the rest
                    }
                }
                const ReadAhead::Block block = source.next();
                std::lock_guard lock(mutex_);
                if (block.size == 0) {
                    digests_ = source.digests();
                    ended_ = true;
                    break;
                }
                slots_[c % sharedDepth] = block;
                published_ = c + 1;
                changed_.notify_all();
            }
        } catch (...) {
            std::lock_guard lock(mutex_);
            failure_ = std::current_exception();
        }
        std::lock_guard lock(mutex_);
        finished_ = true;
        changed_.notify_all();
    }

    // XXH3-128 of the blocks as they are read, on its own thread beside the SHA-256.
    void hashXxh() noexcept {
        Xxh128 xxh;
        for (size_t k = 0;; ++k) {
            ReadAhead::Block block;
            {
                std::unique_lock lock(mutex_);
                if (xxhDone_) {
                    return; // switched off
                }
                changed_.wait(lock, [&] { return published_ > k || finished_; });
                if (failure_ || published_ <= k) {
                    xxhHex_ = ended_ && !failure_ ? xxh.finishHex() : std::string();
                    xxhDone_ = true;
                    changed_.notify_all();
                    return;
                }
                block = slots_[k % sharedDepth];
            }
            xxh.update(block.data, static_cast<size_t>(block.size));
            std::lock_guard lock(mutex_);
            xxhConsumed_ = k + 1;
            changed_.notify_all();
        }
    }

    // One destination's side, on its own thread: its writes; then, once the source's blocks
    // are no longer needed, its flush, reread and promotion go to the verifying workers.
    void write(size_t index, CopyRequest& request) noexcept {
        std::shared_ptr<CopyWriter> writer;
        std::exception_ptr error;
        try {
            checkCancelled(request);
            writer =
                std::make_shared<CopyWriter>(*request.file, request.partialName, *request.context);
            for (size_t k = 0;; ++k) {
                ReadAhead::Block block;
                {
                    std::unique_lock lock(mutex_);
                    changed_.wait(lock, [&] {
                        return failure_ || published_ > k || ended_ || !active_[index];
                    });
                    if (!active_[index]) {
                        // The read went on without this cancelled destination.
                        checkCancelled(request);
                        throw QuayError::cancelled();
                    }
                    if (failure_) {
                        std::rethrow_exception(failure_);
                    }
                    if (published_ <= k) {
                        break;
                    }
                    block = slots_[k % sharedDepth];
                }
                writer->write(block.data, static_cast<size_t>(block.size));
                std::lock_guard lock(mutex_);
                consumed_[index] = k + 1;
                changed_.notify_all();
            }
            std::unique_lock lock(mutex_);
            changed_.wait(lock, [&] { return xxhDone_; });
        } catch (...) {
            error = std::current_exception();
        }
        SourceDigests digests;
        {
            std::lock_guard lock(mutex_);
            active_[index] = false;
            digests = digests_;
            digests.xxh128 = xxhHex_;
            changed_.notify_all();
        }
        if (error) {
            writer.reset();
            deliver(request, std::nullopt, std::move(error));
            return;
        }
        verifyLater(std::move(writer), digests, request);
    }

private:
    // A cancelled destination leaves the read even while its writer is stuck in a system call;
    // its buffers stay allocated until that writer returns, and the copy is never promoted.
    void leaveCancelled() {
        for (size_t i = 0; i < active_.size(); ++i) {
            if (active_[i] && (contexts_[i]->cancellation.isCancelled() ||
                               contexts_[i]->localCancel.isCancelled())) {
                active_[i] = false;
                changed_.notify_all();
            }
        }
    }

    bool anyActive() const {
        for (const bool active : active_) {
            if (active) {
                return true;
            }
        }
        return false;
    }

    // Every destination still copying has written the first `blocks` blocks, and their XXH3
    // is taken.
    bool written(size_t blocks) const {
        if (!xxhDone_ && xxhConsumed_ < blocks) {
            return false;
        }
        for (size_t i = 0; i < active_.size(); ++i) {
            if (active_[i] && consumed_[i] < blocks) {
                return false;
            }
        }
        return true;
    }

    std::mutex mutex_;
    std::condition_variable changed_;
    std::array<ReadAhead::Block, sharedDepth> slots_{};
    std::vector<size_t> consumed_;
    std::vector<bool> active_;
    std::vector<const CopyContext*> contexts_;
    size_t published_ = 0;
    bool ended_ = false;
    // The read ended, failed or was given up: nothing more will be published.
    bool finished_ = false;
    std::exception_ptr failure_;
    SourceDigests digests_;
    size_t xxhConsumed_ = 0;
    bool xxhDone_;
    std::string xxhHex_;
};

void copyTogether(std::vector<CopyRequest>& requests, const SourceFile& file) {
    std::optional<CopySource> source;
    try {
        requests.front().context->sourceGuard.check();
        source.emplace(file, sharedDepth, false);
    } catch (...) {
        for (auto& request : requests) {
            deliver(request, std::nullopt, std::current_exception());
        }
        return;
    }
    SharedRead shared{requests};
    {
        std::vector<std::jthread> threads;
        threads.reserve(requests.size() + 1);
        threads.emplace_back([&shared] { shared.hashXxh(); });
        for (size_t i = 0; i < requests.size(); ++i) {
            threads.emplace_back([&shared, &requests, i] { shared.write(i, requests[i]); });
        }
        shared.read(*source);
    } // the writers are joined, and done with the blocks, before the source's buffers go
}

} // namespace

void ImportEngine::copyShared(std::vector<CopyRequest> requests) {
    if (requests.empty()) {
        return;
    }
    // The session's own copy: a run may be gone once its request is done.
    const SourceFile file = *requests.front().file;
    if (file.bytes <= smallFileLimit) {
        copyInTurn(requests, file);
    } else {
        copyTogether(requests, file);
    }
}

FileReceipt ImportEngine::copy(const SourceFile& file, const std::string& partialName,
                               const CopyContext& context) {
    // Shared, so that the worker that sets it never touches it after the caller went on.
    auto outcome = std::make_shared<std::promise<FileReceipt>>();
    std::future<FileReceipt> result = outcome->get_future();
    std::vector<CopyRequest> one;
    one.push_back({&file,
                   partialName,
                   &context,
                   [outcome](std::optional<FileReceipt> receipt, std::exception_ptr error) {
                       if (error) {
                           outcome->set_exception(std::move(error));
                       } else {
                           outcome->set_value(std::move(*receipt));
                       }
                   },
                   {}});
    copyShared(std::move(one));
    return result.get();
}

} // namespace quaymark
