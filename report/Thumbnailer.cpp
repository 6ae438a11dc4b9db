// SPDX-License-Identifier: GPL-3.0-or-later
#include "Thumbnailer.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdlib>

extern char** environ;

namespace fs = std::filesystem;

namespace quaymark::report {

namespace {

constexpr std::size_t largestPreview = 8 * 1024 * 1024;
constexpr int exitNoDecoder = 3;

struct Descriptor {
    int fd = -1;
    Descriptor() = default;
    explicit Descriptor(int value)
        : fd(value) {}
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    ~Descriptor() {
        if (fd >= 0) {
            ::close(fd);
        }
    }
};

// A started helper; killed with its whole group and reaped on every way out.
class HelperProcess {
public:
    HelperProcess(const fs::path& helper, const fs::path& clip) {
        std::array<int, 2> ends{-1, -1};
        if (::pipe2(ends.data(), O_CLOEXEC) != 0) {
            return;
        }
        output_.fd = ends[0];
        const Descriptor writeEnd(ends[1]);
        posix_spawn_file_actions_t actions;
        posix_spawnattr_t attributes;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_adddup2(&actions, writeEnd.fd, 1);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        posix_spawnattr_init(&attributes);
        sigset_t none;
        sigemptyset(&none);
        sigset_t defaults;
        sigfillset(&defaults);
        posix_spawnattr_setsigmask(&attributes, &none);
        posix_spawnattr_setsigdefault(&attributes, &defaults);
        posix_spawnattr_setpgroup(&attributes, 0);
        posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK |
                                                  POSIX_SPAWN_SETSIGDEF);
        const std::string program = helper.string();
        const std::string argument = clip.string();
        std::array<char*, 3> arguments{const_cast<char*>(program.c_str()),
                                       const_cast<char*>(argument.c_str()), nullptr};
        if (::posix_spawn(&pid_, program.c_str(), &actions, &attributes, arguments.data(),
                          environ) != 0) {
            pid_ = -1;
        }
        posix_spawnattr_destroy(&attributes);
        posix_spawn_file_actions_destroy(&actions);
    }
    HelperProcess(const HelperProcess&) = delete;
    HelperProcess& operator=(const HelperProcess&) = delete;
    ~HelperProcess() {
        if (pid_ > 0) {
            ::kill(-pid_, SIGKILL);
            wait();
        }
    }

    bool started() const { return pid_ > 0; }
    int output() const { return output_.fd; }

    // The exit status, or -1 for a helper that did not end on its own within `limit`.
    int wait(std::chrono::milliseconds limit) {
        const Descriptor handle(static_cast<int>(::syscall(SYS_pidfd_open, pid_, 0)));
        pollfd ended{handle.fd, POLLIN, 0};
        if (handle.fd >= 0 && ::poll(&ended, 1, static_cast<int>(limit.count())) == 0) {
            kill();
        }
        return wait();
    }
    int wait() {
        int status = 0;
        while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
        }
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    void kill() { ::kill(-pid_, SIGKILL); }

private:
    pid_t pid_ = -1;
    Descriptor output_;
};

enum class Reading { ended, tooLong, tooMuch };

// Reads the helper's output to its end, within `limit`; a cancellation is looked at between
// short waits, as the helper gives no other sign while it decodes.
Reading readAll(int fd, std::string& into, std::chrono::milliseconds limit,
                const CancellationFlag& cancellation) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    std::array<char, 65536> buffer{};
    for (;;) {
        cancellation.check();
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            return Reading::tooLong;
        }
        pollfd waiting{fd, POLLIN, 0};
        const int ready = ::poll(&waiting, 1, static_cast<int>(std::min<long>(left.count(), 100)));
        if (ready <= 0) {
            continue;
        }
        const ssize_t got = ::read(fd, buffer.data(), buffer.size());
        if (got == 0 || (got < 0 && errno != EINTR && errno != EAGAIN)) {
            return Reading::ended;
        }
        if (got > 0) {
            into.append(buffer.data(), static_cast<std::size_t>(got));
            if (into.size() > largestPreview) {
                return Reading::tooMuch;
            }
        }
    }
}

} // namespace

Thumbnailer::Thumbnailer(fs::path helper, std::chrono::milliseconds limit)
    : helper_(std::move(helper))
    , limit_(limit) {}

fs::path Thumbnailer::installed() {
    if (const char* chosen = std::getenv("QUAYMARK_THUMBNAILER"); chosen && *chosen) {
        return chosen;
    }
    std::error_code error;
    const fs::path self = fs::read_symlink("/proc/self/exe", error);
    return error ? fs::path() : self.parent_path() / "quaymark-thumbnail";
}

bool Thumbnailer::available() const {
    return !helper_.empty() && ::access(helper_.c_str(), X_OK) == 0;
}

Thumbnail Thumbnailer::of(const fs::path& clip, const CancellationFlag& cancellation) const {
    Thumbnail thumbnail;
    HelperProcess helper(helper_, clip);
    if (!helper.started()) {
        return thumbnail;
    }
    if (readAll(helper.output(), thumbnail.jpeg, limit_, cancellation) != Reading::ended) {
        helper.kill();
        helper.wait();
        thumbnail.jpeg.clear();
        return thumbnail;
    }
    // Its output has ended; the helper has only to exit.
    const int status = helper.wait(std::chrono::seconds(2));
    if (status == 0 && !thumbnail.jpeg.empty()) {
        thumbnail.kind = Thumbnail::Kind::image;
        return thumbnail;
    }
    thumbnail.jpeg.clear();
    thumbnail.kind =
        status == exitNoDecoder ? Thumbnail::Kind::unsupported : Thumbnail::Kind::failed;
    return thumbnail;
}

} // namespace quaymark::report
