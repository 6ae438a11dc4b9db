// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ReadSession.h"

#include <atomic>
#include <chrono>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace quaymark::ImportEngine {

// The runs of one import batch, one per destination, sharing one read of each source file.
// A file's copy starts once every run that will copy it has asked for it, and every other run
// has said that it won't (its copy is already verified, or it failed or was cancelled). Runs
// copy their files in plan order, so none waits on another in a circle. A run that has not
// asked within a grace (its drive is slow or stopped answering) is left behind: the copy starts
// without it, and it reads alone until it asks for a file before the others have started it.
class SharedReads : public std::enable_shared_from_this<SharedReads> {
public:
    // `runs`: how many runs will join; a copy never starts before all of them have.
    explicit SharedReads(size_t runs, std::chrono::milliseconds laggardGrace = defaultLaggardGrace);
    SharedReads(const SharedReads&) = delete;
    SharedReads& operator=(const SharedReads&) = delete;

    // One run's place in the sharing. Leaving (also by destruction) never holds the others.
    class Member {
    public:
        ~Member();
        Member(const Member&) = delete;
        Member& operator=(const Member&) = delete;

        // The files this run will ask to copy; until it says so, it may ask for any.
        void declare(const std::vector<const SourceFile*>& files);
        // Asks for no more files.
        void withdraw();
        // Copies the file once every run that shares it has asked; `request.done` tells the
        // outcome, on a disk worker.
        void copy(CopyRequest request);
        // Starts what may start now: a copy whose grace for the runs that have not asked is
        // over. A cancelled run's copies are looked at again without it.
        void recheck();
        // When the first copy this run waits for may start without the runs that have not
        // asked for it; none while it waits for none.
        std::optional<std::chrono::steady_clock::time_point> graceEnd() const;

    private:
        friend class SharedReads;
        Member(std::shared_ptr<SharedReads> reads, size_t index)
            : reads_(std::move(reads))
            , index_(index) {}
        std::shared_ptr<SharedReads> reads_;
        size_t index_;
        // Last: a run cancelled while stuck before it could say which files it needs (on a
        // drive that does not answer) holds the others no longer.
        std::unique_ptr<CancellationWake> wake_;
    };

    // `cancellation`: the run's flag; it must outlive the member.
    std::unique_ptr<Member> join(const CancellationFlag& cancellation);

private:
    struct MemberState {
        bool declared = false;
        bool left = false;
        // Shared with the run's copies, whose reads may find it lagging too.
        std::shared_ptr<std::atomic<bool>> behind = std::make_shared<std::atomic<bool>>(false);
        std::set<std::string> wanted;
        std::set<std::string> missed; // started without this member while it was behind
        const CancellationFlag* cancellation = nullptr;
    };
    struct Waiting {
        std::vector<CopyRequest> requests;
        std::set<size_t> members;
        std::chrono::steady_clock::time_point since = std::chrono::steady_clock::now();
    };

    static std::string keyOf(const SourceFile& file);
    // Whether a member not yet in `waiting` holds it back; `overdue` once the grace is over.
    bool holds(const MemberState& member, const std::string& key, bool overdue) const;
    bool ready(const std::string& key, const Waiting& waiting) const;
    // Takes every session that may start now out of the waiting ones; run after the lock.
    std::vector<Waiting> takeReady();
    static void start(std::vector<Waiting> sessions);
    // Applies `change` to this member's state under the lock, then starts, outside the lock,
    // every copy that may start now. `change` returns false when nothing changed.
    template <typename Change>
    void update(size_t member, Change change);

    mutable std::mutex mutex_; // guards members_ and waiting_
    const size_t expected_;
    const std::chrono::milliseconds laggardGrace_;
    std::vector<MemberState> members_;
    std::map<std::string, Waiting> waiting_;
};

} // namespace quaymark::ImportEngine
