// SPDX-License-Identifier: GPL-3.0-or-later
// A FUSE file system over a backing folder that notes the thread behind every request. Usage:
//   logging_fuse BACKING MOUNTPOINT LOGFILE
// Runs in the foreground until unmounted. Every request appends "<thread id>\n" to LOGFILE.
// The kernel caches nothing, so every access by the program under test reaches it.
#define FUSE_USE_VERSION 26

#include <dirent.h>
#include <fcntl.h>
#include <fuse.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>

namespace {

std::string backing;
int logFile = -1;

std::string real(const char* path) {
    return backing + path;
}

void note() {
    const std::string line = std::to_string(fuse_get_context()->pid) + "\n";
    if (::write(logFile, line.data(), line.size()) < 0) {
        std::abort();
    }
}

int result(int status) {
    return status < 0 ? -errno : 0;
}

int onGetattr(const char* path, struct stat* info) {
    note();
    return result(::lstat(real(path).c_str(), info));
}

int onAccess(const char* path, int mode) {
    note();
    return result(::access(real(path).c_str(), mode));
}

int onReadlink(const char* path, char* buffer, size_t size) {
    note();
    const ssize_t length = ::readlink(real(path).c_str(), buffer, size - 1);
    if (length < 0) {
        return -errno;
    }
    buffer[length] = '\0';
    return 0;
}

int onReaddir(const char* path, void* buffer, fuse_fill_dir_t fill, off_t, fuse_file_info*) {
    note();
    DIR* folder = ::opendir(real(path).c_str());
    if (!folder) {
        return -errno;
    }
    while (const dirent* entry = ::readdir(folder)) {
        struct stat info {};
        info.st_ino = entry->d_ino;
        info.st_mode = static_cast<mode_t>(DTTOIF(entry->d_type));
        if (fill(buffer, entry->d_name, &info, 0) != 0) {
            break;
        }
    }
    ::closedir(folder);
    return 0;
}

int onMkdir(const char* path, mode_t mode) {
    note();
    return result(::mkdir(real(path).c_str(), mode));
}

int onUnlink(const char* path) {
    note();
    return result(::unlink(real(path).c_str()));
}

int onRmdir(const char* path) {
    note();
    return result(::rmdir(real(path).c_str()));
}

int onRename(const char* from, const char* to) {
    note();
    return result(::rename(real(from).c_str(), real(to).c_str()));
}

int onChmod(const char* path, mode_t mode) {
    note();
    return result(::chmod(real(path).c_str(), mode));
}

int onTruncate(const char* path, off_t size) {
    note();
    return result(::truncate(real(path).c_str(), size));
}

int onUtimens(const char* path, const timespec times[2]) {
    note();
    return result(::utimensat(AT_FDCWD, real(path).c_str(), times, AT_SYMLINK_NOFOLLOW));
}

int onOpen(const char* path, fuse_file_info* file) {
    note();
    const int descriptor = ::open(real(path).c_str(), file->flags);
    if (descriptor < 0) {
        return -errno;
    }
    file->fh = static_cast<uint64_t>(descriptor);
    return 0;
}

int onCreate(const char* path, mode_t mode, fuse_file_info* file) {
    note();
    const int descriptor = ::open(real(path).c_str(), file->flags, mode);
    if (descriptor < 0) {
        return -errno;
    }
    file->fh = static_cast<uint64_t>(descriptor);
    return 0;
}

int onRead(const char*, char* buffer, size_t size, off_t offset, fuse_file_info* file) {
    note();
    const ssize_t count = ::pread(static_cast<int>(file->fh), buffer, size, offset);
    return count < 0 ? -errno : static_cast<int>(count);
}

int onWrite(const char*, const char* buffer, size_t size, off_t offset, fuse_file_info* file) {
    note();
    const ssize_t count = ::pwrite(static_cast<int>(file->fh), buffer, size, offset);
    return count < 0 ? -errno : static_cast<int>(count);
}

int onStatfs(const char* path, struct statvfs* info) {
    note();
    return result(::statvfs(real(path).c_str(), info));
}

int onFsync(const char*, int, fuse_file_info* file) {
    note();
    return result(::fsync(static_cast<int>(file->fh)));
}

int onRelease(const char*, fuse_file_info* file) {
    note();
    ::close(static_cast<int>(file->fh));
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        return 2;
    }
    backing = argv[1];
    logFile = ::open(argv[3], O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (logFile < 0) {
        return 2;
    }
    fuse_operations operations{};
    operations.getattr = onGetattr;
    operations.access = onAccess;
    operations.readlink = onReadlink;
    operations.readdir = onReaddir;
    operations.mkdir = onMkdir;
    operations.unlink = onUnlink;
    operations.rmdir = onRmdir;
    operations.rename = onRename;
    operations.chmod = onChmod;
    operations.truncate = onTruncate;
    operations.utimens = onUtimens;
    operations.open = onOpen;
    operations.create = onCreate;
    operations.read = onRead;
    operations.write = onWrite;
    operations.statfs = onStatfs;
    operations.fsync = onFsync;
    operations.release = onRelease;
    char name[] = "logging_fuse";
    char foreground[] = "-f";
    char options[] = "-oattr_timeout=0,entry_timeout=0,negative_timeout=0,fsname=loggingfuse";
    char* arguments[] = {name, argv[2], foreground, options, nullptr};
    return fuse_main(4, arguments, &operations, nullptr);
}
