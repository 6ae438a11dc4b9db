// SPDX-License-Identifier: GPL-3.0-or-later
#include "SharedReads.h"

#include "DiskWorkers.h"

namespace quaymark {

using namespace ImportEngine;

SharedReads::SharedReads(size_t runs, std::chrono::milliseconds laggardGrace)
    : expected_(runs)
    , laggardGrace_(laggardGrace) {}

std::unique_ptr<SharedReads::Member> SharedReads::join(const CancellationFlag& cancellation) {
    size_t index = 0;
    {
        std::lock_guard lock(mutex_);
        members_.emplace_back();
        members_.back().cancellation = &cancellation;
        index = members_.size() - 1;
    }
    std::unique_ptr<Member> member(new Member(shared_from_this(), index));
    // Outside the lock: the wake runs at once for a run already cancelled.
    member->wake_ = std::make_unique<CancellationWake>(
        cancellation, [joined = member.get()] { joined->recheck(); });
    return member;
}

// Two runs share a read only of the same file as both planned it.
std::string SharedReads::keyOf(const SourceFile& file) {
    const auto modified =
        file.modified ? std::to_string(file.modified->time_since_epoch().count()) : "-";
    return file.url.string() + '\0' + std::to_string(file.bytes) + '\0' + modified;
}

bool SharedReads::holds(const MemberState& member, const std::string& key, bool overdue) const {
    // A cancelled run asks for nothing more, even while it cannot say so yet.
    if (member.left || *member.behind || member.cancellation->isCancelled()) {
        return false;
    }
    return !overdue && (!member.declared || member.wanted.contains(key));
}

bool SharedReads::ready(const std::string& key, const Waiting& waiting) const {
    const bool overdue = std::chrono::steady_clock::now() - waiting.since >= laggardGrace_;
    if (members_.size() < expected_ && !overdue) {
        return false;
    }
    for (size_t i = 0; i < members_.size(); ++i) {
        if (!waiting.members.contains(i) && holds(members_[i], key, overdue)) {
            return false;
        }
    }
    return true;
}

std::vector<SharedReads::Waiting> SharedReads::takeReady() {
    std::vector<Waiting> sessions;
    for (auto it = waiting_.begin(); it != waiting_.end();) {
        if (ready(it->first, it->second)) {
            // Whoever still wanted the file was too slow to share it, and reads alone now.
            for (size_t i = 0; i < members_.size(); ++i) {
                MemberState& member = members_[i];
                if (!it->second.members.contains(i) && !member.left &&
                    (!member.declared || member.wanted.contains(it->first))) {
                    *member.behind = true;
                    member.missed.insert(it->first);
                }
            }
            sessions.push_back(std::move(it->second));
            it = waiting_.erase(it);
        } else {
            ++it;
        }
    }
    return sessions;
}

void SharedReads::start(std::vector<Waiting> sessions) {
    for (auto& session : sessions) {
        // Small files have workers of their own, so that their flushes overlap whatever the
        // number of large copies. A small file for one destination is that destination's job
        // alone; for several, the job reads and hands each destination a job of its own.
        const bool small = session.requests.front().file->bytes <= smallFileLimit;
        const void* destination =
            small && session.requests.size() == 1 ? session.requests.front().context : nullptr;
        DiskWorkers& workers = small ? DiskWorkers::smallFiles() : DiskWorkers::shared();
        workers.post(
            [requests = std::move(session.requests)]() mutable { copyShared(std::move(requests)); },
            destination);
    }
}

template <typename Change>
void SharedReads::update(size_t member, Change change) {
    std::vector<Waiting> sessions;
    {
        std::lock_guard lock(mutex_);
        if (!change(members_[member])) {
            return;
        }
        sessions = takeReady();
    }
    start(std::move(sessions));
}

SharedReads::Member::~Member() {
    withdraw();
}

void SharedReads::Member::declare(const std::vector<const SourceFile*>& files) {
    reads_->update(index_, [&](MemberState& member) {
        if (member.left) {
            return false;
        }
        member.declared = true;
        for (const SourceFile* file : files) {
            member.wanted.insert(keyOf(*file));
        }
        return true;
    });
}

void SharedReads::Member::withdraw() {
    reads_->update(index_, [](MemberState& member) {
        if (member.left) {
            return false;
        }
        member.left = true;
        member.wanted.clear();
        return true;
    });
}

void SharedReads::Member::recheck() {
    reads_->update(index_, [](MemberState&) { return true; });
}

std::optional<std::chrono::steady_clock::time_point> SharedReads::Member::graceEnd() const {
    std::lock_guard lock(reads_->mutex_);
    std::optional<std::chrono::steady_clock::time_point> first;
    for (const auto& [key, waiting] : reads_->waiting_) {
        if (waiting.members.contains(index_)) {
            first = std::min(first.value_or(waiting.since), waiting.since);
        }
    }
    if (first) {
        *first += reads_->laggardGrace_;
    }
    return first;
}

void SharedReads::Member::copy(CopyRequest request) {
    reads_->update(index_, [&](MemberState& member) {
        const std::string key = keyOf(*request.file);
        request.laggardGrace = reads_->laggardGrace_;
        member.wanted.erase(key);
        // Asking before the others started the file: caught up, it shares again.
        *member.behind = member.missed.erase(key) > 0;
        request.lagging = member.behind;
        Waiting& waiting = reads_->waiting_[key];
        waiting.requests.push_back(std::move(request));
        waiting.members.insert(index_);
        return true;
    });
}

} // namespace quaymark
