// SPDX-License-Identifier: GPL-3.0-or-later
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

void moveWithoutReplacing(int folder, const std::string& from, const std::string& to,
                          const std::filesystem::path& shownFolder, const char* what) {
    if (::renameat2(folder, from.c_str(), folder, to.c_str(), RENAME_NOREPLACE) == 0) {
        return;
    }
    int error = errno;
    if (refusesFlag(error)) {
        if (::linkat(folder, from.c_str(), folder, to.c_str(), 0) == 0) {
            // A stop here leaves the partial name beside the final one; a resume removes it
            // once the final name is verified.
            ::unlinkat(folder, from.c_str(), 0);
            return;
        }
        error = errno;
        if (hasNoHardLinks(error)) {
            // FAT and exFAT (common on camera media) have neither the flag nor hard links. The
            // import folder's lock is held by our caller, so no other run can create the target
            // between this check and the rename; only a foreign program could.
            struct stat info {};
            if (::fstatat(folder, to.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0) {
                error = EEXIST;
            } else if (errno != ENOENT) {
                error = errno;
            } else if (::renameat(folder, from.c_str(), folder, to.c_str()) == 0) {
                return;
            } else {
                error = errno;
            }
        }
    }
    throw std::filesystem::filesystem_error(what, shownFolder / from, shownFolder / to,
                                            std::error_code(error, std::generic_category()));
}

} // namespace quaymark
