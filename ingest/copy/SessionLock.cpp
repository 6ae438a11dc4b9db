// SPDX-License-Identifier: GPL-3.0-or-later
#include "SessionLock.h"

#include "ingest/records/ImportRecords.h"
#include "ingest/records/QuayError.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quaymark {

SessionLock::SessionLock(const std::filesystem::path& folder)
    : path_(folder / ImportDocuments::lock) {
    UniqueFd fd{retryOnInterrupt([&] {
        return ::open(path_.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
    })};
    struct stat info {};
    if (!fd || ::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode)) {
        throw QuayError::unavailable("Cannot lock this import folder.");
    }
    if (retryOnInterrupt([&] { return ::flock(fd.get(), LOCK_EX | LOCK_NB); }) != 0) {
        if (errno == EWOULDBLOCK) {
            throw QuayError::unavailable(
                "This import is already running in another job or app window.");
        }
        // Not a second run: the file system cannot lock (NFS without a lock service, a
        // failing disk). Saying "already running" would send the user looking for one.
        throw QuayError::io("Lock", path_.string(), errno);
    }
    fd_ = std::move(fd);
}

bool SessionLock::heldNow(const std::filesystem::path& folder) noexcept {
    const auto path = folder / ImportDocuments::lock;
    const UniqueFd fd{retryOnInterrupt(
        [&] { return ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC); })};
    // A shared lock is refused only while a run holds its exclusive one; it is let go at once.
    return fd && retryOnInterrupt([&] { return ::flock(fd.get(), LOCK_SH | LOCK_NB); }) != 0 &&
           errno == EWOULDBLOCK;
}

void SessionLock::removeAndRelease() noexcept {
    if (fd_) {
        ::unlink(path_.c_str());
    }
    release();
}

void SessionLock::release() noexcept {
    if (fd_) {
        ::flock(fd_.get(), LOCK_UN);
        fd_.reset();
    }
}

} // namespace quaymark
