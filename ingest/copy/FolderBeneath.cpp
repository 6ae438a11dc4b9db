// SPDX-License-Identifier: GPL-3.0-or-later
#include "FolderBeneath.h"

#include "ingest/records/QuayError.h"

#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/stat.h>
#include <sys/syscall.h>

#include <algorithm>
#include <system_error>

namespace quaymark {

namespace fs = std::filesystem;

namespace {

constexpr int folderFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

[[noreturn]] void throwSystem(const char* what, const fs::path& path, int error) {
    throw fs::filesystem_error(what, path, std::error_code(error, std::generic_category()));
}

QuayError linkInTheWay(const std::string& relative) {
    return QuayError::invalidLocation(
        "The import folder contains a link where a folder was expected: " + relative + ".");
}

// The kernel's own confinement: one call, no link and no ".." can lead out.
UniqueFd openWithKernelResolve(int rootFd, const std::string& relative) {
#ifdef SYS_openat2
    open_how how{};
    how.flags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;
    how.resolve = RESOLVE_BENEATH | RESOLVE_NO_SYMLINKS | RESOLVE_NO_MAGICLINKS;
    const long fd = retryOnInterrupt(
        [&] { return ::syscall(SYS_openat2, rootFd, relative.c_str(), &how, sizeof how); });
    return UniqueFd{static_cast<int>(fd)};
#else
    (void)rootFd;
    (void)relative;
    return {};
#endif
}

} // namespace

UniqueFd openFolderBeneath(const fs::path& root, const std::string& relative, bool create) {
    UniqueFd folder{retryOnInterrupt([&] { return ::open(root.c_str(), folderFlags); })};
    if (!folder) {
        throwSystem("Cannot open the import folder", root, errno);
    }
    if (relative.empty()) {
        return folder;
    }
    if (UniqueFd direct = openWithKernelResolve(folder.get(), relative)) {
        return direct;
    }
    // No openat2, or something on the way is missing or wrong: walk one folder at a time, to
    // create what is missing and to name what is in the way.
    std::string walked;
    size_t start = 0;
    while (start <= relative.size()) {
        const size_t end = std::min(relative.find('/', start), relative.size());
        const std::string part = relative.substr(start, end - start);
        start = end + 1;
        walked += (walked.empty() ? "" : "/") + part;
        if (part.empty() || part == "." || part == "..") {
            throw QuayError::invalidLocation("A folder points outside the destination.");
        }
        for (;;) {
            UniqueFd next{retryOnInterrupt(
                [&] { return ::openat(folder.get(), part.c_str(), folderFlags); })};
            if (next) {
                folder = std::move(next);
                break;
            }
            const int error = errno;
            if (error == ENOENT && create) {
                if (::mkdirat(folder.get(), part.c_str(), 0777) == 0 || errno == EEXIST) {
                    continue;
                }
                throwSystem("Cannot create folder", root / walked, errno);
            }
            if (error == ENOENT) {
                return {};
            }
            struct stat info {};
            if ((error == ELOOP || error == ENOTDIR) &&
                ::fstatat(folder.get(), part.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0 &&
                S_ISLNK(info.st_mode)) {
                throw linkInTheWay(walked);
            }
            throwSystem("Cannot open folder", root / walked, error);
        }
    }
    return folder;
}

PlaceBeneath placeBeneath(const fs::path& root, const std::string& relative, bool create) {
    const size_t slash = relative.rfind('/');
    if (slash == std::string::npos) {
        return {openFolderBeneath(root, {}, create), relative};
    }
    return {openFolderBeneath(root, relative.substr(0, slash), create), relative.substr(slash + 1)};
}

void syncFoldersBeneath(const fs::path& root, const std::set<std::string>& folders,
                        const std::function<void(const fs::path&)>& synced) {
    for (const auto& relative : folders) {
        const fs::path path = relative.empty() ? root : root / relative;
        const UniqueFd folder = openFolderBeneath(root, relative, false);
        if (!folder) {
            throwSystem("Cannot open folder", path, ENOENT);
        }
        if (retryOnInterrupt([&] { return ::fsync(folder.get()); }) != 0) {
            throw QuayError::io("Flush destination", path.string(), errno);
        }
        if (synced) {
            synced(path);
        }
    }
}

} // namespace quaymark
