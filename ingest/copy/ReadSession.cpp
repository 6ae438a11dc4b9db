// SPDX-License-Identifier: GPL-3.0-or-later
#include "ReadSession.h"

#include "DiskWorkers.h"
#include "ingest/records/QuayError.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <condition_variable>
#include <cstring>
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

void deliver(CopyRequest& request, std::optional<FileReceipt> receipt, std::exception_ptr error) {
    const auto done = std::move(request.done);
    done(std::move(receipt), std::move(error));
}

void checkCancelled(const CopyRequest& request) {
    request.context->cancellation.check();
    request.context->localCancel.check();
}

// A small file for one destination: read, hashed and written on this thread. Throughput comes
// from the many small files in flight, whose flushes overlap.
void copyAlone(CopyRequest& request, const SourceFile& file) {
    std::optional<FileReceipt> receipt;
    std::exception_ptr failure;
    try {
        request.context->sourceGuard.check();
        CopySource source{file, 2};
        checkCancelled(request);
        CopyWriter writer{*request.file, request.partialName, *request.context};
        for (ReadAhead::Block block = source.next(); block.size > 0; block = source.next()) {
            writer.write(block.data, static_cast<size_t>(block.size));
        }
        receipt = writer.finish(source.digests());
    } catch (...) {
        failure = std::current_exception(); // the partial file went with the writer
    }
    deliver(request, std::move(receipt), std::move(failure));
}

// A small file read whole, with its digests, for every destination's job to write.
struct SmallSource {
    explicit SmallSource(const SourceFile& file)
        : data(std::max<size_t>(static_cast<size_t>(file.bytes), 1)) {}
    AlignedBuffer data;
    size_t size = 0;
    SourceDigests digests;
};

// One destination's copy of a small file already read: written, flushed, reread and promoted.
void writeAlone(const SmallSource& source, CopyRequest& request) {
    std::optional<FileReceipt> receipt;
    std::exception_ptr failure;
    try {
        checkCancelled(request);
        CopyWriter writer{*request.file, request.partialName, *request.context};
        writer.write(source.data.data(), source.size);
        receipt = writer.finish(source.digests);
    } catch (...) {
        failure = std::current_exception();
    }
    deliver(request, std::move(receipt), std::move(failure));
}

// A small file for several destinations: read and hashed once, then each destination copies
// it in a job of its own, so that one whose writes hang holds only its own copies.
void copyApart(std::vector<CopyRequest>& requests, const SourceFile& file) {
    auto source = std::make_shared<SmallSource>(file);
    try {
        requests.front().context->sourceGuard.check();
        CopySource reader{file, 2};
        for (ReadAhead::Block block = reader.next(); block.size > 0; block = reader.next()) {
            const auto size = static_cast<size_t>(block.size);
            if (source->size + size > source->data.size()) {
                throw QuayError::changed(file.relative); // it grew since it was planned
            }
            std::memcpy(source->data.data() + source->size, block.data, size);
            source->size += size;
        }
        source->digests = reader.digests();
    } catch (...) {
        for (auto& request : requests) {
            deliver(request, std::nullopt, std::current_exception());
        }
        return;
    }
    for (auto& request : requests) {
        const void* destination = request.context;
        DiskWorkers::smallFiles().post(
            [source, request = std::move(request)]() mutable { writeAlone(*source, request); },
            destination);
    }
}

// A written copy's flush, reread and promotion, on the verifying workers.
void verifyLater(std::shared_ptr<CopyWriter> writer, const SourceDigests& digests,
                 CopyRequest& request) {
    if (request.written) {
        request.written();
    }
    const void* destination = request.context;
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
        },
        destination);
}

// A large file: this thread reads and takes the SHA-256, a second one the XXH3-128 beside it,
// and one writer thread per destination writes. A block's buffer is read into again only once
// every destination still copying, and the XXH3, are done with it.
class SharedRead {
public:
    explicit SharedRead(const std::vector<CopyRequest>& requests)
        : consumed_(requests.size(), 0)
        , active_(requests.size(), true)
        , alone_(requests.size(), false)
        , xxhDone_(!xxh128Enabled())
        , laggardGrace_(requests.front().laggardGrace) {
        for (const auto& request : requests) {
            contexts_.push_back(request.context);
            lagging_.push_back(request.lagging);
        }
        // A write that hangs (a dead network share) must not hold the others once its
        // destination is cancelled: the cancel wakes the read, which lets that one go.
        const auto wakeRead = [this] {
            std::lock_guard lock(mutex_);
            blockTaken_.notify_all();
        };
        for (const CopyContext* context : contexts_) {
            wakes_.push_back(std::make_unique<CancellationWake>(context->cancellation, wakeRead));
            wakes_.push_back(std::make_unique<CancellationWake>(context->localCancel, wakeRead));
        }
    }

    // The reading side; every outcome, also an error, is handed to the writers.
    void read(CopySource& source) noexcept {
        try {
            for (size_t c = 0;; ++c) {
                const size_t mustHaveWritten = c + 2 > sharedDepth ? c + 2 - sharedDepth : 0;
                {
                    std::unique_lock lock(mutex_);
                    waitForWriters(lock, mustHaveWritten);
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
                blockPublished_.notify_all();
            }
        } catch (...) {
            std::lock_guard lock(mutex_);
            failure_ = std::current_exception();
        }
        std::lock_guard lock(mutex_);
        finished_ = true;
        blockPublished_.notify_all();
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
                blockPublished_.wait(lock, [&] { return published_ > k || finished_; });
                if (failure_ || published_ <= k) {
                    xxhHex_ = ended_ && !failure_ ? xxh.finishHex() : std::string();
                    xxhDone_ = true;
                    xxhEnded_.notify_all();
                    blockTaken_.notify_all();
                    return;
                }
                block = slots_[k % sharedDepth];
            }
            xxh.update(block.data, static_cast<size_t>(block.size));
            std::lock_guard lock(mutex_);
            xxhConsumed_ = k + 1;
            blockTaken_.notify_all();
        }
    }

    // One destination's side, on its own thread: its writes; then, once the source's blocks
    // are no longer needed, its flush, reread and promotion go to the verifying workers.
    void write(size_t index, CopyRequest& request) noexcept {
        std::shared_ptr<CopyWriter> writer;
        std::exception_ptr error;
        std::optional<SourceDigests> own;
        try {
            checkCancelled(request);
            writer =
                std::make_shared<CopyWriter>(*request.file, request.partialName, *request.context);
            const std::int64_t writtenBytes = writeShared(index, request, *writer);
            if (std::unique_lock lock(mutex_); alone_[index]) {
                lock.unlock();
                own = readAlone(request, *writer, writtenBytes);
            } else {
                xxhEnded_.wait(lock, [&] { return xxhDone_; });
            }
        } catch (...) {
            error = std::current_exception();
        }
        const SourceDigests shared = leave(index);
        if (error) {
            writer.reset();
            deliver(request, std::nullopt, std::move(error));
            return;
        }
        // A destination that read alone is checked against what its own read found.
        verifyLater(std::move(writer), own ? std::move(*own) : shared, request);
    }

private:
    // The shared blocks, in order, as they are published; the bytes written. Ends early for a
    // destination the read went on without: cancelled, or left to read the rest alone.
    std::int64_t writeShared(size_t index, CopyRequest& request, CopyWriter& writer) {
        std::int64_t writtenBytes = 0;
        for (size_t k = 0;; ++k) {
            ReadAhead::Block block;
            {
                std::unique_lock lock(mutex_);
                blockPublished_.wait(
                    lock, [&] { return failure_ || published_ > k || ended_ || !active_[index]; });
                if (!active_[index]) {
                    checkCancelled(request);
                    if (!alone_[index]) {
                        throw QuayError::cancelled();
                    }
                    return writtenBytes;
                }
                if (failure_) {
                    std::rethrow_exception(failure_);
                }
                if (published_ <= k) {
                    return writtenBytes;
                }
                block = slots_[k % sharedDepth];
            }
            writer.write(block.data, static_cast<size_t>(block.size));
            writtenBytes += block.size;
            std::lock_guard lock(mutex_);
            consumed_[index] = k + 1;
            blockTaken_.notify_all();
        }
    }

    // This destination takes no more part in the shared read; the shared read's digests.
    SourceDigests leave(size_t index) {
        std::lock_guard lock(mutex_);
        active_[index] = false;
        SourceDigests digests = digests_;
        digests.xxh128 = xxhHex_;
        blockTaken_.notify_all();
        return digests;
    }

    // The rest of the file from a read of its own, after `skip` bytes written from the shared
    // one. The whole file is hashed again: the copy is checked against this read, so bytes the
    // card gave differently the second time fail the copy instead of passing unnoticed.
    static SourceDigests readAlone(CopyRequest& request, CopyWriter& writer, std::int64_t skip) {
        CopySource source{*request.file, sharedDepth};
        std::int64_t seen = 0;
        for (ReadAhead::Block block = source.next(); block.size > 0; block = source.next()) {
            checkCancelled(request);
            const std::int64_t from = std::clamp<std::int64_t>(skip - seen, 0, block.size);
            if (from < block.size) {
                writer.write(block.data + from, static_cast<size_t>(block.size - from));
            }
            seen += block.size;
        }
        return source.digests();
    }

    // Until every destination still sharing has written the first `blocks` blocks. While one
    // of them already waits for the next block, the others are a whole window behind it: one
    // that holds it so for longer than the grace in all, block after block, is left behind to
    // go on alone, at once if it is known to lag already. A cancelled one leaves at once.
    void waitForWriters(std::unique_lock<std::mutex>& lock, size_t blocks) {
        if (written(blocks)) {
            heldSince_.reset();
            return;
        }
        for (;;) {
            leaveCancelled();
            std::optional<std::chrono::steady_clock::time_point> leaveAt;
            if (anyWritten(blocks)) {
                const auto now = std::chrono::steady_clock::now();
                heldSince_ = heldSince_.value_or(now);
                leaveLagging(blocks, now - *heldSince_ >= laggardGrace_);
                // Only a destination can be left behind: while the XXH3 alone is behind, its
                // progress wakes the read, and a deadline would only spin.
                if (anyBehind(blocks)) {
                    leaveAt = *heldSince_ + laggardGrace_;
                }
            } else {
                heldSince_.reset(); // the read is simply ahead of everyone
            }
            if (written(blocks)) {
                return;
            }
            // Woken by a block taken, a writer's leave or a cancel; else at the grace's end.
            if (leaveAt) {
                blockTaken_.wait_until(lock, *leaveAt);
            } else {
                blockTaken_.wait(lock);
            }
        }
    }

    void leaveLagging(size_t blocks, bool overdue) {
        for (size_t i = 0; i < active_.size(); ++i) {
            if (active_[i] && consumed_[i] < blocks && (overdue || (lagging_[i] && *lagging_[i]))) {
                active_[i] = false;
                alone_[i] = true;
                if (lagging_[i]) {
                    *lagging_[i] = true;
                }
                blockPublished_.notify_all();
            }
        }
    }

    bool anyBehind(size_t blocks) const {
        for (size_t i = 0; i < active_.size(); ++i) {
            if (active_[i] && consumed_[i] < blocks) {
                return true;
            }
        }
        return false;
    }

    bool anyWritten(size_t blocks) const {
        for (size_t i = 0; i < active_.size(); ++i) {
            if (active_[i] && consumed_[i] >= blocks) {
                return true;
            }
        }
        return false;
    }

    // A cancelled destination leaves the read even while its writer is stuck in a system call;
    // its buffers stay allocated until that writer returns, and the copy is never promoted.
    void leaveCancelled() {
        for (size_t i = 0; i < active_.size(); ++i) {
            if (active_[i] && (contexts_[i]->cancellation.isCancelled() ||
                               contexts_[i]->localCancel.isCancelled())) {
                active_[i] = false;
                blockPublished_.notify_all();
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
        return (xxhDone_ || xxhConsumed_ >= blocks) && !anyBehind(blocks);
    }

    std::mutex mutex_; // guards everything below
    // One condition per kind of waiter: the writers and the XXH3 wait for a block to be
    // published (or for the read to end, or for their leave); the read waits for blocks to be
    // taken by every writer and the XXH3; a writer's end waits for the XXH3 to end.
    std::condition_variable blockPublished_;
    std::condition_variable blockTaken_;
    std::condition_variable xxhEnded_;
    std::array<ReadAhead::Block, sharedDepth> slots_{};
    std::vector<size_t> consumed_;
    std::vector<bool> active_;
    std::vector<bool> alone_; // left behind, goes on with a read of its own
    std::vector<const CopyContext*> contexts_;
    std::vector<std::shared_ptr<std::atomic<bool>>> lagging_;
    // Since when a destination waiting for the next block has been held by a lagging one.
    std::optional<std::chrono::steady_clock::time_point> heldSince_;
    size_t published_ = 0;
    bool ended_ = false;
    // The read ended, failed or was given up: nothing more will be published.
    bool finished_ = false;
    std::exception_ptr failure_;
    SourceDigests digests_;
    size_t xxhConsumed_ = 0;
    bool xxhDone_;
    std::string xxhHex_;
    const std::chrono::milliseconds laggardGrace_;
    // Last, so that no wake runs while the rest is taken down.
    std::vector<std::unique_ptr<CancellationWake>> wakes_;
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
    if (file.bytes <= smallFileLimit && requests.size() == 1) {
        copyAlone(requests.front(), file);
    } else if (file.bytes <= smallFileLimit) {
        copyApart(requests, file);
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
                   {},
                   {}});
    copyShared(std::move(one));
    return result.get();
}

} // namespace quaymark
