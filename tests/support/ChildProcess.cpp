// SPDX-License-Identifier: GPL-3.0-or-later
#include "ChildProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <stdexcept>
#include <utility>

extern char** environ;

namespace quaymark::test {

namespace {

void closeFd(int& fd) {
    if (fd >= 0) {
        ::close(fd);
        fd = -1;
    }
}

// One read from `fd` added to `into`; `fd` is closed at its end.
void readInto(int& fd, std::string& into) {
    char buffer[4096];
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n > 0) {
        into.append(buffer, static_cast<size_t>(n));
    } else {
        closeFd(fd);
    }
}

} // namespace

ChildProcess::ChildProcess(const std::vector<std::string>& arguments) {
    int out[2];
    int err[2];
    if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0) {
        throw std::runtime_error("pipe failed");
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, err[1], STDERR_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    std::vector<char*> argv;
    for (const auto& argument : arguments) {
        argv.push_back(const_cast<char*>(argument.c_str()));
    }
    argv.push_back(nullptr);
    const int error = ::posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    ::close(err[1]);
    out_ = out[0];
    err_ = err[0];
    if (error != 0) {
        pid_ = -1;
        throw std::runtime_error("cannot start " + arguments.front());
    }
}

ChildProcess::~ChildProcess() {
    if (pid_ > 0 && !status_) {
        ::kill(pid_, SIGKILL);
        int status = 0;
        ::waitpid(pid_, &status, 0);
    }
    closeFd(out_);
    closeFd(err_);
}

std::optional<std::string> ChildProcess::readLine() {
    for (;;) {
        if (const auto end = pending_.find('\n'); end != std::string::npos) {
            std::string line = pending_.substr(0, end);
            pending_.erase(0, end + 1);
            return line;
        }
        if (out_ < 0) {
            return std::nullopt;
        }
        // Standard error is drained alongside, so a chatty child never blocks on it.
        pollfd fds[2] = {{out_, POLLIN, 0}, {err_, POLLIN, 0}};
        if (::poll(fds, err_ >= 0 ? 2 : 1, -1) < 0 && errno != EINTR) {
            return std::nullopt;
        }
        if (err_ >= 0 && fds[1].revents != 0) {
            readInto(err_, errors_);
        }
        if (fds[0].revents != 0) {
            const size_t known = pending_.size();
            readInto(out_, pending_);
            output_.append(pending_, known);
            if (out_ < 0 && !pending_.empty()) {
                return std::exchange(pending_, {});
            }
        }
    }
}

void ChildProcess::signal(int number) const {
    ::kill(pid_, number);
}

int ChildProcess::wait() {
    while (readLine()) {
    }
    while (err_ >= 0) {
        readInto(err_, errors_);
    }
    if (!status_) {
        int status = 0;
        while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
        }
        status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    return *status_;
}

ProcessResult runProcess(const std::vector<std::string>& arguments) {
    ChildProcess child(arguments);
    const int status = child.wait();
    return {status, child.output(), child.errors()};
}

} // namespace quaymark::test
