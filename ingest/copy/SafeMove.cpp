#include "SafeMove.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <system_error>

namespace quaymark {

namespace {

bool refusesFlag(int error) {
    return error == EINVAL || error == ENOSYS || error == EOPNOTSUPP;
}

bool hasNoHardLinks(int error) {
    return error == EPERM || error == EOPNOTSUPP || error == ENOSYS;
}

} // namespace

void moveWithoutReplacing(const std::filesystem::path& from, const std::filesystem::path& to) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) {
        return;
    }
    int error = errno;
    if (refusesFlag(error)) {
        if (::link(from.c_str(), to.c_str()) == 0) {
            ::unlink(from.c_str());
            return;
        }
        error = errno;
        if (hasNoHardLinks(error)) {
            // FAT and exFAT (common on camera media) have neither the flag nor hard links. The
            // import folder's lock is held by our caller, so no other run can create the target
            // between this check and the rename; only a foreign program could.
            struct stat info {};
            if (::lstat(to.c_str(), &info) == 0) {
                error = EEXIST;
            } else if (errno != ENOENT) {
                error = errno;
            } else if (::rename(from.c_str(), to.c_str()) == 0) {
                return;
            } else {
                error = errno;
            }
        }
    }
    throw std::filesystem::filesystem_error("Cannot move the verified copy into place", from, to,
                                            std::error_code(error, std::generic_category()));
}

} // namespace quaymark
