// SPDX-License-Identifier: GPL-3.0-or-later
#include "DurableWrite.h"

#include "UniqueFd.h"
#include "ingest/records/ImportRecords.h"
#include "ingest/records/QuayError.h"
#include "ingest/records/Uuid.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <cctype>
#include <cstdio>
#include <memory>

namespace quaymark {

namespace {

// A temporary file that is removed unless it was committed.
class TemporaryFile {
public:
    TemporaryFile(std::filesystem::path path, UniqueFd fd)
        : path_(std::move(path))
        , fd_(std::move(fd)) {}
    ~TemporaryFile() {
        fd_.reset();
        if (!committed_) {
            ::unlink(path_.c_str());
        }
    }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;

    int fd() const { return fd_.get(); }
    const std::filesystem::path& path() const { return path_; }
    void committed() { committed_ = true; }

private:
    std::filesystem::path path_;
    UniqueFd fd_;
    bool committed_ = false;
};

struct DirCloser {
    void operator()(DIR* dir) const { ::closedir(dir); }
};

} // namespace

// ".quaymark-status-" + canonical upper-case UUID + ".tmp", and nothing else.
bool isStatusFileName(std::string_view name) {
    constexpr std::string_view suffix = ".tmp";
    constexpr std::string_view uuidShape = "XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX";
    if (name.size() != ImportDocuments::statusPrefix.size() + uuidShape.size() + suffix.size() ||
        !name.starts_with(ImportDocuments::statusPrefix) || !name.ends_with(suffix)) {
        return false;
    }
    const std::string_view uuid =
        name.substr(ImportDocuments::statusPrefix.size(), uuidShape.size());
    for (size_t i = 0; i < uuid.size(); ++i) {
        const char c = uuid[i];
        const bool ok = uuidShape[i] == '-' ? c == '-'
                                            : (std::isdigit(static_cast<unsigned char>(c)) != 0 ||
                                               (c >= 'A' && c <= 'F'));
        if (!ok) {
            return false;
        }
    }
    return true;
}

void removeLeftoverStatusFiles(const std::filesystem::path& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        return;
    }
    const std::unique_ptr<DIR, DirCloser> dir(::fdopendir(fd));
    if (!dir) {
        ::close(fd);
        return;
    }
    while (const dirent* entry = ::readdir(dir.get())) {
        struct stat info {};
        if (isStatusFileName(entry->d_name) &&
            ::fstatat(fd, entry->d_name, &info, AT_SYMLINK_NOFOLLOW) == 0 &&
            S_ISREG(info.st_mode)) {
            ::unlinkat(fd, entry->d_name, 0);
        }
    }
}

void syncFolder(const std::filesystem::path& folder) noexcept {
    UniqueFd fd{::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)};
    if (fd) {
        retryOnInterrupt([&] { return ::fsync(fd.get()); });
    }
}

void durableWrite(std::string_view bytes, const std::filesystem::path& target) {
    const std::string name = target.string();
    const auto folder = target.parent_path();
    const auto temporaryPath =
        folder / (std::string(ImportDocuments::statusPrefix) + makeUuid() + ".tmp");

    // The umask decides, as for the copies: teammates on a shared drive must read the proof.
    UniqueFd fd{retryOnInterrupt([&] {
        return ::open(temporaryPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                      0666);
    })};
    if (!fd) {
        throw QuayError::io("Create status record", name, errno);
    }
    TemporaryFile temporary{temporaryPath, std::move(fd)};

    size_t written = 0;
    while (written < bytes.size()) {
        const ssize_t n = retryOnInterrupt([&] {
            return ::write(temporary.fd(), bytes.data() + written, bytes.size() - written);
        });
        if (n < 0) {
            throw QuayError::io("Write", name, errno);
        }
        if (n == 0) {
            throw QuayError::io("Write", name, EIO);
        }
        written += static_cast<size_t>(n);
    }
    if (retryOnInterrupt([&] { return ::fsync(temporary.fd()); }) != 0) {
        throw QuayError::io("Flush status record", name, errno);
    }
    if (::rename(temporary.path().c_str(), target.c_str()) != 0) {
        throw QuayError::io("Commit status record", name, errno);
    }
    temporary.committed();
    syncFolder(folder);
}

} // namespace quaymark
