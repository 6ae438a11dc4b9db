#include "SessionLock.h"

#include "ingest/records/ImportRecords.h"
#include "ingest/records/QuayError.h"

#include <fcntl.h>
#include <sys/file.h>

namespace quaymark {

SessionLock::SessionLock(const std::filesystem::path& folder) {
    const auto path = folder / ImportDocuments::lock;
    UniqueFd fd{retryOnInterrupt(
        [&] { return ::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600); })};
    if (!fd) {
        throw QuayError::unavailable("Cannot lock this import folder.");
    }
    if (retryOnInterrupt([&] { return ::flock(fd.get(), LOCK_EX | LOCK_NB); }) != 0) {
        throw QuayError::unavailable(
            "This import is already running in another job or app window.");
    }
    fd_ = std::move(fd);
}

void SessionLock::release() noexcept {
    if (fd_) {
        ::flock(fd_.get(), LOCK_UN);
        fd_.reset();
    }
}

} // namespace quaymark
